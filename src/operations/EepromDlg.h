// "Select EEPROM Range & Value": address, length and byte value of the three
// memory tools (Write target RAM, Read Memory, Set Config /EEPROM), which
// share what was last used for the life of the process.
#pragma once

#include <cstdint>
#include <string>

#include "shell/DialogModel.h"

class CEepromDlg : public CDialogModel {
 public:
  enum { IDD = 136, IDC_VALUE = 1018, IDC_ADDRESS = 1019, IDC_LENGTH = 1020 };

  CEepromDlg() = default;
  ~CEepromDlg() override = default;

  // Named after the command that opened it, when the caller says which.
  std::string Title() const override {
    return m_commandName.empty() ? "Select EEPROM Range & Value" : m_commandName;
  }
  std::vector<DialogField> Fields() override;
  std::vector<DialogGroup> Groups() override;

  unsigned GetValue() const;
  void SetValue(unsigned value);
  unsigned GetAddress() const;
  void SetAddress(unsigned value);
  unsigned GetLength() const;
  void SetLength(unsigned value);

  std::string m_valueText = "7B";
  std::string m_addressText = "103F";
  std::string m_lengthText = "0000";
  // The menu text of the command that opened the dialog ("Write target RAM",
  // "Read Memory", "Set Config /EEPROM"): the dialog's title and heading.
  std::string m_commandName;
};

// What the memory tools last used; 0 means "never", and the dialog then
// offers 103f, 7b and 1.
struct MemoryToolParams {
  uint32_t lastAddress = 0;
  uint8_t lastValue = 0;
  uint16_t lastLength = 0;
};
MemoryToolParams& RememberedMemoryToolParams();
