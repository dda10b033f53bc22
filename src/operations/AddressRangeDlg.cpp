#include "operations/AddressRangeDlg.h"

#include <cstdint>

#include "image/Programmer.h"
#include "operations/OpsText.h"
#include "shell/SettingsStore.h"

namespace {

// Kept for the process and shared by every instance.
struct Remembered {
  uint16_t start = 0;
  uint16_t finish = 0;
  uint16_t excludeStart = 0;
  uint16_t excludeEnd = 0;
  bool excludeActive = false;
  uint8_t configValue = 0x4B;
  unsigned eepromStart = 0x4E00;
  unsigned eepromLength = 0x200;
  bool enableEeprom = false;
  bool writeAllRange = false;
};

Remembered& Settings() {
  static Remembered remembered;
  return remembered;
}

constexpr const char* kSection = "flash";

unsigned Parse16(const std::string& text) { return static_cast<unsigned>(ParseHexText(text)) & 0xFFFF; }

}  // namespace

void CAddressRangeDlg::ForgetRemembered() { Settings() = Remembered(); }

CAddressRangeDlg::CAddressRangeDlg() {
  Remembered& r = Settings();
  r.configValue = static_cast<uint8_t>(GetProfileInt(kSection, "Config", 75) & 0xFF);
  r.eepromLength = static_cast<unsigned>(GetProfileInt(kSection, "EEprom_Length", 512));
  r.eepromStart = static_cast<unsigned>(GetProfileInt(kSection, "EEprom_Start", 19968));

  SetStart(r.start);
  SetFinish(r.finish);
  SetExcludeStart(r.excludeStart != 0 ? r.excludeStart : 0xB600);
  SetExcludeEnd(r.excludeEnd != 0 ? r.excludeEnd : 0xB7FF);
  m_bExcludeActive = r.excludeActive ? 1 : 0;
  // A stored CONFIG value of 0 is taken as "write CONFIG next time" with the
  // usual single-chip value.
  if (r.configValue != 0) {
    SetConfigValue(r.configValue);
  } else {
    SetConfigValue(0x7B);
    m_bConfigEnabled = 1;
  }
  m_bWriteAllRange = r.writeAllRange ? 1 : 0;
  if (r.eepromStart != 0) {
    SetEepromStart(r.eepromStart);
    SetEepromLength(r.eepromLength);
    m_bEnableEeprom = r.enableEeprom ? 1 : 0;
  } else {
    SetEepromStart(0x7E00);
    SetEepromLength(0x200);
    m_bEnableEeprom = 1;
  }
}

CAddressRangeDlg::~CAddressRangeDlg() {
  Remembered& r = Settings();
  r.start = static_cast<uint16_t>(GetStart());
  r.finish = static_cast<uint16_t>(GetFinish());
  r.excludeStart = static_cast<uint16_t>(GetExcludeStart());
  r.excludeEnd = static_cast<uint16_t>(GetExcludeEnd());
  r.excludeActive = m_bExcludeActive != 0;
  r.configValue = static_cast<uint8_t>(GetConfigValue());
  r.eepromStart = GetEepromStart();
  r.eepromLength = GetEepromLength();
  r.enableEeprom = m_bEnableEeprom != 0;
  r.writeAllRange = m_bWriteAllRange != 0;
  WriteProfileInt(kSection, "Config", static_cast<int>(r.configValue));
  WriteProfileInt(kSection, "EEprom_Length", static_cast<int>(r.eepromLength));
  WriteProfileInt(kSection, "EEprom_Start", static_cast<int>(r.eepromStart));
}

std::vector<DialogField> CAddressRangeDlg::Fields() {
  // Exchange order: the text limits are enforced in this order on OK.
  return {
      TextField(IDC_EXCLUDE_START, "Exclude Start", "exclude", 4, &m_excludeStartText),
      TextField(IDC_EXCLUDE_END, "Exclude End", "exclude", 4, &m_excludeEndText),
      TextField(IDC_FINISH, "Finish", "address", 4, &m_finishText),
      TextField(IDC_START, "Starting", "address", 4, &m_startText),
      CheckField(IDC_EXCLUDE_ACTIVE, "Exclude Active", "exclude", &m_bExcludeActive),
      TextField(IDC_CONFIG_VALUE, "Value", "config", 2, &m_configValueText),
      TextField(IDC_EEPROM_LENGTH, "EEprom Length", "eeprom", 3, &m_eepromLengthText),
      TextField(IDC_EEPROM_START, "EEprom Start", "eeprom", 4, &m_eepromStartText),
      CheckField(IDC_CONFIG_ENABLED, "Enabled", "config", &m_bConfigEnabled),
      CheckField(IDC_ENABLE_EEPROM, "Enable EEPROM", "eeprom", &m_bEnableEeprom),
      CheckField(IDC_WRITE_ALL_RANGE, "Write All Range", "writeall", &m_bWriteAllRange),
  };
}

std::vector<int> CAddressRangeDlg::DrawingOrder() {
  // Starting above Finish, each check box above the values it enables.
  return {IDC_START,          IDC_FINISH,        IDC_EXCLUDE_ACTIVE, IDC_EXCLUDE_START,
          IDC_EXCLUDE_END,    IDC_CONFIG_ENABLED, IDC_CONFIG_VALUE,  IDC_WRITE_ALL_RANGE,
          IDC_ENABLE_EEPROM,  IDC_EEPROM_START,  IDC_EEPROM_LENGTH};
}

std::vector<DialogGroup> CAddressRangeDlg::Groups() {
  // Left column: Address, Set Config Register and the Write All Range box
  // under it; right column: the exclusion and the EEPROM window.  A group
  // with an empty title draws an untitled box.
  return {
      {"address", "Address", 0}, {"exclude", "", 1},      {"config", "Set Config Register", 0},
      {"writeall", "", 0},       {"eeprom", "EEPROM", 1},
  };
}

unsigned CAddressRangeDlg::GetStart() const { return Parse16(m_startText); }
void CAddressRangeDlg::SetStart(unsigned value) { m_startText = HexText(value & 0xFFFF); }
unsigned CAddressRangeDlg::GetFinish() const { return Parse16(m_finishText); }
void CAddressRangeDlg::SetFinish(unsigned value) { m_finishText = HexText(value & 0xFFFF); }
unsigned CAddressRangeDlg::GetExcludeStart() const { return Parse16(m_excludeStartText); }
void CAddressRangeDlg::SetExcludeStart(unsigned value) { m_excludeStartText = HexText(value & 0xFFFF); }
unsigned CAddressRangeDlg::GetExcludeEnd() const { return Parse16(m_excludeEndText); }
void CAddressRangeDlg::SetExcludeEnd(unsigned value) { m_excludeEndText = HexText(value & 0xFFFF); }
unsigned CAddressRangeDlg::GetConfigValue() const {
  return static_cast<unsigned>(ParseHexText(m_configValueText)) & 0xFF;
}
void CAddressRangeDlg::SetConfigValue(unsigned value) { m_configValueText = HexText(value & 0xFF); }
unsigned CAddressRangeDlg::GetEepromStart() const { return Parse16(m_eepromStartText); }
void CAddressRangeDlg::SetEepromStart(unsigned value) { m_eepromStartText = HexText(value & 0xFFFF); }
unsigned CAddressRangeDlg::GetEepromLength() const { return Parse16(m_eepromLengthText); }
void CAddressRangeDlg::SetEepromLength(unsigned value) { m_eepromLengthText = HexText(value & 0xFFFF); }
