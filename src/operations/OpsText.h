// Small text helpers shared by the operations.
#pragma once

#include <string>

#include "image/HexText.h"

// How many records of a program file failed their checksum, for the status
// line and the questions asked before such a file is written to a controller.
inline std::string BadRecordsText(int count) {
  if (count == 1) return "1 record failed its checksum";
  return std::to_string(count) + " records failed their checksum";
}
