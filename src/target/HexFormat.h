// Numbers in status texts: lower-case hexadecimal without prefix or leading zeros.
#pragma once

#include <cstdio>
#include <string>

inline std::string HexText(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

// "address value", the form every single-byte report uses.
inline std::string HexPairText(unsigned address, unsigned value) {
  return HexText(address) + " " + HexText(value);
}
