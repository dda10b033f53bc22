// The virtual controller as a serial device in the same process: no
// pseudo-terminal, no thread, and time that passes only when the host waits.
// The link sees a synchronous device; each host byte reaches the controller
// ten bit times after the last one at the rate the host set, each answer
// reaches the host ten bit times at the controller's rate after it was sent,
// and the host's waits and pauses move the clock.  Protocol and operation
// tests run against it in milliseconds; the pseudo-terminal keeps its own
// smaller set of tests.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "link/SerialDevice.h"
#include "sim/SimTarget.h"

class CSimDevice : public CSerialDevice {
 public:
  // The device answers to `name` only, as a real port answers to its path.
  explicit CSimDevice(const SimOptions& options = SimOptions(), const std::string& name = kDefaultName);
  static constexpr const char* kDefaultName = "sim:in-process";
  ~CSimDevice() override;

  // ---- CSerialDevice ----
  bool Open(const std::string& path) override;
  bool IsOpen() const override { return m_open; }
  void Close() override;
  std::string Path() const override { return m_path; }
  bool SetCommMask(uint32_t mask) override;
  bool SetupComm(unsigned, unsigned) override { return m_open; }
  bool PurgeComm(unsigned flags) override;
  bool SetCommTimeouts(const CommTimeouts& timeouts) override;
  CommTimeouts GetCommTimeouts() const override { return m_timeouts; }
  bool GetCommState(CommState& state) override;
  bool SetCommState(const CommState& state) override;
  bool SetDtr(bool) override { return m_open; }
  bool ClearCommError(uint32_t& errors, uint32_t& waiting, int& error) override;
  int Read(uint8_t* buffer, unsigned length, int& error) override;
  unsigned Write(const uint8_t* data, unsigned length, int& error) override;
  bool WaitCommEvent(uint32_t& events, int& error) override;
  std::string LastError() const override { return m_lastError; }
  int LastErrorCode() const override { return m_lastErrorCode; }
  bool Synchronous() const override { return true; }
  void WaitForInput(int ms) override;
  void Sleep(int ms) override;

  // ---- the controller ----
  SimTarget& Target() { return *m_target; }
  // The reset button: the controller restarts in bootstrap mode and what was
  // on the line in either direction is gone.
  void ResetTarget();
  double Now() const { return m_now; }  // seconds of line time so far
  int HostBaud() const { return m_hostBaud; }
  std::vector<uint8_t> HostBytes() const { return m_hostBytes; }      // as the host sent them
  std::vector<uint8_t> TargetBytes() const { return m_targetBytes; }  // as the controller sent them
  void ClearTrace();

  // ---- faults ----
  void DropHostBytes(int count) { m_dropCount = count; }
  void SetRandomCorruption(double rate, uint32_t seed);
  // The line goes away for good (an adapter pulled out).
  void HangUp() { m_hungUp = true; }
  // ... once the host has sent this many bytes since the trace was cleared.
  void HangUpAfterHostBytes(size_t count) { m_hangUpAfter = count; }
  // Opening fails with this reason until cleared with an empty text.
  void FailOpens(const std::string& why) { m_openFailure = why; }
  // Line noise where a test wants it: each byte of a direction passes
  // through the filter with its index in that direction's trace (counted
  // from the last ClearTrace) and arrives as what it returns.
  std::function<uint8_t(size_t index, uint8_t byte)> hostNoise;
  std::function<uint8_t(size_t index, uint8_t byte)> targetNoise;

 private:
  struct Timed {
    uint8_t byte;
    double at;  // when it has crossed the line
    int rate;   // the sender's rate
  };
  // Lets line time pass up to `limit`, handing host bytes to the controller
  // as they arrive; with `untilInput` it stops early when an answer reaches
  // the host.
  void RunUntil(double limit, bool untilInput);
  void Deliver(const Timed& in);
  void Collect();
  size_t Arrived() const;

  SimOptions m_options;
  std::string m_name;
  std::unique_ptr<SimTarget> m_target;
  bool m_open = false;
  bool m_hungUp = false;
  std::string m_path;
  std::string m_lastError;
  int m_lastErrorCode = 0;
  std::string m_openFailure;
  CommTimeouts m_timeouts;
  CommState m_state;
  int m_hostBaud = 9600;
  double m_now = 0;
  double m_lineIn = 0;   // when the host's last byte has crossed
  double m_lineOut = 0;  // when the controller's last byte has crossed
  std::deque<Timed> m_in;
  std::deque<Timed> m_out;
  std::vector<std::pair<uint8_t, double>> m_produced;
  std::vector<uint8_t> m_hostBytes;
  std::vector<uint8_t> m_targetBytes;
  int m_dropCount = 0;
  double m_randomRate = 0;
  std::mt19937 m_random;
  size_t m_hangUpAfter = 0;
};
