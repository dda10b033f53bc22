// Typed numbers through the dialogs' data exchange: limits and ranges are
// enforced, and a refused OK leaves every member as it was.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/DialogModel.h"

namespace {

class TinyDlg : public CDialogModel {
 public:
  std::string Title() const override { return "Tiny"; }
  std::vector<DialogField> Fields() override {
    std::vector<DialogField> f(4);
    f[0].id = 1;
    f[0].maxChars = 4;
    f[0].text = &m_hex;
    f[1].id = 2;
    f[1].checkRange = true;
    f[1].isUnsigned = true;
    f[1].minValue = 100;
    f[1].maxValue = 115200;
    f[1].text = &m_rate;
    f[2].id = 3;
    f[2].checkRange = true;
    f[2].minValue = -128;
    f[2].maxValue = 127;
    f[2].maxChars = 6;
    f[2].text = &m_signed;
    f[3].id = 4;
    f[3].kind = FieldKind::Check;
    f[3].value = &m_check;
    return f;
  }
  std::string m_hex = "ff";
  std::string m_rate = "9600";
  std::string m_signed = "0";
  int m_check = 1;
};

bool InRange(const std::string& text, long long lo, long long hi) {
  const char* p = text.c_str();
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(p, &end, 10);
  return end != p && errno == 0 && v >= lo && v <= hi;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Three texts separated by newlines, then a check value.
  std::string all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    size_t nl = all.find('\n', start);
    if (nl == std::string::npos) nl = all.size();
    parts.push_back(all.substr(start, nl - start));
    start = nl < all.size() ? nl + 1 : all.size();
  }
  int check = start < all.size() ? static_cast<unsigned char>(all[start]) : 0;

  TinyDlg dlg;
  std::vector<FieldInput> inputs = {{1, parts[0], 0}, {2, parts[1], 0}, {3, parts[2], 0}, {4, "", check}};
  std::string message;
  int bad = 0;
  int result = dlg.Exchange(inputs, message, bad);
  if (result == 1) {
    if (dlg.m_hex != parts[0] || dlg.m_rate != parts[1] || dlg.m_signed != parts[2]) std::abort();
    if (dlg.m_hex.size() > 4 || dlg.m_signed.size() > 6) std::abort();
    if (!InRange(dlg.m_rate, 100, 115200) || !InRange(dlg.m_signed, -128, 127)) std::abort();
    if (dlg.m_rate.find('-') != std::string::npos) std::abort();
  } else if (result == 0) {
    if (dlg.m_hex != "ff" || dlg.m_rate != "9600" || dlg.m_signed != "0" || dlg.m_check != 1) std::abort();
    if (message.empty() || bad < 1 || bad > 3) std::abort();
  } else {
    std::abort();
  }
  return 0;
}
