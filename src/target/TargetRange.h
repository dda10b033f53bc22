// Block operations move first .. first + countMinusOne, and image byte a
// stands for target address a.  A range that ran past 0xFFFF would wrap on
// the target onto RAM (where the talker itself runs) and the registers, and
// a countMinusOne past 0xFFFF would count zero bytes and look like success;
// both are refused.
#pragma once

inline bool RangeFits(unsigned address, unsigned countMinusOne) {
  return address <= 0xFFFF && countMinusOne <= 0xFFFF && address + countMinusOne <= 0xFFFF;
}
