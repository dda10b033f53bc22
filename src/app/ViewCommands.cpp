// The main view's command routing and its Settings command.
#include <string>

#include "app/CommandTable.h"
#include "app/TrellisView.h"
#include "app/TtySettingsDlg.h"
#include "link/ExchangeGuard.h"
#include "link/LinkState.h"
#include "link/SerialPorts.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"

bool CTrellisView::IsCommandEnabled(int id) const {
  if (!IsViewCommand(id)) return false;
  // While one exchange holds the line, a second command talking to the
  // target would interleave its bytes with the first; Disconnect stays
  // available so that a hung exchange can always be ended.
  if (FindCommand(id)->needsIdleLink && TargetExchangeBusy()) return false;
  return true;
}

bool CTrellisView::OnCommand(int id) {
  if (!IsCommandEnabled(id)) return false;
  switch (id) {
    case ID_CONNECT:
      OnConnect();
      break;
    case ID_DISCONNECT:
      OnDisconnect();
      break;
    case ID_SETTINGS:
      OnSettings();
      break;
    case ID_LOG_COMM:
      OnLogComm();
      break;
    case ID_LOG_RUN:
      OnLogRun();
      break;
    case ID_BOOT_LOAD:
      OnBootLoad();
      break;
    case ID_QUICK_FLASH:
      OnQuickFlash();
      break;
    case ID_ERASE_FLASH_CHIP:
      OnEraseFlashChip();
      break;
    case ID_FLASH_CONTROLLER:
      OnFlashController();
      break;
    case ID_SAVE_PROGRAM:
      OnSaveProgram();
      break;
    case ID_WRITE_TARGET_RAM:
      OnWriteTargetRam();
      break;
    case ID_READ_MEMORY:
      OnReadMemory();
      break;
    case ID_LOAD_MEMORY:
      OnLoadMemory();
      break;
    case ID_SAVE_MEMORY:
      OnSaveMemory();
      break;
    case ID_SET_CONFIG_EEPROM:
      OnSetConfigEeprom();
      break;
    case ID_CLEAR_PROCESSOR:
      OnClearProcessor();
      break;
    case ID_CHECKSUM_MEMORY:
      OnChecksumMemory();
      break;
    case ID_FLASH_ID:
      OnFlashId();
      break;
    case ID_FLASH_EEPROM_CHIP:
      OnFlashEepromChip();
      break;
    case ID_CHANGE_LOADER:
      OnChangeLoader();
      break;
    case ID_FORCE_PROG_CONNECTION:
      OnForceProgConnection();
      break;
    default:
      return false;
  }
  return true;
}

void CTrellisView::OnSettings() {
  CTtySettingsDlg dlg;
  dlg.m_port = g_port;
  dlg.m_parity = g_parity;
  dlg.m_dtrDsr = g_dtrDsrFlow ? 1 : 0;
  dlg.m_dataBits = g_dataBits - 7;
  dlg.m_baudText = std::to_string(g_normalBaud);
  dlg.m_rtsCts = g_rtsCtsFlow ? 1 : 0;
  dlg.m_xonXoff = g_xonXoffFlow ? 1 : 0;
  dlg.m_stopBits = g_stopBits;
  dlg.m_displayComm = m_displayComm;
  dlg.SetInitialBaud(static_cast<unsigned>(g_bootstrapBaud));
  dlg.SetPrebyte(GetProfileInt("Comm", "Bootstrap Start Byte", 255));
  for (int p = 0; p < 4; ++p) dlg.m_portDevices[static_cast<size_t>(p)] = DevicePathForPort(p);
  if (g_port >= 0 && g_port < 4) dlg.m_device = dlg.m_portDevices[static_cast<size_t>(g_port)];
  dlg.m_devices = ListSerialDevices();

  if (dlg.DoModal() != IDOK) return;

  g_port = dlg.m_port;
  g_parity = dlg.m_parity;
  g_dtrDsrFlow = dlg.m_dtrDsr != 0;
  g_dataBits = dlg.m_dataBits + 7;
  g_normalBaud = dlg.BaudValue();
  g_rtsCtsFlow = dlg.m_rtsCts != 0;
  g_xonXoffFlow = dlg.m_xonXoff != 0;
  g_stopBits = dlg.m_stopBits;
  m_displayComm = dlg.m_displayComm;
  g_bootstrapBaud = static_cast<int>(dlg.GetInitialBaud());

  WriteProfileInt("Comm", "Normal Baud", g_normalBaud);
  WriteProfileInt("Comm", "Port", g_port);
  WriteProfileInt("Comm", "BSB", g_bootstrapBaud);
  WriteProfileInt("Comm", "Bootstrap Start Byte", dlg.GetPrebyte());
  WriteProfileString("Comm", "Device " + std::to_string(g_port + 1), dlg.m_device);
}
