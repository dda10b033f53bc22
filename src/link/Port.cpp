#include <cstring>

#include "app/TrellisView.h"
#include "link/LinkImpl.h"
#include "link/LinkState.h"
#include "link/SerialDevice.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"

void* ReceiveThreadMain(void*);  // Receive.cpp

namespace {

// Stops the receive thread and lets go of the device, without touching the
// connection flags: OpenPort uses it to clear away a connection whose device
// went away, where the boot-mode flag a caller just set must survive.
void ReleasePort(CTrellisView::LinkImpl& link) {
  // The thread is blocked in the event wait; clearing the mask ends it, and
  // the device is closed only once the thread can no longer use it.
  if (g_hComm.IsOpen()) g_hComm.SetCommMask(0);
  if (link.rxThreadStarted) {
    pthread_join(link.rxThread, nullptr);
    link.rxThreadStarted = false;
  }
  g_rxThreadRunning = false;
  if (g_hComm.IsOpen()) {
    g_hComm.SetDtr(false);
    g_hComm.PurgeComm(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    g_hComm.Close();
  }
}

}  // namespace

std::string CTrellisView::DevicePathForPort(int port) {
  if (port < 0 || port > 3) return std::string();
  return GetProfileString("Comm", "Device " + std::to_string(port + 1), "/dev/ttyS" + std::to_string(port));
}

bool CTrellisView::OpenPort() {
  if (g_hComm.IsOpen() || m_link->rxThreadStarted) {
    // The thread leaves its loop only once the flag is clear; it is set
    // again below when the new port is ready.
    g_connected = false;
    ReleasePort(*m_link);
  }

  // The time-outs divide by the rate; a rate typed as 0 (or junk) must stop
  // here with a reason rather than reach the division.
  if (g_normalBaud <= 0) {
    ShowCommError("Cannot open the port at line rate " + std::to_string(g_normalBaud) +
                  ": choose a rate in Settings");
    return false;
  }
  if (!g_hComm.Open(DevicePathForPort(g_port))) {
    ShowCommError(g_hComm.LastError());
    return false;
  }
  g_hComm.SetCommMask(EV_RXCHAR);
  g_hComm.SetupComm(4096, 4096);
  g_hComm.PurgeComm(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  const unsigned multiplier = 38400u / static_cast<unsigned>(g_normalBaud);
  CommTimeouts timeouts;
  timeouts.readIntervalTimeout = 1000;
  timeouts.readTotalTimeoutMultiplier = multiplier;
  timeouts.readTotalTimeoutConstant = 0;
  timeouts.writeTotalTimeoutMultiplier = multiplier;
  timeouts.writeTotalTimeoutConstant = 1000;
  g_hComm.SetCommTimeouts(timeouts);

  if (!ConfigurePort()) {
    g_connected = false;
    g_hComm.Close();
    return false;
  }

  g_connected = true;
  g_rxThreadRunning = true;
  const int started = pthread_create(&m_link->rxThread, nullptr, ReceiveThreadMain, nullptr);
  if (started != 0) {
    g_connected = false;
    g_rxThreadRunning = false;
    g_hComm.Close();
    ShowCommError(std::string("Cannot start the receive thread: ") + std::strerror(started));
    return false;
  }
  m_link->rxThreadStarted = true;

  g_hComm.SetDtr(true);
  if (g_shell) g_shell->RedrawView();
  return true;
}

bool CTrellisView::ConfigurePort() {
  CommState state;
  if (!g_hComm.GetCommState(state)) {
    ShowCommError(g_hComm.LastError());
    return false;
  }
  state.baudRate = g_normalBaud;
  state.byteSize = g_dataBits;
  state.parity = g_parity;
  state.stopBits = g_stopBits;
  state.binary = true;
  state.parityCheck = true;
  state.outxDsrFlow = g_dtrDsrFlow;
  state.dtrControl = g_dtrDsrFlow ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
  state.outxCtsFlow = g_rtsCtsFlow;
  state.rtsControl = g_rtsCtsFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  state.outX = g_xonXoffFlow;
  state.inX = g_xonXoffFlow;
  state.xonChar = 0x11;
  state.xoffChar = 0x13;
  state.xonLim = 100;
  state.xoffLim = 100;
  if (!g_hComm.SetCommState(state)) {
    ShowCommError("Port settings refused: " + g_hComm.LastError());
    return false;
  }
  return true;
}

void CTrellisView::ClosePort() {
  g_connected = false;
  g_bootMode = false;
  ReleasePort(*m_link);
  if (g_shell) g_shell->RedrawView();
}
