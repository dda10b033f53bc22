// The byte protocol spoken with the talker once it runs in the target's RAM.
// Every operation runs on the UI thread and returns 1 for success, 0 for failure.
#pragma once

#include <cstdint>

class CProgrammer;

enum : uint8_t {
  CMD_READ = 0x01,
  CMD_WRITE = 0x41,
  CMD_EEPROM_WRITE = 0x31,
  CMD_FLASH_WRITE = 0x71,
  CMD_FLASH_BLOCK_WRITE = 0x51,
  CMD_FLASH_ID = 0xC8,
  CMD_CHIP_ERASE = 0xD1,
};

int SendByte(uint8_t byte);
// Next received byte; dispatches UI events while waiting, 0 once the link is gone.
uint8_t ReceiveByte();
uint8_t ReceiveByteWait(int waitMs);
// As ReceiveByteWait, but says whether a byte really arrived: 1 with the byte
// stored in `byte`, 0 (byte untouched) when the link went away first.  The
// block operations use it so that a lost link is never mistaken for a 0x00.
int ReceiveByteChecked(uint8_t& byte, int waitMs = 50);
int SendCommandHeader(uint8_t command, unsigned address, uint8_t count);
int WriteTargetBlock(unsigned address, const uint8_t* data, unsigned countMinusOne);
int WriteTargetByte(unsigned address, uint8_t value);
int ReadTargetByte(unsigned address, uint8_t& byte);
int ReadTargetBlock(unsigned address, CProgrammer& programmer, unsigned countMinusOne);
