// The external flash chip, driven through the talker.
#pragma once

#include <cstdint>

class CProgrammer;

// Manufacturer << 8 | device; 0 when the talker did not acknowledge.
unsigned GetFlashId();
int ChipErase();
int WriteFlash(unsigned address, CProgrammer& programmer, unsigned countMinusOne, bool writeAll);
int WriteFlashBlocks(unsigned address, CProgrammer& programmer, unsigned countMinusOne, bool writeAll);

// The chip that is programmed in blocks and cannot be erased here.
inline constexpr unsigned kFlashEepromChipId = 0xBF07;
