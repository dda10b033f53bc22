#include "operations/EepromDlg.h"

#include "image/Programmer.h"
#include "operations/OpsText.h"

MemoryToolParams& RememberedMemoryToolParams() {
  static MemoryToolParams params;
  return params;
}

std::vector<DialogField> CEepromDlg::Fields() {
  return {
      LabelField(0, m_commandName.empty() ? "Write Internal EEPROM" : m_commandName, ""),
      TextField(IDC_VALUE, "Value", "values", 2, &m_valueText),
      TextField(IDC_ADDRESS, "Address", "values", 4, &m_addressText),
      TextField(IDC_LENGTH, "Length", "values", 4, &m_lengthText),
  };
}

std::vector<DialogGroup> CEepromDlg::Groups() { return {{"values", "", 0}}; }

unsigned CEepromDlg::GetValue() const { return static_cast<unsigned>(ParseHexText(m_valueText)) & 0xFF; }
void CEepromDlg::SetValue(unsigned value) { m_valueText = HexText(value & 0xFF); }
unsigned CEepromDlg::GetAddress() const {
  return static_cast<unsigned>(ParseHexText(m_addressText)) & 0xFFFF;
}
void CEepromDlg::SetAddress(unsigned value) { m_addressText = HexText(value & 0xFFFF); }
unsigned CEepromDlg::GetLength() const { return static_cast<unsigned>(ParseHexText(m_lengthText)) & 0xFFFF; }
void CEepromDlg::SetLength(unsigned value) { m_lengthText = HexText(value & 0xFFFF); }
