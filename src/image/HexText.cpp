#include <cstdint>
#include <string>

#include "image/Programmer.h"

int ParseHexText(const char* text) {
  // Unsigned arithmetic: more than eight digits keep the last eight instead
  // of overflowing.
  uint32_t value = 0;
  if (!text) return 0;
  for (const char* p = text;; ++p) {
    char c = *p;
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      break;
    }
    value = value * 16 + digit;
  }
  return static_cast<int>(value);
}

int ParseHexText(const std::string& text) { return ParseHexText(text.c_str()); }
