// Flash images for keston-sim: S-record files through the program's own
// reader and writer, anything else as a raw binary image from address 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// True for names that hold S-records (.s19, .srec), by extension.
bool IsSRecordName(const std::string& path);

// Lays the file's bytes over `flash` (65,536 bytes).  On failure `flash` is
// untouched and `message` says why.
bool LoadFlashFile(const std::string& path, std::vector<uint8_t>& flash, std::string& message);

// Writes all 64 KB; the file appears under its name only once it is
// complete, so a failed save never leaves a half-written image behind.
bool SaveFlashFile(const std::string& path, const std::vector<uint8_t>& flash, std::string& message);
