#include "image/LoadOffsetDlg.h"

#include <cstdio>

#include "image/Programmer.h"

CLoadOffsetDlg::CLoadOffsetDlg() = default;
CLoadOffsetDlg::~CLoadOffsetDlg() = default;

std::vector<DialogField> CLoadOffsetDlg::Fields() {
  return {
      TextField(IDC_OFFSET, "Offset for loading", "", 4, &m_offsetText),
      CheckField(IDC_PREFILL, "Pre Fill memory", "", &m_preFill),
      TextField(IDC_FILL, "Fill Value", "", 2, &m_fillText),
  };
}


void CLoadOffsetDlg::SetOffset(int value) { m_offsetText = HexText(static_cast<unsigned>(value)); }

int CLoadOffsetDlg::GetOffset() const { return ParseHexText(m_offsetText) & 0xFFFF; }

void CLoadOffsetDlg::SetFillValue(int value) { m_fillText = HexText(static_cast<unsigned>(value) & 0xFF); }

int CLoadOffsetDlg::GetFillValue() const { return ParseHexText(m_fillText) & 0xFF; }
