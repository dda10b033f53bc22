#include "app/TrellisView.h"

#include <unistd.h>

#include "link/LinkImpl.h"
#include "link/LinkState.h"
#include "link/SerialDevice.h"
#include "shell/SettingsStore.h"

CTrellisView* g_pView = nullptr;
int g_charWidth = 10;
int g_lineHeight = 18;

CTrellisView::CTrellisView() : m_link(std::make_unique<LinkImpl>()) {
  // A stored value out of range (hand-edited, or from an older version)
  // would otherwise open no port or reach the rate division as 0.
  g_port = GetProfileInt("Comm", "Port", 0);
  if (g_port < 0 || g_port > 3) g_port = 0;
  g_normalBaud = GetProfileInt("Comm", "Normal Baud", 9600);
  if (g_normalBaud <= 0) g_normalBaud = 9600;
  g_bootstrapBaud = GetProfileInt("Comm", "BSB", 1200);
  if (g_bootstrapBaud <= 0) g_bootstrapBaud = 1200;
  g_dataBits = 8;
  g_parity = 0;
  g_stopBits = 0;
  g_dtrDsrFlow = false;
  g_rtsCtsFlow = false;
  g_xonXoffFlow = false;

  g_connected = false;
  g_bootMode = false;
  g_rxThreadRunning = false;

  g_pView = this;
  g_charWidth = 10;
  g_lineHeight = 18;
}

CTrellisView::~CTrellisView() {
  if (g_connected || g_hComm.IsOpen() || m_link->rxThreadStarted) ClosePort();
  if (m_link->logCommFd >= 0) ::close(m_link->logCommFd);
  if (m_link->logRunFd >= 0) ::close(m_link->logRunFd);
  m_link->logCommFd = m_link->logRunFd = -1;
  if (g_pView == this) g_pView = nullptr;
}
