// The serial device as the link needs it of the platform.  The operations
// follow the communications calls of the Win32 API one to one (open, event
// mask, queue sizes, purge, time-outs, device state, DTR, error state, read,
// write, event wait, close), so each system supplies its own implementation:
// termios2 on Linux (SerialDevicePosix.cpp), the COM port calls themselves on
// Windows (SerialDeviceWin32.cpp); the virtual controller supplies
// one that runs the controller in the same process (sim/SimDevice.h).
//
// The constants carry a prefix of their own: <windows.h> defines the Win32
// names (EV_RXCHAR, PURGE_RXCLEAR, PARITY_NONE...) as macros.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace serial {

// Events of WaitCommEvent.
constexpr uint32_t kEvRxChar = 0x0001;
// Not a Win32 event: the device went away (hang-up, USB adapter pulled).
constexpr uint32_t kEvHangUp = 0x8000;

// Line errors reported by ClearCommError; the sum of the bits that occurred.
constexpr uint32_t kCeRxOver = 0x0001;
constexpr uint32_t kCeOverrun = 0x0002;
constexpr uint32_t kCeRxParity = 0x0004;
constexpr uint32_t kCeFrame = 0x0008;
constexpr uint32_t kCeBreak = 0x0010;

constexpr unsigned kPurgeTxAbort = 0x0001;
constexpr unsigned kPurgeRxAbort = 0x0002;
constexpr unsigned kPurgeTxClear = 0x0004;
constexpr unsigned kPurgeRxClear = 0x0008;
constexpr unsigned kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;

enum DtrControl { kDtrDisable = 0, kDtrEnable = 1, kDtrHandshake = 2 };
enum RtsControl { kRtsDisable = 0, kRtsEnable = 1, kRtsHandshake = 2 };
// Parity as the program numbers it (the "Parity" choice), not in Win32 order.
enum Parity { kParityNone = 0, kParityEven = 1, kParityOdd = 2, kParityMark = 3, kParitySpace = 4 };
enum StopBits { kStopOne = 0, kStopOneHalf = 1, kStopTwo = 2 };

}  // namespace serial

// The line settings of the device (the device control block).
struct CommState {
  int baudRate = 9600;
  int byteSize = 8;
  int parity = serial::kParityNone;
  int stopBits = serial::kStopOne;
  bool binary = true;
  bool parityCheck = false;
  bool outxDsrFlow = false;
  int dtrControl = serial::kDtrEnable;
  bool outxCtsFlow = false;
  int rtsControl = serial::kRtsEnable;
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
  virtual ~CSerialDevice() = default;

  // Opens an existing device for reading and writing, for us alone: no
  // other program (and no second open of ours) gets it while we hold it.
  // On failure LastError() says why in words the user can act on.
  virtual bool Open(const std::string& path) = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
  virtual std::string Path() const = 0;

  virtual bool SetCommMask(uint32_t mask) = 0;  // mask 0 ends a pending WaitCommEvent
  virtual bool SetupComm(unsigned inQueue, unsigned outQueue) = 0;
  virtual bool PurgeComm(unsigned flags) = 0;
  virtual bool SetCommTimeouts(const CommTimeouts& timeouts) = 0;
  virtual CommTimeouts GetCommTimeouts() const = 0;
  virtual bool GetCommState(CommState& state) = 0;
  // false (with LastError()) when the device refuses the settings or the
  // platform cannot provide one of them.
  virtual bool SetCommState(const CommState& state) = 0;
  // A device without modem lines (a pseudo-terminal) is not an error.
  virtual bool SetDtr(bool on) = 0;

  // Reads and clears the line errors since the last call and gives the
  // number of bytes waiting.  false when the device no longer answers.
  virtual bool ClearCommError(uint32_t& errors, uint32_t& waiting, int& error) = 0;
  // Reads at most `length` bytes that have already arrived; never waits.
  // Returns the count, or -1 with `error` set.
  virtual int Read(uint8_t* buffer, unsigned length, int& error) = 0;
  // Writes the block within the write time-outs.  Returns the bytes the
  // driver took; `error` is set when the write failed (ETIMEDOUT when the
  // time ran out first).
  virtual unsigned Write(const uint8_t* data, unsigned length, int& error) = 0;
  // Blocks until an event of the mask occurs or the mask is cleared
  // (events 0).  false with `error` when the wait itself failed.
  virtual bool WaitCommEvent(uint32_t& events, int& error) = 0;

  virtual std::string LastError() const = 0;
  virtual int LastErrorCode() const = 0;
  // A note for the user about the device just opened (a USB adapter that
  // will deliver bytes late, say), given once; "" when there is none.
  virtual std::string TakeNotice() { return std::string(); }

  // A device whose far end runs in this process, driven by the link's own
  // waits, needs no receive thread: the link asks it for input instead.
  virtual bool Synchronous() const { return false; }
  // Synchronous devices: lets at most `ms` of line time pass, less when
  // input arrives first.
  virtual void WaitForInput(int /*ms*/) {}
  // A pause of the host's own (an EEPROM programming pulse, the talker's
  // start), in the device's time.
  virtual void Sleep(int ms);
};

// The serial device of this system.
std::unique_ptr<CSerialDevice> MakeSystemSerialDevice();

// Bytes must be taken from the driver before its queue overflows even when
// the UI thread is busy, so the receive thread asks for a better scheduling
// share.  Without the privilege for it, it simply runs at normal priority.
void RaiseCurrentThreadPriority();
