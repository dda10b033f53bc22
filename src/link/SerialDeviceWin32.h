// The serial device on Windows: a COM port opened for overlapped I/O.
//
// The receive thread's wait is an overlapped one-byte read rather than
// WaitCommEvent: a read that returns as soon as any byte is there is the
// same signal, it needs no modem-status support from the driver (some USB
// adapter drivers and emulated ports have none), and an event of our own
// ends it when the UI thread clears the mask.  The byte that read takes is
// held here and handed out first by the next Read.
//
// <windows.h> stays out of this header: its macros (EV_RXCHAR, PURGE_*,
// MB_OK, IDOK...) clash with names of the program.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "link/SerialDevice.h"

class CWin32SerialDevice : public CSerialDevice {
 public:
  CWin32SerialDevice() = default;
  ~CWin32SerialDevice() override;
  CWin32SerialDevice(const CWin32SerialDevice&) = delete;
  CWin32SerialDevice& operator=(const CWin32SerialDevice&) = delete;

  bool Open(const std::string& path) override;
  bool IsOpen() const override { return m_handle != nullptr; }
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
  int LastErrorCode() const override { return m_lastErrorCode; }

 private:
  bool ApplyTimeouts();

  void* m_handle = nullptr;     // the port, opened overlapped
  void* m_readEvent = nullptr;  // the receive thread's overlapped reads
  void* m_writeEvent = nullptr;
  void* m_wakeEvent = nullptr;  // set by SetCommMask(0): ends a wait
  std::atomic<uint32_t> m_mask{0};
  // The byte the wait read took, until Read hands it out.
  std::atomic<bool> m_hasPending{false};
  uint8_t m_pending = 0;
  CommTimeouts m_timeouts;
  std::string m_path;
  std::string m_lastError;
  int m_lastErrorCode = 0;
};

// "COM5" and "com5" open as "\\.\COM5" (COM10 and above exist only under
// that name); a name already in that form, or any other, is used as given.
std::string Win32DeviceName(const std::string& path);
