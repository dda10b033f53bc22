#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "link/ByteFifo.h"
#include "link/Event.h"
#include "link/LinkImpl.h"
#include "link/LinkState.h"
#include "link/SerialDevice.h"
#include "shell/Shell.h"

namespace {

void ShowCode(const char* format, unsigned value) {
  char text[48];
  const int n = std::snprintf(text, sizeof text, format, value);
  ShowCommError(text, n);
}

// Bytes must be taken from the driver before its queue overflows even when
// the UI thread is busy, so the thread asks for a better scheduling share.
// Without the privilege for it, it simply runs at normal priority.
void RaiseThreadPriority() {
  const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice - 1);
}

// The device went away under a live connection (adapter pulled, the far end
// hung up).  Clearing g_connected ends every wait of the UI thread; the
// device itself is closed by the next Disconnect or Connect.
void LoseDevice(int error) {
  if (!g_connected.exchange(false)) return;  // a ClosePort is under way; nothing was lost
  g_bootMode = false;
  ShowCode("<CE-D-%u> device lost", static_cast<unsigned>(error));
  if (g_shell) g_shell->RedrawView();
}

}  // namespace

int ReadAvailable(uint8_t* buffer, int maximum, int* deviceError) {
  uint32_t errors = 0, waiting = 0;
  int error = 0;
  if (!g_hComm.ClearCommError(errors, waiting, error)) {
    if (deviceError) *deviceError = error;
    return -1;
  }
  const unsigned n = std::min<unsigned>(static_cast<unsigned>(std::max(maximum, 0)), waiting);
  if (n == 0) return 0;
  const int got = g_hComm.Read(buffer, n, error);
  if (got >= 0) return got;
  int ignored = 0;
  if (g_hComm.ClearCommError(errors, waiting, ignored) && errors != 0) ShowCode("<CE-C-%u>", errors);
  // On a terminal device a failing read means the device is gone; reporting
  // 0 would send the thread straight back into a wait that ends at once.
  if (deviceError) *deviceError = error;
  return -1;
}

void* ReceiveThreadMain(void*) {
  RaiseThreadPriority();
  DebugOutput("COMM background thread Connected\n");
  uint8_t buffer[501];
  while (g_connected.load()) {
    uint32_t events = 0;
    int error = 0;
    if (!g_hComm.WaitCommEvent(events, error)) {
      LoseDevice(error);
      break;
    }
    int n = 0;
    if (events & EV_RXCHAR) {
      // Everything waiting is taken in batches of up to 500; a Disconnect
      // lets the batch in hand reach the queue and then ends the loop, so a
      // peer that never pauses cannot keep ClosePort waiting.
      do {
        n = ReadAvailable(buffer, 500, &error);
        if (n > 0) {
          buffer[n] = 0;
          if (g_pView) g_pView->OnReceive(buffer, n);
        }
      } while (n > 0 && g_connected.load());
    }
    if (n < 0) {
      LoseDevice(error);
      break;
    }
    if (events & EV_HANGUP) {
      LoseDevice(EIO);
      break;
    }
  }
  DebugOutput("COMM background thread Disconnected\n");
  g_rxThreadRunning = false;
  return nullptr;
}

void CTrellisView::OnReceive(const uint8_t* bytes, int count) {
  if (!bytes || count <= 0) return;
  // The first byte wakes the waiter at once; the second signal covers the
  // rest of the batch for a waiter that already took the first.
  g_rxFifo.PutByte(bytes[0]);
  g_rxDataEvent.Set();
  if (count > 1) {
    for (int i = 1; i < count; ++i) g_rxFifo.PutByte(bytes[i]);
    g_rxDataEvent.Set();
  }
  if (m_link->receiveObserver) m_link->receiveObserver(bytes, count);
}

void CTrellisView::OnConnect() {
  if (g_connected) return;
  if (!OpenPort()) {
    if (g_shell) g_shell->MessageBox("Connection failed!", "TTY application", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (g_pMainFrame) {
    g_pMainFrame->m_pXmitPane->ClearLines();
    g_pMainFrame->m_pRcvdPane->ClearLines();
    g_pMainFrame->m_pCommErrPane->ClearLines();
    g_pMainFrame->m_pDtcPane->ClearLines();
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[16], clock[16];
  std::strftime(date, sizeof date, "%m/%d/%y", &local);
  std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  std::string line = std::string("Run beginning on ") + date + " at " + clock;
  WriteRunLog(line);
  line = "Time       RunTime  RPM";
  WriteRunLog(line);
  line = "---------------";
  WriteRunLog(line);
}

void CTrellisView::OnDisconnect() {
  // A connection whose device went away still holds the device; Disconnect
  // lets go of it too.
  if (g_connected || g_hComm.IsOpen() || m_link->rxThreadStarted) ClosePort();
}

std::string CTrellisView::StatusLineText() const {
  std::string text;
  if (g_connected)
    text = std::string("Connected, ") + (g_bootMode ? "Connection Boot Mode" : "Connection Normal");
  else
    text = "Disconnected, ";
  if (IsCommLogOpen()) {
    // "Disconnected, " brings its own separator; the connected texts do not.
    if (text.back() != ' ') text += ", ";
    text += "Logging comms, ";
  }
  text += std::string(24, ' ');
  return text;
}
