// A real pseudo-terminal for the link tests: the program opens the slave by
// its path like any serial port; the test plays the far end on the master.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The slave's line settings as the master sees them (TCGETS2 on a master
// returns its slave's termios on Linux).
struct LineSettings {
  unsigned baud = 0;
  int dataBits = 0;
  bool parityOn = false, parityOdd = false, stickParity = false;
  bool twoStopBits = false;
  bool rtsCts = false, xonXoff = false;
  bool canonical = false, echo = false, parityCheck = false;
  uint8_t xonChar = 0, xoffChar = 0;
};

class PtyPair {
 public:
  PtyPair();  // opens the master and keeps one slave descriptor open
  ~PtyPair();
  bool Ok() const { return m_master >= 0; }
  const std::string& SlavePath() const { return m_slavePath; }
  int Master() const { return m_master; }

  bool ReadLine(LineSettings& settings) const;
  bool WriteAll(const std::vector<uint8_t>& bytes) const;
  // Reads exactly `count` bytes from the master, waiting up to timeoutMs.
  std::vector<uint8_t> ReadBytes(size_t count, int timeoutMs) const;
  // Bytes that arrive within timeoutMs (used to show that nothing was sent).
  std::vector<uint8_t> Drain(int timeoutMs) const;
  void CloseMaster();  // the far end hangs up

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
};

// Waits until pred() holds, up to timeoutMs; false when time ran out.
template <typename Pred>
bool WaitUntil(Pred pred, int timeoutMs = 10000);

#include <chrono>
#include <thread>
template <typename Pred>
bool WaitUntil(Pred pred, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
