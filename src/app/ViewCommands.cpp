// The main view: its life cycle, the connection and keyboard commands, and the
// handlers that hand each menu command to its operation.  Every command that
// talks to the target holds the exchange guard for its whole run: the byte
// waits dispatch UI events, and a second exchange started from there would
// interleave with this one on the wire.
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/CommandTable.h"
#include "app/TrellisView.h"
#include "app/TtySettingsDlg.h"
#include "link/SerialPorts.h"
#include "operations/FileCommands.h"
#include "operations/Flash.h"
#include "operations/MemoryTools.h"
#include "operations/ReadBack.h"
#include "operations/ThreadPriority.h"
#include "panes/Keyboard.h"
#include "panes/MainFrame.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/Stream.h"

int g_charWidth = 10;
int g_lineHeight = 18;

namespace {

// Link and log errors are lines of the "Comm err: " pane, from either thread.
void AddCommErrorLine(const std::string& line) {
  CMainFrame* frame = g_pMainFrame;
  if (frame && frame->m_pCommErrPane) frame->m_pCommErrPane->AddLine(line);
}

}  // namespace

CTrellisView::CTrellisView(std::unique_ptr<CSerialDevice> device) : m_link(std::move(device)) {
  m_link.ReadSettings();
  m_link.errorObserver = AddCommErrorLine;
  m_logs.errorObserver = AddCommErrorLine;
  g_charWidth = 10;
  g_lineHeight = 18;
}

CTrellisView::~CTrellisView() {
  if (m_link.Connected() && !m_link.ExchangeBusy()) ReturnToNormalRate(m_talker);
  if (m_link.Connected() || m_link.PortHeld()) m_link.ClosePort();
}

// ---- connection ----

void CTrellisView::OnConnect() {
  if (m_link.Connected()) return;
  if (!m_link.OpenPort()) {
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
  // lets go of it too.  A talker switched to a faster rate is sent back to
  // the normal one first, where the next connection will look for it.
  if (m_link.Connected() && !m_link.ExchangeBusy()) {
    CExchangeGuard guard(m_link);
    if (guard.Acquired()) ReturnToNormalRate(m_talker);
  }
  if (m_link.Connected() || m_link.PortHeld()) m_link.ClosePort();
}

std::string CTrellisView::StatusLineText() const {
  std::string text;
  if (m_link.Connected())
    text = std::string("Connected, ") + (m_link.BootMode() ? "Connection Boot Mode" : "Connection Normal");
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

// ---- keyboard ----

void CTrellisView::OnChar(unsigned code) {
  SendKeyFrame(KeyNumberForChar(code));
  if (g_shell) g_shell->RedrawView();
}

void CTrellisView::SendKeyFrame(unsigned keyNumber) {
  if (!m_link.Connected()) return;
  // A frame typed while a command talks to the target would land in the
  // middle of its exchange and corrupt both.
  if (m_link.ExchangeBusy()) return;
  // The talker would take the frame's bytes for a command and be out of
  // step for every command after it.
  if (m_link.BootMode()) {
    if (!m_keysRefusedSaid) SetStatusText("Keys are not sent while the talker runs (Connection Boot Mode)");
    m_keysRefusedSaid = true;
    return;
  }
  m_keysRefusedSaid = false;
  std::vector<uint8_t> frame = KeyFrame(keyNumber);
  if (frame.empty()) return;
  m_link.WriteBytes(frame.data(), static_cast<unsigned>(frame.size()));
  EchoTransmit(frame.data(), static_cast<int>(frame.size()));
}

void CTrellisView::EchoTransmit(const uint8_t* bytes, int count) {
  const std::string text = TransmitText(bytes, count);
  if (m_displayComm == 1 && g_pMainFrame) g_pMainFrame->m_pXmitPane->AddLine(text);
  if (IsCommLogOpen()) {
    std::string line = "XMIT: " + text;
    WriteCommLog(line);
  }
}

// ---- logs ----

void CTrellisView::OnLogComm() {
  m_logs.StartCommLog();
  if (g_shell) g_shell->RedrawView();
}

void CTrellisView::OnLogRun() { m_logs.StartRunLog(); }

// ---- settings ----

void CTrellisView::OnSettings() {
  LinkSettings& s = m_link.m_settings;
  CTtySettingsDlg dlg;
  dlg.m_port = s.port;
  dlg.m_parity = s.parity;
  dlg.m_dtrDsr = s.dtrDsrFlow ? 1 : 0;
  dlg.m_dataBits = s.dataBits - 7;
  dlg.m_baudText = std::to_string(s.normalBaud);
  dlg.m_rtsCts = s.rtsCtsFlow ? 1 : 0;
  dlg.m_xonXoff = s.xonXoffFlow ? 1 : 0;
  dlg.m_stopBits = s.stopBits;
  dlg.m_displayComm = m_displayComm;
  dlg.m_standardProtocol = StandardProtocolForced() ? 1 : 0;
  dlg.m_fastBaudText = std::to_string(FastBaudSetting());
  dlg.SetInitialBaud(static_cast<unsigned>(s.bootstrapBaud));
  dlg.SetPrebyte(GetProfileIntInRange("Comm", "Bootstrap Start Byte", 255, 0, 255));
  for (int p = 0; p < 4; ++p) dlg.m_portDevices[static_cast<size_t>(p)] = CLink::DevicePathForPort(p);
  if (s.port >= 0 && s.port < 4) dlg.m_device = dlg.m_portDevices[static_cast<size_t>(s.port)];
  dlg.m_devices = ListSerialDevices();

  if (dlg.DoModal() != IDOK) return;

  s.port = dlg.m_port;
  s.parity = dlg.m_parity;
  s.dtrDsrFlow = dlg.m_dtrDsr != 0;
  s.dataBits = dlg.m_dataBits + 7;
  s.normalBaud = dlg.BaudValue();
  s.rtsCtsFlow = dlg.m_rtsCts != 0;
  s.xonXoffFlow = dlg.m_xonXoff != 0;
  s.stopBits = dlg.m_stopBits;
  m_displayComm = dlg.m_displayComm;
  s.bootstrapBaud = static_cast<int>(dlg.GetInitialBaud());

  WriteProfileInt("Comm", "Normal Baud", s.normalBaud);
  WriteProfileInt("Comm", "Port", s.port);
  WriteProfileInt("Comm", "BSB", s.bootstrapBaud);
  WriteProfileInt("Comm", "Bootstrap Start Byte", dlg.GetPrebyte());
  WriteProfileString("Comm", "Device " + std::to_string(s.port + 1), dlg.m_device);
  WriteProfileInt("Comm", "Standard Protocol", dlg.m_standardProtocol);
  WriteProfileInt("Comm", "Fast Baud", std::atoi(dlg.m_fastBaudText.c_str()));
  if (g_shell) g_shell->RedrawView();
}

// ---- target commands ----

void CTrellisView::OnBootLoad() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  BootLoad(m_talker, false, &m_lastResult);
}

void CTrellisView::OnForceProgConnection() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  if (!m_link.Connected()) m_link.OpenPort();
  // Which protocol it speaks is asked when the first transfer needs it.
  m_talker.ForgetExtension();
  // Set even when the open failed: the user vouches for a running talker.
  m_link.SetBootMode(true);
  if (g_shell) g_shell->RedrawView();
}

void CTrellisView::OnEraseFlashChip() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  EraseFlash(m_talker, &m_lastResult);
  AfterExchange();
}

// Identification happens as part of Erase Flash Chip; the menu item itself does nothing.
void CTrellisView::OnFlashId() {}

void CTrellisView::OnClearProcessor() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  // One click must not wipe the processor's EEPROM and CONFIG.
  if (m_link.Connected() && AfxMessageBox("Erase EEPROM and CONFIG?", MB_OKCANCEL) != IDOK) {
    m_lastResult = OpResult::With(Outcome::Cancelled, "Erase EEPROM and CONFIG?");
    return;
  }
  const bool wasConnected = m_link.Connected();
  m_talker.ClearFault();
  if (BulkEraseEeprom(m_talker)) {
    m_lastResult = OpResult();
    return;
  }
  m_lastResult = m_talker.FaultResult();
  if (!wasConnected) m_lastResult.outcome = Outcome::NotConnected;
  else if (!m_link.Connected()) m_lastResult.outcome = Outcome::LinkLost;
  else if (m_lastResult.Ok()) m_lastResult.outcome = Outcome::EchoMismatch;
}

// ---- operations ----

void CTrellisView::OnFlashController() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  CRaisedPriority raised;
  FlashController(m_talker, false, false, &m_lastResult);
  AfterExchange();
}

void CTrellisView::OnFlashEepromChip() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  FlashController(m_talker, true, false, &m_lastResult);
  AfterExchange();
}

void CTrellisView::OnQuickFlash() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  CRaisedPriority raised;
  FlashController(m_talker, false, true, &m_lastResult);
  AfterExchange();
}

void CTrellisView::OnSaveProgram() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  SaveProgram(m_talker, &m_lastResult);
  AfterExchange();
}

void CTrellisView::OnWriteTargetRam() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  MemoryToolRun run;
  if (!AskMemoryToolRun(m_talker, MemoryTool::WriteTargetRam, run)) return;
  ExecuteWriteTargetRam(m_talker, run, &m_lastResult);
  AfterExchange();
}

void CTrellisView::OnReadMemory() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  MemoryToolRun run;
  if (!AskMemoryToolRun(m_talker, MemoryTool::ReadMemory, run)) return;
  std::vector<uint8_t> bytes;
  ExecuteReadMemory(m_talker, run, bytes, &m_lastResult);
  AfterExchange();
}

void CTrellisView::OnSetConfigEeprom() {
  CExchangeGuard guard(m_link);
  if (!guard.Acquired()) return;
  MemoryToolRun run;
  if (!AskMemoryToolRun(m_talker, MemoryTool::SetConfigEeprom, run)) return;
  ExecuteSetConfigEeprom(m_talker, run, &m_lastResult);
  AfterExchange();
}

void CTrellisView::OnLoadMemory() { LoadMemory(m_programmer); }

void CTrellisView::OnSaveMemory() { SaveMemory(m_programmer); }

void CTrellisView::OnChangeLoader() { ChangeLoader(); }

void CTrellisView::OnChecksumMemory() { ChecksumMemory(); }

void CTrellisView::AfterExchange() {
  if (m_talker.FaultOnFirstCommand() && m_lastResult.outcome == Outcome::CommandRejected)
    AfxMessageBox("The talker is not answering in step; run Boot Load again.");
}

// ---- command table ----

bool CTrellisView::IsCommandEnabled(int id) const {
  if (!IsViewCommand(id)) return false;
  // While one exchange holds the line, a second command talking to the
  // target would interleave its bytes with the first; Disconnect stays
  // available so that a hung exchange can always be ended.
  if (FindCommand(id)->needsIdleLink && m_link.ExchangeBusy()) return false;
  return true;
}

bool CTrellisView::OnCommand(int id) {
  if (!IsCommandEnabled(id)) return false;
  const CommandInfo* command = FindCommand(id);
  if (!command || !command->handler) return false;
  (this->*(command->handler))();
  return true;
}
