#include "link/LinkState.h"

#include <cstdio>
#include <cstring>

#include "app/MainFrame.h"
#include "link/LinkImpl.h"
#include "link/SerialDevice.h"

int g_port = 0;
int g_normalBaud = 9600;
int g_bootstrapBaud = 1200;
int g_dataBits = 8;
int g_parity = 0;
int g_stopBits = 0;
bool g_dtrDsrFlow = false;
bool g_rtsCtsFlow = false;
bool g_xonXoffFlow = false;

std::atomic<bool> g_connected{false};
std::atomic<bool> g_bootMode{false};
std::atomic<bool> g_rxThreadRunning{false};

bool WriteBytes(const uint8_t* data, unsigned length) {
  if (!g_hComm.IsOpen()) return false;
  if (length == 0) return true;
  int error = 0;
  // Before the write: the answer may be queued by the receive thread before Write returns.
  if (g_pView && g_pView->m_link && g_pView->m_link->transmitObserver)
    g_pView->m_link->transmitObserver(data, length);
  const unsigned sent = g_hComm.Write(data, length, error);
  if (error == 0 && sent == length) return true;
  // A block the driver did not take in full is not sent, whether the write
  // failed at once or while we waited for room.
  uint32_t errors = 0, waiting = 0;
  int ignored = 0;
  g_hComm.ClearCommError(errors, waiting, ignored);
  return false;
}

void DebugOutput(const char* text) {
#ifdef KESTON_DEBUG
  if (text) std::fputs(text, stderr);
#else
  (void)text;
#endif
}

void ShowCommError(const std::string& text) {
  CMainFrame* frame = g_pMainFrame;
  if (frame && frame->m_pCommErrPane) frame->m_pCommErrPane->AddLine(text);
}

void ShowCommError(const char* text, int length) {
  if (!text || length <= 0) return;
  ShowCommError(std::string(text, strnlen(text, static_cast<size_t>(length))));
}
