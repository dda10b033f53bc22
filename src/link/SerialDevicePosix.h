// The serial device on Linux.  termios2 gives any line rate (976, 7815,
// 8192, ...), not just the table of standard ones; the receive thread's wait
// is a poll on the device and a wake-up pipe so that the UI thread can end it.
#pragma once

#include <atomic>
#include <mutex>

#include "link/SerialDevice.h"
#include "link/UsbLatency.h"

class CPosixSerialDevice : public CSerialDevice {
 public:
  CPosixSerialDevice() = default;
  ~CPosixSerialDevice() override;
  CPosixSerialDevice(const CPosixSerialDevice&) = delete;
  CPosixSerialDevice& operator=(const CPosixSerialDevice&) = delete;

  bool Open(const std::string& path) override;
  bool IsOpen() const override { return m_fd >= 0; }
  void Close() override;
  std::string Path() const override { return m_path; }

  bool SetCommMask(uint32_t mask) override;
  bool SetupComm(unsigned inQueue, unsigned outQueue) override;
  bool PurgeComm(unsigned flags) override;
  bool SetCommTimeouts(const CommTimeouts& timeouts) override;
  CommTimeouts GetCommTimeouts() const override;
  bool GetCommState(CommState& state) override;
  bool SetCommState(const CommState& state) override;
  bool SetDtr(bool on) override;
  bool ClearCommError(uint32_t& errors, uint32_t& waiting, int& error) override;
  int Read(uint8_t* buffer, unsigned length, int& error) override;
  unsigned Write(const uint8_t* data, unsigned length, int& error) override;
  bool WaitCommEvent(uint32_t& events, int& error) override;

  std::string LastError() const override { return m_lastError; }
  std::string TakeNotice() override;
  int LastErrorCode() const override { return m_lastErrorCode; }

 private:
  int m_fd = -1;
  // Receive-latency settings changed at open and put back at close.
  UsbLatencyTimer m_usbLatency;
  int m_serialFlags = -1;  // ASYNC flags before we set ASYNC_LOW_LATENCY; -1 untouched
  std::string m_notice;
  int m_wakeRead = -1;  // written by SetCommMask(0) to end a wait
  int m_wakeWrite = -1;
  std::atomic<uint32_t> m_mask{0};
  CommTimeouts m_timeouts;
  std::string m_path;
  std::string m_lastError;
  int m_lastErrorCode = 0;
  // Both threads read the error counters (writer after a failed write,
  // receive thread before each read), so the last snapshot is guarded.
  std::mutex m_errorMutex;
  bool m_haveCounts = false;
  int m_counts[5] = {0, 0, 0, 0, 0};
};
