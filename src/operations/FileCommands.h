// The file commands, which need no controller: Load Memory and Save Memory on
// an image the caller keeps (the view's own), Change Loader, and Checksum
// Memory on a scratch image.
#pragma once

#include <cstdint>
#include <string>

class CProgrammer;

void LoadMemory(CProgrammer& image);
void SaveMemory(CProgrammer& image);
void ChangeLoader();
// The whole Checksum Memory command: file, Load Offset, Address Range, sum.
void ChecksumMemory();

// The 16-bit sum of big-endian words from `start` while a word starts below
// `end` (the byte after `end` is never read).
uint32_t WordChecksum(const CProgrammer& image, unsigned start, unsigned end);
// "Checksum 0x <sum>" with the bad-record note the status line shows.
std::string ChecksumText(uint32_t sum, int badRecords);
