// Numbers in status texts: lower-case hexadecimal without prefix or leading zeros.
#pragma once

#include <string>

#include "image/HexText.h"

// "address value", the form every single-byte report uses.
inline std::string HexPairText(unsigned address, unsigned value) {
  return HexText(address) + " " + HexText(value);
}
