// A bare serial client for the controller's tests: opens the slave side of
// the pseudo-terminal, sets raw mode and the rate with termios2, and moves
// bytes with deadlines.  Deliberately independent of the program's own link.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class RawLine {
 public:
  RawLine() = default;
  ~RawLine() { Close(); }
  RawLine(const RawLine&) = delete;
  RawLine& operator=(const RawLine&) = delete;

  bool Open(const std::string& path, int baud);
  bool SetBaud(int baud);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }

  bool Send(const std::vector<uint8_t>& bytes);
  bool Send(uint8_t byte) { return Send(std::vector<uint8_t>{byte}); }
  // Up to `count` bytes, fewer when `timeoutMs` passes first.
  std::vector<uint8_t> Receive(size_t count, int timeoutMs = 5000);
  // Everything that arrives within `ms`.
  std::vector<uint8_t> Drain(int ms);

 private:
  int m_fd = -1;
};
