// The 68HC11's internal EEPROM and CONFIG register, driven through the talker.
#pragma once

#include <cstdint>

class CProgrammer;
class CTalker;

enum : unsigned {
  REG_BPROT = 0x1035,
  REG_PPROG = 0x103B,
  REG_HPRIO = 0x103C,
  REG_CONFIG = 0x103F,
};

int EepromOn(CTalker& talker, unsigned address);
int EepromOff(CTalker& talker);
int EraseEepromByte(CTalker& talker, unsigned address, uint8_t value);
int ProgramEepromByte(CTalker& talker, unsigned address, uint8_t value);
int UpdateEepromByte(CTalker& talker, unsigned address, uint8_t value);
int WriteEepromByte(CTalker& talker, unsigned address, uint8_t value);
int WriteEepromBlock(CTalker& talker, unsigned address, CProgrammer& programmer, unsigned countMinusOne);
// Clear Processor: 1 when EEPROM and CONFIG were bulk-erased.
int BulkEraseEeprom(CTalker& talker);
