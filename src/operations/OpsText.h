// Small text helpers shared by the operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/HexText.h"

// How many records of a program file failed their checksum, for the status
// line and the questions asked before such a file is written to a controller.
inline std::string BadRecordsText(int count) {
  if (count == 1) return "1 record failed its checksum";
  return std::to_string(count) + " records failed their checksum";
}

// One line of a hex dump: "8000: 11 22 ... ff  |.\"3D...|", up to 16 bytes
// from `address`, the missing ones of a short last line left blank.
std::string HexDumpLine(unsigned address, const uint8_t* bytes, size_t count);
