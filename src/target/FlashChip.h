// The external flash chip, driven through the talker.
#pragma once

#include <cstdint>

#include "target/Outcome.h"

class CProgrammer;
class CTalker;

// Manufacturer << 8 | device; 0 when the talker did not acknowledge.
unsigned GetFlashId(CTalker& talker);
int ChipErase(CTalker& talker);
// The Erase Flash Chip command: boot load if needed, "Erase Program?", then
// erase unless the chip is the block-programmed one.
int EraseFlash(CTalker& talker, OpResult* result = nullptr);
int WriteFlash(CTalker& talker, unsigned address, CProgrammer& programmer, unsigned countMinusOne, bool writeAll);
int WriteFlashBlocks(CTalker& talker, unsigned address, CProgrammer& programmer, unsigned countMinusOne,
                     bool writeAll);

// The chip that is programmed in blocks and cannot be erased here.
inline constexpr unsigned kFlashEepromChipId = 0xBF07;
