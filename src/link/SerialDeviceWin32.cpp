// <windows.h> first and alone: nothing of the program's own that it would
// clash with is included here (SerialDevice.h uses prefixed names only).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "link/SerialDeviceWin32.h"
#include "shell/Paths.h"

namespace {

// How long one wait read lasts before the loop looks at the mask again.
// The wake event ends it earlier; this only bounds a wait whose event was
// somehow missed.
constexpr DWORD kWaitSliceMs = 1000;

HANDLE H(void* handle) { return static_cast<HANDLE>(handle); }

}  // namespace

std::string Win32DeviceName(const std::string& path) {
  if (path.size() > 3 && std::toupper(static_cast<unsigned char>(path[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(path[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(path[2])) == 'M' &&
      std::all_of(path.begin() + 3, path.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
    return "\\\\.\\COM" + path.substr(3);
  return path;
}

std::unique_ptr<CSerialDevice> MakeSystemSerialDevice() { return std::make_unique<CWin32SerialDevice>(); }

void RaiseCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); }

CWin32SerialDevice::~CWin32SerialDevice() { Close(); }

bool CWin32SerialDevice::Open(const std::string& path) {
  Close();
  m_lastError.clear();
  m_lastErrorCode = 0;
  auto fail = [&](DWORD error, const std::string& why) {
    m_lastErrorCode = static_cast<int>(error);
    m_lastError = "Cannot open " + path + ": " + why;
    return false;
  };
  if (path.empty()) return fail(ERROR_FILE_NOT_FOUND, "no device is set for this port");

  // No sharing: a COM port is exclusive anyway, and a second open of ours
  // must fail the same way another program's does.
  HANDLE handle = CreateFileA(Win32DeviceName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    switch (error) {
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
        return fail(error, "the port is in use by another program");
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_BAD_NETPATH:
        return fail(error, "no such port");
      default:
        return fail(error, WindowsErrorText(error));
    }
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(handle, &dcb)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    return fail(error, "not a serial port");
  }
  HANDLE readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE writeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE wakeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!readEvent || !writeEvent || !wakeEvent) {
    const DWORD error = GetLastError();
    for (HANDLE e : {readEvent, writeEvent, wakeEvent})
      if (e) CloseHandle(e);
    CloseHandle(handle);
    return fail(error, WindowsErrorText(error));
  }
  m_handle = handle;
  m_readEvent = readEvent;
  m_writeEvent = writeEvent;
  m_wakeEvent = wakeEvent;
  m_path = path;
  m_mask.store(0);
  m_hasPending.store(false);
  m_timeouts = CommTimeouts();
  ApplyTimeouts();
  return true;
}

void CWin32SerialDevice::Close() {
  if (m_handle) {
    CancelIo(H(m_handle));
    CloseHandle(H(m_handle));
    m_handle = nullptr;
  }
  for (void** e : {&m_readEvent, &m_writeEvent, &m_wakeEvent}) {
    if (*e) CloseHandle(H(*e));
    *e = nullptr;
  }
  m_mask.store(0);
  m_hasPending.store(false);
  m_path.clear();
}

bool CWin32SerialDevice::SetCommMask(uint32_t mask) {
  if (!m_handle) return false;
  m_mask.store(mask);
  // Manual reset: a wake-up given before the thread reaches its wait is
  // still there when it does.
  if (mask == 0)
    SetEvent(H(m_wakeEvent));
  else
    ResetEvent(H(m_wakeEvent));
  return true;
}

bool CWin32SerialDevice::SetupComm(unsigned inQueue, unsigned outQueue) {
  return m_handle && ::SetupComm(H(m_handle), inQueue, outQueue);
}

bool CWin32SerialDevice::PurgeComm(unsigned flags) {
  if (!m_handle) return false;
  if (flags & (serial::kPurgeRxAbort | serial::kPurgeRxClear)) m_hasPending.store(false);
  // Our purge bits have the Win32 values.
  return ::PurgeComm(H(m_handle), flags & serial::kPurgeAll) != 0;
}

// Reads return at once with what has arrived, or wait for the first byte at
// most a slice: the one pattern that serves both the wait (one byte) and
// Read (never more than is waiting).  The write time-outs are the link's.
bool CWin32SerialDevice::ApplyTimeouts() {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = MAXDWORD;
  t.ReadTotalTimeoutConstant = kWaitSliceMs;
  t.WriteTotalTimeoutMultiplier = m_timeouts.writeTotalTimeoutMultiplier;
  t.WriteTotalTimeoutConstant = m_timeouts.writeTotalTimeoutConstant;
  return ::SetCommTimeouts(H(m_handle), &t) != 0;
}

bool CWin32SerialDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
  if (!m_handle) return false;
  m_timeouts = timeouts;
  return ApplyTimeouts();
}

CommTimeouts CWin32SerialDevice::GetCommTimeouts() const { return m_timeouts; }

bool CWin32SerialDevice::GetCommState(CommState& state) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!m_handle || !::GetCommState(H(m_handle), &dcb)) {
    m_lastErrorCode = m_handle ? static_cast<int>(GetLastError()) : ERROR_INVALID_HANDLE;
    m_lastError = "Cannot read the line settings: " + WindowsErrorText(static_cast<DWORD>(m_lastErrorCode));
    return false;
  }
  state = CommState();
  state.baudRate = static_cast<int>(dcb.BaudRate);
  state.byteSize = dcb.ByteSize;
  switch (dcb.Parity) {
    case EVENPARITY:
      state.parity = serial::kParityEven;
      break;
    case ODDPARITY:
      state.parity = serial::kParityOdd;
      break;
    case MARKPARITY:
      state.parity = serial::kParityMark;
      break;
    case SPACEPARITY:
      state.parity = serial::kParitySpace;
      break;
    default:
      state.parity = serial::kParityNone;
      break;
  }
  state.stopBits = dcb.StopBits == TWOSTOPBITS    ? serial::kStopTwo
                   : dcb.StopBits == ONE5STOPBITS ? serial::kStopOneHalf
                                                  : serial::kStopOne;
  state.binary = dcb.fBinary;
  state.parityCheck = dcb.fParity;
  state.outxDsrFlow = dcb.fOutxDsrFlow;
  state.dtrControl = static_cast<int>(dcb.fDtrControl);
  state.outxCtsFlow = dcb.fOutxCtsFlow;
  state.rtsControl = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? serial::kRtsHandshake
                     : dcb.fRtsControl == RTS_CONTROL_DISABLE ? serial::kRtsDisable
                                                              : serial::kRtsEnable;
  state.outX = dcb.fOutX;
  state.inX = dcb.fInX;
  state.xonChar = static_cast<uint8_t>(dcb.XonChar);
  state.xoffChar = static_cast<uint8_t>(dcb.XoffChar);
  state.xonLim = dcb.XonLim;
  state.xoffLim = dcb.XoffLim;
  return true;
}

bool CWin32SerialDevice::SetCommState(const CommState& state) {
  m_lastError.clear();
  m_lastErrorCode = 0;
  if (!m_handle) {
    m_lastErrorCode = ERROR_INVALID_HANDLE;
    m_lastError = "the port is not open";
    return false;
  }
  auto refuse = [&](const std::string& why) {
    m_lastErrorCode = ERROR_INVALID_PARAMETER;
    m_lastError = why;
    return false;
  };
  if (state.baudRate <= 0) return refuse("line rate " + std::to_string(state.baudRate) + " is not valid");
  if (state.byteSize < 5 || state.byteSize > 8)
    return refuse(std::to_string(state.byteSize) + " data bits are not available");
  if (state.parity < serial::kParityNone || state.parity > serial::kParitySpace)
    return refuse("parity setting " + std::to_string(state.parity) + " is not valid");
  if (state.stopBits < serial::kStopOne || state.stopBits > serial::kStopTwo)
    return refuse("stop bits setting " + std::to_string(state.stopBits) + " is not valid");

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(H(m_handle), &dcb)) {
    m_lastErrorCode = static_cast<int>(GetLastError());
    m_lastError = "cannot read the line settings: " + WindowsErrorText(static_cast<DWORD>(m_lastErrorCode));
    return false;
  }
  static const BYTE kParity[5] = {NOPARITY, EVENPARITY, ODDPARITY, MARKPARITY, SPACEPARITY};
  static const BYTE kStop[3] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
  dcb.BaudRate = static_cast<DWORD>(state.baudRate);
  dcb.ByteSize = static_cast<BYTE>(state.byteSize);
  dcb.Parity = kParity[state.parity];
  dcb.StopBits = kStop[state.stopBits];
  // Windows supports nothing but binary transfers.
  dcb.fBinary = TRUE;
  dcb.fParity = state.parityCheck;
  dcb.fOutxDsrFlow = state.outxDsrFlow;
  dcb.fDtrControl = state.dtrControl == serial::kDtrHandshake ? DTR_CONTROL_HANDSHAKE
                    : state.dtrControl == serial::kDtrDisable ? DTR_CONTROL_DISABLE
                                                              : DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutxCtsFlow = state.outxCtsFlow;
  dcb.fRtsControl = state.rtsControl == serial::kRtsHandshake ? RTS_CONTROL_HANDSHAKE
                    : state.rtsControl == serial::kRtsDisable ? RTS_CONTROL_DISABLE
                                                              : RTS_CONTROL_ENABLE;
  dcb.fOutX = state.outX;
  dcb.fInX = state.inX;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  // A line error must not end the reads until ClearCommError is called: the
  // receive thread reports errors itself and keeps reading.
  dcb.fAbortOnError = FALSE;
  dcb.XonChar = static_cast<char>(state.xonChar);
  dcb.XoffChar = static_cast<char>(state.xoffChar);
  dcb.XonLim = static_cast<WORD>(state.xonLim);
  dcb.XoffLim = static_cast<WORD>(state.xoffLim);
  if (!::SetCommState(H(m_handle), &dcb)) {
    m_lastErrorCode = static_cast<int>(GetLastError());
    m_lastError = "the device refused the line settings (" + std::to_string(state.baudRate) +
                  " bit/s): " + WindowsErrorText(static_cast<DWORD>(m_lastErrorCode));
    return false;
  }
  return true;
}

bool CWin32SerialDevice::SetDtr(bool on) {
  if (!m_handle) return false;
  if (EscapeCommFunction(H(m_handle), on ? SETDTR : CLRDTR)) return true;
  // Emulated ports and some adapters have no modem lines to set.
  const DWORD error = GetLastError();
  return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER;
}

bool CWin32SerialDevice::ClearCommError(uint32_t& errors, uint32_t& waiting, int& error) {
  errors = 0;
  waiting = 0;
  error = 0;
  if (!m_handle) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  DWORD flags = 0;
  COMSTAT status{};
  if (!::ClearCommError(H(m_handle), &flags, &status)) {
    error = static_cast<int>(GetLastError());
    return false;
  }
  // CE_RXOVER ... CE_BREAK have the values of our own bits.
  errors = flags & (serial::kCeRxOver | serial::kCeOverrun | serial::kCeRxParity | serial::kCeFrame | serial::kCeBreak);
  waiting = status.cbInQue + (m_hasPending.load() ? 1u : 0u);
  return true;
}

int CWin32SerialDevice::Read(uint8_t* buffer, unsigned length, int& error) {
  error = 0;
  if (!m_handle) {
    error = ERROR_INVALID_HANDLE;
    return -1;
  }
  if (length == 0) return 0;
  unsigned got = 0;
  if (m_hasPending.exchange(false)) buffer[got++] = m_pending;
  if (got == length) return static_cast<int>(got);
  // Only what the driver already holds: with no byte there the read would
  // wait for one, and Read never waits.
  DWORD flags = 0;
  COMSTAT status{};
  if (!::ClearCommError(H(m_handle), &flags, &status)) {
    if (got) return static_cast<int>(got);
    error = static_cast<int>(GetLastError());
    return -1;
  }
  const DWORD want = std::min<DWORD>(length - got, status.cbInQue);
  if (want == 0) return static_cast<int>(got);
  OVERLAPPED ov{};
  ov.hEvent = H(m_readEvent);
  ResetEvent(ov.hEvent);
  DWORD n = 0;
  if (!ReadFile(H(m_handle), buffer + got, want, &n, &ov)) {
    const DWORD e = GetLastError();
    if (e != ERROR_IO_PENDING || !GetOverlappedResult(H(m_handle), &ov, &n, TRUE)) {
      if (got) return static_cast<int>(got);
      error = static_cast<int>(e == ERROR_IO_PENDING ? GetLastError() : e);
      return -1;
    }
  }
  return static_cast<int>(got + n);
}

unsigned CWin32SerialDevice::Write(const uint8_t* data, unsigned length, int& error) {
  error = 0;
  if (!m_handle) {
    error = ERROR_INVALID_HANDLE;
    return 0;
  }
  // The driver holds the write to the time-outs set in ApplyTimeouts; a
  // write cut short by them reports fewer bytes and no error.
  OVERLAPPED ov{};
  ov.hEvent = H(m_writeEvent);
  ResetEvent(ov.hEvent);
  DWORD n = 0;
  if (!WriteFile(H(m_handle), data, length, &n, &ov)) {
    const DWORD e = GetLastError();
    if (e != ERROR_IO_PENDING) {
      error = static_cast<int>(e);
      return 0;
    }
    if (!GetOverlappedResult(H(m_handle), &ov, &n, TRUE)) {
      error = static_cast<int>(GetLastError());
      return n;
    }
  }
  if (n < length) error = ERROR_TIMEOUT;
  return n;
}

bool CWin32SerialDevice::WaitCommEvent(uint32_t& events, int& error) {
  events = 0;
  error = 0;
  if (!m_handle) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  for (;;) {
    if (m_mask.load() == 0) return true;
    // A byte not yet handed out is input waiting.
    if (m_hasPending.load()) {
      events = serial::kEvRxChar & m_mask.load();
      if (events) return true;
    }
    OVERLAPPED ov{};
    ov.hEvent = H(m_readEvent);
    ResetEvent(ov.hEvent);
    DWORD n = 0;
    if (!ReadFile(H(m_handle), &m_pending, 1, &n, &ov)) {
      const DWORD e = GetLastError();
      if (e != ERROR_IO_PENDING) {
        error = static_cast<int>(e);
        return false;
      }
      HANDLE both[2] = {ov.hEvent, H(m_wakeEvent)};
      const DWORD which = WaitForMultipleObjects(2, both, FALSE, INFINITE);
      if (which != WAIT_OBJECT_0) {
        // The mask was cleared: the read is called off, but a byte it may
        // have taken in the meantime is kept for the next Read.
        CancelIo(H(m_handle));
      }
      if (!GetOverlappedResult(H(m_handle), &ov, &n, TRUE)) {
        const DWORD e2 = GetLastError();
        if (e2 != ERROR_OPERATION_ABORTED) {
          error = static_cast<int>(e2);
          return false;
        }
        n = 0;
      }
    }
    if (n == 1) m_hasPending.store(true);
    // Zero bytes: the slice ran out, or the wait was ended; the loop looks
    // at the mask again either way.
  }
}
