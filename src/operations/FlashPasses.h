// The address arithmetic shared by flashing and reading back, and the checks
// that keep a transfer inside what the user asked for.
#pragma once

#include <string>
#include <vector>

struct AddressPass {
  unsigned first;
  unsigned last;  // inclusive
};

// Starting to Finish less the excluded range, as at most two passes in
// address order.  An exclusion reaching over either end of the range is cut
// to the range (an exclusion outside it leaves one pass); no pass at all when
// Starting is above Finish, when the exclusion covers the whole range, or
// when the exclusion ends below its start (refused where it is entered).
// Every address of every pass lies within Starting..Finish.
std::vector<AddressPass> FormPasses(unsigned start, unsigned finish, bool excludeActive,
                                    unsigned excludeStart, unsigned excludeEnd);

// Why an exclusion cannot be used, or empty: its end below its start.
std::string ExclusionProblem(bool excludeActive, unsigned excludeStart, unsigned excludeEnd);

// The 512-byte EEPROM window of the 4K page holding `address`.
unsigned EepromWindowBase(unsigned address);
// "EEPROM window of page B is BE00-BFFF".
std::string EepromWindowText(unsigned address);
// Why the EEPROM range cannot be written, or empty: a start outside the
// window of its page, or nothing to write.
std::string EepromRangeProblem(unsigned start, unsigned length);

// The part of the EEPROM range start .. start + length - 1 that lies in the
// 512-byte EEPROM window of start's 4K page, as a first address and a
// countMinusOne; false when nothing of it does.
bool ClipEepromRange(unsigned start, unsigned length, unsigned& first, unsigned& countMinusOne);
