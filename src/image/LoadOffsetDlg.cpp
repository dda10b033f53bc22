#include "image/LoadOffsetDlg.h"

#include <cstdio>

#include "image/Programmer.h"

CLoadOffsetDlg::CLoadOffsetDlg() = default;
CLoadOffsetDlg::~CLoadOffsetDlg() = default;

std::vector<DialogField> CLoadOffsetDlg::Fields() {
  std::vector<DialogField> f(3);
  f[0].id = IDC_OFFSET;
  f[0].kind = FieldKind::Text;
  f[0].label = "Offset for loading";
  f[0].maxChars = 4;
  f[0].text = &m_offsetText;
  f[1].id = IDC_PREFILL;
  f[1].kind = FieldKind::Check;
  f[1].label = "Pre Fill memory";
  f[1].value = &m_preFill;
  f[2].id = IDC_FILL;
  f[2].kind = FieldKind::Text;
  f[2].label = "Fill Value";
  f[2].maxChars = 2;
  f[2].text = &m_fillText;
  return f;
}

namespace {
std::string LowerHex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}
}  // namespace

void CLoadOffsetDlg::SetOffset(int value) { m_offsetText = LowerHex(static_cast<unsigned>(value)); }

int CLoadOffsetDlg::GetOffset() const { return ParseHexText(m_offsetText) & 0xFFFF; }

void CLoadOffsetDlg::SetFillValue(int value) { m_fillText = LowerHex(static_cast<unsigned>(value) & 0xFF); }

int CLoadOffsetDlg::GetFillValue() const { return ParseHexText(m_fillText) & 0xFF; }
