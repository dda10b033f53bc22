// Block operations move first .. first + countMinusOne, and image byte a
// stands for target address a.  A range that ran past 0xFFFF would wrap on
// the target onto RAM (where the talker itself runs) and the registers, and
// a countMinusOne past 0xFFFF would count zero bytes and look like success;
// both are refused.
#pragma once

#include <cstdint>

inline bool RangeFits(unsigned address, unsigned countMinusOne) {
  return address <= 0xFFFF && countMinusOne <= 0xFFFF && address + countMinusOne <= 0xFFFF;
}

// The count byte of the next chunk of an addressed command, taken off
// `remaining`: chunks of 256 bytes are announced as 0, the last holds the rest.
inline uint8_t CountByte(unsigned& remaining) {
  if (remaining >= 256) {
    remaining -= 256;
    return 0;
  }
  uint8_t count = static_cast<uint8_t>(remaining);
  remaining = 0;
  return count;
}
