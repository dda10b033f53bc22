#include "operations/OpsText.h"

#include <cstdio>

std::string HexDumpLine(unsigned address, const uint8_t* bytes, size_t count) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:", address & 0xFFFF);
  std::string line = text, ascii;
  for (size_t j = 0; j < 16; ++j) {
    if (j < count) {
      std::snprintf(text, sizeof text, " %02x", bytes[j]);
      line += text;
      ascii += (bytes[j] >= 0x20 && bytes[j] < 0x7F) ? static_cast<char>(bytes[j]) : '.';
    } else {
      line += "   ";
    }
  }
  return line + "  |" + ascii + "|";
}
