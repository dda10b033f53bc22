#include "link/Link.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "shell/SettingsStore.h"
#include "shell/Shell.h"

void DebugOutput(const char* text) {
#ifdef KESTON_DEBUG
  if (text) std::fputs(text, stderr);
#else
  (void)text;
#endif
}

CLink::CLink(std::unique_ptr<CSerialDevice> device)
    : m_device(device ? std::move(device) : MakeSystemSerialDevice()) {}

CLink::~CLink() {
  if (m_connected || PortHeld()) ClosePort();
}

void CLink::ReadSettings() {
  // A stored value out of range (hand-edited, or from an older version)
  // would otherwise open no port or reach the rate division as 0.
  m_settings = LinkSettings();
  m_settings.port = GetProfileIntInRange("Comm", "Port", 0, 0, 3);
  m_settings.normalBaud = GetProfileIntInRange("Comm", "Normal Baud", 9600, 1, 4000000);
  m_settings.bootstrapBaud = GetProfileIntInRange("Comm", "BSB", 1200, 1, 4000000);
}

std::string CLink::DevicePathForPort(int port) {
  if (port < 0 || port > 3) return std::string();
#ifdef _WIN32
  const std::string fallback = "COM" + std::to_string(port + 1);
#else
  const std::string fallback = "/dev/ttyS" + std::to_string(port);
#endif
  return GetProfileString("Comm", "Device " + std::to_string(port + 1), fallback);
}

bool CLink::PortHeld() const { return m_device->IsOpen() || m_rxThread.joinable(); }

void CLink::SetBootMode(bool on) {
  if (m_bootMode.exchange(on) != on) Redraw();
}

void CLink::Redraw() {
  if (g_shell) g_shell->RedrawView();
}

void CLink::ReportError(const std::string& line) {
  if (errorObserver) errorObserver(line);
}

void CLink::ReportCode(const char* format, unsigned value) {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  ReportError(text);
}

// Stops the receive thread and lets go of the device, without touching the
// connection flags: OpenPort uses it to clear away a connection whose device
// went away, where the boot-mode flag a caller just set must survive.
void CLink::ReleasePort() {
  // The thread is blocked in the event wait; clearing the mask ends it, and
  // the device is closed only once the thread can no longer use it.
  if (m_device->IsOpen()) m_device->SetCommMask(0);
  if (m_rxThread.joinable()) m_rxThread.join();
  m_rxThreadRunning = false;
  if (m_device->IsOpen()) {
    m_device->SetDtr(false);
    m_device->PurgeComm(serial::kPurgeAll);
    m_device->Close();
  }
  m_openRate = 0;
}

bool CLink::OpenPort() { return OpenAt(m_settings.normalBaud); }

namespace {
// The per-byte time-outs follow the line rate (a character's time at 38400
// baud is the unit); `rate` is above 0.
void ScaleTimeouts(CommTimeouts& timeouts, int rate) {
  const unsigned multiplier = 38400u / static_cast<unsigned>(rate);
  timeouts.readTotalTimeoutMultiplier = multiplier;
  timeouts.writeTotalTimeoutMultiplier = multiplier;
}
}  // namespace

bool CLink::SetRate(int rate) {
  if (!Connected() || rate <= 0) return false;
  CommState state;
  if (!m_device->GetCommState(state)) {
    ReportError(m_device->LastError());
    return false;
  }
  const int old = state.baudRate;
  state.baudRate = rate;
  if (!m_device->SetCommState(state)) {
    ReportError("Port refused " + std::to_string(rate) + " baud: " + m_device->LastError());
    state.baudRate = old;
    m_device->SetCommState(state);
    return false;
  }
  CommTimeouts timeouts = m_device->GetCommTimeouts();
  ScaleTimeouts(timeouts, rate);
  m_device->SetCommTimeouts(timeouts);
  m_openRate = rate;
  Redraw();
  return true;
}

bool CLink::OpenAt(int rate) {
  if (PortHeld()) {
    // The thread leaves its loop only once the flag is clear; it is set
    // again below when the new port is ready.
    m_connected = false;
    ReleasePort();
  }

  // The time-outs divide by the rate; a rate typed as 0 (or junk) must stop
  // here with a reason rather than reach the division.
  if (rate <= 0) {
    ReportError("Cannot open the port at line rate " + std::to_string(rate) + ": choose a rate in Settings");
    Redraw();
    return false;
  }
  if (!m_device->Open(DevicePath())) {
    ReportError(m_device->LastError());
    Redraw();
    return false;
  }
  m_device->SetCommMask(serial::kEvRxChar);
  m_device->SetupComm(4096, 4096);
  m_device->PurgeComm(serial::kPurgeAll);
  CommTimeouts timeouts;
  timeouts.readIntervalTimeout = 1000;
  timeouts.readTotalTimeoutConstant = 0;
  timeouts.writeTotalTimeoutConstant = 1000;
  ScaleTimeouts(timeouts, rate);
  m_device->SetCommTimeouts(timeouts);

  CommState state;
  if (!m_device->GetCommState(state)) {
    ReportError(m_device->LastError());
    m_device->Close();
    Redraw();
    return false;
  }
  state.baudRate = rate;
  state.byteSize = m_settings.dataBits;
  state.parity = m_settings.parity;
  state.stopBits = m_settings.stopBits;
  state.binary = true;
  state.parityCheck = true;
  state.outxDsrFlow = m_settings.dtrDsrFlow;
  state.dtrControl = m_settings.dtrDsrFlow ? serial::kDtrHandshake : serial::kDtrEnable;
  state.outxCtsFlow = m_settings.rtsCtsFlow;
  state.rtsControl = m_settings.rtsCtsFlow ? serial::kRtsHandshake : serial::kRtsEnable;
  state.outX = m_settings.xonXoffFlow;
  state.inX = m_settings.xonXoffFlow;
  state.xonChar = 0x11;
  state.xoffChar = 0x13;
  state.xonLim = 100;
  state.xoffLim = 100;
  if (!m_device->SetCommState(state)) {
    ReportError("Port settings refused: " + m_device->LastError());
    m_device->Close();
    Redraw();
    return false;
  }

  m_rxFifo.Clear();
  m_rxDataEvent.Reset();
  m_openRate = rate;
  ++m_openCount;
  m_connected = true;
  if (!m_device->Synchronous()) {
    m_rxThreadRunning = true;
    m_rxThread = std::thread([this] { ReceiveThreadMain(); });
  }
  m_device->SetDtr(true);
  const std::string notice = m_device->TakeNotice();
  if (!notice.empty()) ReportError(notice);
  Redraw();
  return true;
}

void CLink::ClosePort() {
  m_connected = false;
  m_bootMode = false;
  ReleasePort();
  Redraw();
}

bool CLink::WriteBytes(const uint8_t* data, unsigned length) {
  if (!m_device->IsOpen()) return false;
  if (length == 0) return true;
  int error = 0;
  // Before the write: the answer may be queued by the receive thread before Write returns.
  if (transmitObserver) transmitObserver(data, length);
  const unsigned sent = m_device->Write(data, length, error);
  if (error == 0 && sent == length) return true;
  // A block the driver did not take in full is not sent, whether the write
  // failed at once or while we waited for room.
  uint32_t errors = 0, waiting = 0;
  int ignored = 0;
  m_device->ClearCommError(errors, waiting, ignored);
  return false;
}

int CLink::ReceiveByte(uint8_t& byte, int waitMs) {
  while (m_rxFifo.Count() == 0) {
    if (!m_connected.load()) return 0;
    // Keeping the UI alive is what lets the user disconnect from a talker
    // that never answers; there is deliberately no time limit here.
    if (g_shell && g_shell->DispatchPendingEvent()) continue;
    if (m_device->Synchronous()) {
      m_device->WaitForInput(waitMs);
      PullInput();
    } else {
      m_rxDataEvent.Wait(waitMs);
      m_rxDataEvent.Reset();
    }
  }
  byte = m_rxFifo.GetByte();
  return 1;
}

void CLink::SleepMs(int ms) {
  if (ms <= 0) return;
  m_device->Sleep(ms);
  if (m_device->Synchronous() && m_connected.load()) PullInput();
}

void CLink::OnReceive(const uint8_t* bytes, int count) {
  if (!bytes || count <= 0) return;
  // The observer first: once the bytes are queued the UI thread may answer
  // them, and a trace must never show the answer before what it answered.
  if (receiveObserver) receiveObserver(bytes, count);
  // The first byte wakes the waiter at once; the second signal covers the
  // rest of the batch for a waiter that already took the first.
  m_rxFifo.PutByte(bytes[0]);
  m_rxDataEvent.Set();
  if (count > 1) {
    for (int i = 1; i < count; ++i) m_rxFifo.PutByte(bytes[i]);
    m_rxDataEvent.Set();
  }
}

int CLink::ReadAvailable(uint8_t* buffer, int maximum, int* deviceError) {
  uint32_t errors = 0, waiting = 0;
  int error = 0;
  if (!m_device->ClearCommError(errors, waiting, error)) {
    if (deviceError) *deviceError = error;
    return -1;
  }
  const unsigned n = std::min<unsigned>(static_cast<unsigned>(std::max(maximum, 0)), waiting);
  if (n == 0) return 0;
  const int got = m_device->Read(buffer, n, error);
  if (got >= 0) return got;
  int ignored = 0;
  if (m_device->ClearCommError(errors, waiting, ignored) && errors != 0) ReportCode("<CE-C-%u>", errors);
  // On a terminal device a failing read means the device is gone; reporting
  // 0 would send the thread straight back into a wait that ends at once.
  if (deviceError) *deviceError = error;
  return -1;
}

void CLink::PullInput() {
  uint8_t buffer[501];
  int error = 0;
  int n = 0;
  do {
    n = ReadAvailable(buffer, 500, &error);
    if (n > 0) OnReceive(buffer, n);
  } while (n > 0);
  if (n < 0) LoseDevice(error);
}

// The device went away under a live connection (adapter pulled, the far end
// hung up).  Clearing the connected flag ends every wait of the UI thread;
// the device itself is closed by the next Disconnect or Connect.
void CLink::LoseDevice(int error) {
  if (!m_connected.exchange(false)) return;  // a ClosePort is under way; nothing was lost
  m_bootMode = false;
  ReportCode("<CE-D-%u> device lost", static_cast<unsigned>(error));
  Redraw();
}

void CLink::ReceiveThreadMain() {
  RaiseCurrentThreadPriority();
  DebugOutput("COMM background thread Connected\n");
  uint8_t buffer[501];
  while (m_connected.load()) {
    uint32_t events = 0;
    int error = 0;
    if (!m_device->WaitCommEvent(events, error)) {
      LoseDevice(error);
      break;
    }
    int n = 0;
    if (events & serial::kEvRxChar) {
      // Everything waiting is taken in batches of up to 500; a Disconnect
      // lets the batch in hand reach the queue and then ends the loop, so a
      // peer that never pauses cannot keep ClosePort waiting.
      do {
        n = ReadAvailable(buffer, 500, &error);
        if (n > 0) {
          buffer[n] = 0;
          OnReceive(buffer, n);
        }
      } while (n > 0 && m_connected.load());
    }
    if (n < 0) {
      LoseDevice(error);
      break;
    }
    if (events & serial::kEvHangUp) {
      LoseDevice(EIO);
      break;
    }
  }
  DebugOutput("COMM background thread Disconnected\n");
  m_rxThreadRunning = false;
}
