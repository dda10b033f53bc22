#include "operations/AddressRangeDlg.h"

#include <cstdint>

#include "image/Programmer.h"
#include "operations/FlashPasses.h"
#include "operations/OpsText.h"
#include "shell/SettingsStore.h"

namespace {

// A flash's settings, kept for the process and shared by every flash (and
// QuickFlash); five of them also live in the store.
struct FlashRemembered {
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
  bool verify = true;
};

// What Save Program last used; it never changes what a flash reuses.
struct ReadRemembered {
  bool used = false;
  uint16_t start = 0;
  uint16_t finish = 0;
  uint16_t excludeStart = 0xB600;
  uint16_t excludeEnd = 0xB7FF;
  bool excludeActive = false;
  bool enableEeprom = false;
  unsigned eepromStart = 0;
  bool readTwice = true;
};

struct RangeRemembered {
  uint16_t start = 0;
  uint16_t finish = 0;
};

FlashRemembered& Flash() {
  static FlashRemembered remembered;
  return remembered;
}
ReadRemembered& Read() {
  static ReadRemembered remembered;
  return remembered;
}
RangeRemembered& Range() {
  static RangeRemembered remembered;
  return remembered;
}

constexpr const char* kSection = "flash";

unsigned Parse16(const std::string& text) { return static_cast<unsigned>(ParseHexText(text)) & 0xFFFF; }

}  // namespace

void CAddressRangeDlg::ForgetRemembered() {
  Flash() = FlashRemembered();
  Read() = ReadRemembered();
  Range() = RangeRemembered();
}

CAddressRangeDlg::CAddressRangeDlg(Purpose purpose) : m_purpose(purpose) {
  FlashRemembered& r = Flash();
  // The stored values; one out of range (hand-edited, an older version)
  // falls back to its default and is said once, never used as it stands.
  r.configValue = static_cast<uint8_t>(GetProfileIntInRange(kSection, "Config", 75, 0, 255));
  r.eepromLength = static_cast<unsigned>(GetProfileIntInRange(kSection, "EEprom_Length", 512, 0, 0xFFF));
  r.eepromStart = static_cast<unsigned>(GetProfileIntInRange(kSection, "EEprom_Start", 19968, 0, 0xFFFF));
  r.verify = GetProfileIntInRange(kSection, "Verify", 1, 0, 1) != 0;

  if (purpose == Purpose::Range) {
    SetStart(Range().start);
    SetFinish(Range().finish);
  } else {
    SetStart(r.start);
    SetFinish(r.finish);
  }
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
  m_bVerify = r.verify ? 1 : 0;

  if (purpose == Purpose::ReadBack) {
    ReadRemembered& read = Read();
    if (read.used) {
      SetStart(read.start);
      SetFinish(read.finish);
      SetExcludeStart(read.excludeStart);
      SetExcludeEnd(read.excludeEnd);
      m_bExcludeActive = read.excludeActive ? 1 : 0;
      m_bEnableEeprom = read.enableEeprom ? 1 : 0;
      SetEepromStart(read.eepromStart);
    } else {
      m_bExcludeActive = 0;
      m_bEnableEeprom = 0;
    }
    m_bReadTwice = GetProfileIntInRange(kSection, "Read Twice", read.readTwice ? 1 : 0, 0, 1);
  }
}

CAddressRangeDlg::~CAddressRangeDlg() {
  switch (m_purpose) {
    case Purpose::Range:
      Range().start = static_cast<uint16_t>(GetStart());
      Range().finish = static_cast<uint16_t>(GetFinish());
      return;
    case Purpose::ReadBack: {
      ReadRemembered& read = Read();
      read.used = true;
      read.start = static_cast<uint16_t>(GetStart());
      read.finish = static_cast<uint16_t>(GetFinish());
      read.excludeStart = static_cast<uint16_t>(GetExcludeStart());
      read.excludeEnd = static_cast<uint16_t>(GetExcludeEnd());
      read.excludeActive = m_bExcludeActive != 0;
      read.enableEeprom = m_bEnableEeprom != 0;
      read.eepromStart = GetEepromStart();
      read.readTwice = m_bReadTwice != 0;
      WriteProfileInt(kSection, "Read Twice", m_bReadTwice != 0 ? 1 : 0);
      return;
    }
    case Purpose::Flash:
      break;
  }
  FlashRemembered& r = Flash();
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
  r.verify = m_bVerify != 0;
  WriteProfileInt(kSection, "Config", static_cast<int>(r.configValue));
  WriteProfileInt(kSection, "EEprom_Length", static_cast<int>(r.eepromLength));
  WriteProfileInt(kSection, "EEprom_Start", static_cast<int>(r.eepromStart));
  WriteProfileInt(kSection, "Verify", r.verify ? 1 : 0);
}

std::vector<DialogField> CAddressRangeDlg::Fields() {
  // Exchange order: the text limits are enforced in this order on OK.
  std::vector<DialogField> fields;
  if (m_purpose != Purpose::Range) {
    fields.push_back(TextField(IDC_EXCLUDE_START, "Exclude Start", "exclude", 4, &m_excludeStartText));
    fields.push_back(TextField(IDC_EXCLUDE_END, "Exclude End", "exclude", 4, &m_excludeEndText));
  }
  fields.push_back(TextField(IDC_FINISH, "Finish", "address", 4, &m_finishText));
  fields.push_back(TextField(IDC_START, "Starting", "address", 4, &m_startText));
  if (m_purpose == Purpose::Range) return fields;
  fields.push_back(CheckField(IDC_EXCLUDE_ACTIVE, "Exclude Active", "exclude", &m_bExcludeActive));
  if (m_purpose == Purpose::Flash) {
    fields.push_back(TextField(IDC_CONFIG_VALUE, "Value", "config", 2, &m_configValueText));
    fields.push_back(TextField(IDC_EEPROM_LENGTH, "EEprom Length", "eeprom", 3, &m_eepromLengthText));
  }
  fields.push_back(TextField(IDC_EEPROM_START, "EEprom Start", "eeprom", 4, &m_eepromStartText));
  if (m_purpose == Purpose::Flash)
    fields.push_back(CheckField(IDC_CONFIG_ENABLED, "Enabled", "config", &m_bConfigEnabled));
  fields.push_back(CheckField(IDC_ENABLE_EEPROM, "Enable EEPROM", "eeprom", &m_bEnableEeprom));
  if (m_purpose == Purpose::Flash) {
    fields.push_back(CheckField(IDC_WRITE_ALL_RANGE, "Write All Range", "writeall", &m_bWriteAllRange));
    fields.push_back(CheckField(IDC_VERIFY, "Verify after writing", "writeall", &m_bVerify));
    if (m_checkedBlocks) fields.push_back(LabelField(IDC_CHECKED_NOTE, "Checked blocks: verified as written", "writeall"));
  } else {
    fields.push_back(CheckField(IDC_READ_TWICE, "Read twice and compare", "check", &m_bReadTwice));
    if (m_checkedBlocks) fields.push_back(LabelField(IDC_CHECKED_NOTE, "Checked blocks: one CRC-checked read", "check"));
  }
  return fields;
}

std::vector<int> CAddressRangeDlg::DrawingOrder() {
  // Starting above Finish, each check box above the values it enables.
  switch (m_purpose) {
    case Purpose::Range:
      return {IDC_START, IDC_FINISH};
    case Purpose::ReadBack:
      return {IDC_START,         IDC_FINISH,        IDC_EXCLUDE_ACTIVE, IDC_EXCLUDE_START,
              IDC_EXCLUDE_END,   IDC_READ_TWICE,    IDC_CHECKED_NOTE,   IDC_ENABLE_EEPROM,  IDC_EEPROM_START};
    case Purpose::Flash:
      break;
  }
  return {IDC_START,          IDC_FINISH,         IDC_EXCLUDE_ACTIVE, IDC_EXCLUDE_START,   IDC_EXCLUDE_END,
          IDC_CONFIG_ENABLED, IDC_CONFIG_VALUE,   IDC_WRITE_ALL_RANGE, IDC_VERIFY,         IDC_CHECKED_NOTE,  IDC_ENABLE_EEPROM,
          IDC_EEPROM_START,   IDC_EEPROM_LENGTH};
}

std::vector<DialogGroup> CAddressRangeDlg::Groups() {
  // Left column: Address, Set Config Register and the Write All Range box
  // under it; right column: the exclusion and the EEPROM window.  A group
  // with an empty title draws an untitled box.
  switch (m_purpose) {
    case Purpose::Range:
      return {{"address", "Address", 0}};
    case Purpose::ReadBack:
      return {{"address", "Address", 0}, {"exclude", "", 1}, {"check", "", 0}, {"eeprom", "EEPROM", 1}};
    case Purpose::Flash:
      break;
  }
  return {
      {"address", "Address", 0}, {"exclude", "", 1},      {"config", "Set Config Register", 0},
      {"writeall", "", 0},       {"eeprom", "EEPROM", 1},
  };
}

bool CAddressRangeDlg::Validate(std::string& message, int& badField) {
  if (m_purpose == Purpose::Range) return true;
  message = ExclusionProblem(m_bExcludeActive != 0, GetExcludeStart(), GetExcludeEnd());
  if (!message.empty()) {
    badField = IDC_EXCLUDE_END;
    return false;
  }
  // Only a flash writes the EEPROM; a read-back just maps its page.
  if (m_purpose == Purpose::Flash && m_bEnableEeprom) {
    message = EepromRangeProblem(GetEepromStart(), GetEepromLength());
    if (!message.empty()) {
      badField = GetEepromStart() < EepromWindowBase(GetEepromStart()) ? IDC_EEPROM_START : IDC_EEPROM_LENGTH;
      return false;
    }
  }
  return true;
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
