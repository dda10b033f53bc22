// The address arithmetic shared by flashing and reading back.
#pragma once

#include <vector>

struct AddressPass {
  unsigned first;
  unsigned last;  // inclusive
};

// Starting to Finish less the excluded range, as at most two passes in
// address order.  The exclusion counts only when its start lies strictly
// inside the range; no pass at all when Starting is above Finish.
std::vector<AddressPass> FormPasses(unsigned start, unsigned finish, bool excludeActive,
                                    unsigned excludeStart, unsigned excludeEnd);

// The part of the EEPROM range start .. start + length - 1 that lies in the
// 512-byte EEPROM window of start's 4K page, as a first address and a
// countMinusOne; false when nothing of it does.
bool ClipEepromRange(unsigned start, unsigned length, unsigned& first, unsigned& countMinusOne);
