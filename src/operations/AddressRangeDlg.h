// "Address Range": which addresses a transfer covers, a range to leave out,
// the CONFIG value, the internal EEPROM window, whether gaps in the file are
// written too, and how what was moved is checked.  Every command builds its
// own instance for its purpose and sees only the controls that purpose uses.
// The fields a flash ends with become the starting point of the next flash
// (and QuickFlash) in this process, and five of them survive restarts in
// section "flash"; the read-back and the plain range keep their own.
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
    IDC_VERIFY = 1044,
    IDC_READ_TWICE = 1045,
    IDC_CHECKED_NOTE = 1046,
  };

  // What the dialog is asked for.
  enum class Purpose {
    Flash,     // Flash Controller, Flash EEPROM CHIP, QuickFlash: every control but Read Twice
    ReadBack,  // Save Program: the range, the exclusion, the EEPROM's page, Read Twice
    Range,     // Save Memory, Checksum Memory: Starting and Finish
  };

  explicit CAddressRangeDlg(Purpose purpose = Purpose::Flash);
  ~CAddressRangeDlg() override;  // remembers the fields (and stores a flash's)
  CAddressRangeDlg(const CAddressRangeDlg&) = delete;
  CAddressRangeDlg& operator=(const CAddressRangeDlg&) = delete;

  std::string Title() const override { return "Address Range"; }
  std::vector<DialogField> Fields() override;
  std::vector<DialogGroup> Groups() override;
  std::vector<int> DrawingOrder() override;
  // An exclusion that ends below its start, or an EEPROM start outside the
  // EEPROM window of its page, keeps the dialog open with the reason.
  bool Validate(std::string& message, int& badField) override;

  Purpose GetPurpose() const { return m_purpose; }

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
  int m_bVerify = 1;     // read what was written back and compare
  int m_bReadTwice = 1;  // read everything twice and compare
  // The talker is spoken to in checked blocks: a line under the check box
  // says that verifying (reading twice) then costs no extra pass.
  bool m_checkedBlocks = false;

 private:
  Purpose m_purpose;
};
