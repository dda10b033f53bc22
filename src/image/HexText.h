// The one rule for numbers typed into dialogs and shown in dialogs and status
// texts: lowercase hexadecimal, no prefix, no leading zeros.
#pragma once

#include <cstdio>
#include <string>

// Digits 0-9, a-f, A-F from the first character on; the first other
// character ends the scan; empty text is 0; modulo 2^32.
int ParseHexText(const char* text);
int ParseHexText(const std::string& text);

inline std::string HexText(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}
