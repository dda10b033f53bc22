#include "operations/EepromDlg.h"

#include "image/Programmer.h"
#include "operations/OpsText.h"

MemoryToolParams& RememberedMemoryToolParams() {
  static MemoryToolParams params;
  return params;
}

std::vector<DialogField> CEepromDlg::Fields() {
  std::vector<DialogField> fields;
  DialogField heading;
  heading.id = 0;
  heading.kind = FieldKind::Label;
  heading.label = "Write Internal EEPROM";
  fields.push_back(heading);
  auto text = [&](int id, const char* label, int maxChars, std::string* member) {
    DialogField f;
    f.id = id;
    f.kind = FieldKind::Text;
    f.label = label;
    f.group = "values";
    f.maxChars = maxChars;
    f.text = member;
    fields.push_back(f);
  };
  text(IDC_VALUE, "Value", 2, &m_valueText);
  text(IDC_ADDRESS, "Address", 4, &m_addressText);
  text(IDC_LENGTH, "Length", 4, &m_lengthText);
  return fields;
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
