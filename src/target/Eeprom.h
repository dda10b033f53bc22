// The 68HC11's internal EEPROM and CONFIG register, driven through the talker.
#pragma once

#include <cstdint>

class CProgrammer;

enum : unsigned {
  REG_BPROT = 0x1035,
  REG_PPROG = 0x103B,
  REG_HPRIO = 0x103C,
  REG_CONFIG = 0x103F,
};

int EepromOn(unsigned address);
int EepromOff();
int EraseEepromByte(unsigned address, uint8_t value);
int ProgramEepromByte(unsigned address, uint8_t value);
int UpdateEepromByte(unsigned address, uint8_t value);
int WriteEepromByte(unsigned address, uint8_t value);
int WriteEepromBlock(unsigned address, CProgrammer& programmer, unsigned countMinusOne);
void BulkEraseEeprom();
