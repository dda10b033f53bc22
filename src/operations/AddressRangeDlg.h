// "Address Range": which addresses a transfer covers, a range to leave out,
// the CONFIG value, the internal EEPROM window and whether gaps in the file are
// written too.  Every command builds its own instance; the fields it ends with
// become the starting point of the next instance in this process, and three of
// them survive restarts in section "flash".
#pragma once

#include <string>

#include "shell/DialogModel.h"

class CAddressRangeDlg : public CDialogModel {
 public:
  enum {
    IDD = 138,
    IDC_START = 1022,
    IDC_FINISH = 1023,
    IDC_EXCLUDE_START = 1025,
    IDC_EXCLUDE_END = 1026,
    IDC_EXCLUDE_ACTIVE = 1031,
    IDC_CONFIG_ENABLED = 1033,
    IDC_CONFIG_VALUE = 1034,
    IDC_ENABLE_EEPROM = 1035,
    IDC_EEPROM_START = 1036,
    IDC_EEPROM_LENGTH = 1037,
    IDC_WRITE_ALL_RANGE = 1043,
  };

  CAddressRangeDlg();
  ~CAddressRangeDlg() override;  // remembers the fields and stores three of them
  CAddressRangeDlg(const CAddressRangeDlg&) = delete;
  CAddressRangeDlg& operator=(const CAddressRangeDlg&) = delete;

  std::string Title() const override { return "Address Range"; }
  std::vector<DialogField> Fields() override;
  std::vector<DialogGroup> Groups() override;
  std::vector<int> DrawingOrder() override;

  unsigned GetStart() const;
  void SetStart(unsigned value);
  unsigned GetFinish() const;
  void SetFinish(unsigned value);
  unsigned GetExcludeStart() const;
  void SetExcludeStart(unsigned value);
  unsigned GetExcludeEnd() const;
  void SetExcludeEnd(unsigned value);
  unsigned GetConfigValue() const;
  void SetConfigValue(unsigned value);
  unsigned GetEepromStart() const;
  void SetEepromStart(unsigned value);
  unsigned GetEepromLength() const;
  void SetEepromLength(unsigned value);

  // Forgets what earlier instances left behind, as a fresh start of the
  // program would; the stored "flash" keys are untouched.
  static void ForgetRemembered();

  std::string m_excludeStartText;
  std::string m_excludeEndText;
  std::string m_finishText;
  std::string m_startText;
  int m_bExcludeActive = 0;
  std::string m_configValueText;
  std::string m_eepromLengthText;
  std::string m_eepromStartText;
  int m_bConfigEnabled = 0;
  int m_bEnableEeprom = 0;
  int m_bWriteAllRange = 0;
};
