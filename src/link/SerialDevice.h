// The serial device as the link needs it of the platform.  The operations
// follow the communications calls of the Win32 API one to one (open, event
// mask, queue sizes, purge, time-outs, device state, DTR, error state, read,
// write, event wait, close), so a Windows build can supply its own .cpp for
// this class; the POSIX one is SerialDevicePosix.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// Events of WaitCommEvent.
enum : uint32_t {
  EV_RXCHAR = 0x0001,
  // Not a Win32 event: the device went away (hang-up, USB adapter pulled).
  EV_HANGUP = 0x8000,
};

// Line errors reported by ClearCommError; the sum of the bits that occurred.
enum : uint32_t {
  CE_RXOVER = 0x0001,
  CE_OVERRUN = 0x0002,
  CE_RXPARITY = 0x0004,
  CE_FRAME = 0x0008,
  CE_BREAK = 0x0010,
};

enum : unsigned {
  PURGE_TXABORT = 0x0001,
  PURGE_RXABORT = 0x0002,
  PURGE_TXCLEAR = 0x0004,
  PURGE_RXCLEAR = 0x0008,
};

enum { DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1, DTR_CONTROL_HANDSHAKE = 2 };
enum { RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1, RTS_CONTROL_HANDSHAKE = 2 };
// Parity as the program numbers it (g_parity), not in Win32 order.
enum { PARITY_NONE = 0, PARITY_EVEN = 1, PARITY_ODD = 2, PARITY_MARK = 3, PARITY_SPACE = 4 };
enum { STOPBITS_ONE = 0, STOPBITS_ONE_HALF = 1, STOPBITS_TWO = 2 };

// The line settings of the device (the device control block).
struct CommState {
  int baudRate = 9600;
  int byteSize = 8;
  int parity = PARITY_NONE;
  int stopBits = STOPBITS_ONE;
  bool binary = true;
  bool parityCheck = false;
  bool outxDsrFlow = false;
  int dtrControl = DTR_CONTROL_ENABLE;
  bool outxCtsFlow = false;
  int rtsControl = RTS_CONTROL_ENABLE;
  bool outX = false;
  bool inX = false;
  uint8_t xonChar = 0x11;
  uint8_t xoffChar = 0x13;
  int xonLim = 0;
  int xoffLim = 0;
};

// Milliseconds; the multipliers are per byte.
struct CommTimeouts {
  unsigned readIntervalTimeout = 0;
  unsigned readTotalTimeoutMultiplier = 0;
  unsigned readTotalTimeoutConstant = 0;
  unsigned writeTotalTimeoutMultiplier = 0;
  unsigned writeTotalTimeoutConstant = 0;
};

class CSerialDevice {
 public:
  CSerialDevice();
  ~CSerialDevice();
  CSerialDevice(const CSerialDevice&) = delete;
  CSerialDevice& operator=(const CSerialDevice&) = delete;

  // Opens an existing device for reading and writing, for us alone: no
  // other program (and no second open of ours) gets it while we hold it.
  // On failure LastError() says why in words the user can act on.
  bool Open(const std::string& path);
  bool IsOpen() const { return m_fd >= 0; }
  void Close();
  const std::string& Path() const { return m_path; }

  bool SetCommMask(uint32_t mask);  // mask 0 ends a pending WaitCommEvent
  bool SetupComm(unsigned inQueue, unsigned outQueue);
  bool PurgeComm(unsigned flags);
  bool SetCommTimeouts(const CommTimeouts& timeouts);
  CommTimeouts GetCommTimeouts() const;
  bool GetCommState(CommState& state);
  // false (with LastError()) when the device refuses the settings or the
  // platform cannot provide one of them.
  bool SetCommState(const CommState& state);
  // A device without modem lines (a pseudo-terminal) is not an error.
  bool SetDtr(bool on);

  // Reads and clears the line errors since the last call and gives the
  // number of bytes waiting.  false when the device no longer answers.
  bool ClearCommError(uint32_t& errors, uint32_t& waiting, int& error);
  // Reads at most `length` bytes that have already arrived; never waits.
  // Returns the count, or -1 with `error` set.
  int Read(uint8_t* buffer, unsigned length, int& error);
  // Writes the block within the write time-outs.  Returns the bytes the
  // driver took; `error` is set when the write failed (ETIMEDOUT when the
  // time ran out first).
  unsigned Write(const uint8_t* data, unsigned length, int& error);
  // Blocks until an event of the mask occurs or the mask is cleared
  // (events 0).  false with `error` when the wait itself failed.
  bool WaitCommEvent(uint32_t& events, int& error);

  const std::string& LastError() const { return m_lastError; }
  int LastErrorCode() const { return m_lastErrorCode; }

 private:
  int m_fd = -1;
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

// The one port of the process (the program's g_hComm).
extern CSerialDevice g_hComm;
