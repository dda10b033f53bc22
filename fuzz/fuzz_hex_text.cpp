// Typed hexadecimal text, as every dialog takes it, checked against an
// independent reading of the leading digits.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string digits;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) break;
    digits.push_back(c);
  }
  if (digits.size() > 8) digits = digits.substr(digits.size() - 8);
  uint32_t expected = digits.empty() ? 0 : static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
  if (static_cast<uint32_t>(ParseHexText(text)) != expected) std::abort();

  CLoadOffsetDlg dlg;
  dlg.m_offsetText = text;
  dlg.m_fillText = text;
  if (dlg.GetOffset() != static_cast<int>(expected & 0xFFFF)) std::abort();
  if (dlg.GetFillValue() != static_cast<int>(expected & 0xFF)) std::abort();
  dlg.SetOffset(static_cast<int>(expected));
  if (static_cast<uint32_t>(ParseHexText(dlg.m_offsetText)) != expected) std::abort();
  return 0;
}
