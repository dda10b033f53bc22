// Checking what crossed the line, since the talker's protocol carries no
// checksum: a garbled address byte moves a whole chunk and a garbled data
// byte of a read arrives unnoticed.  Writes are read back and compared;
// reads are made twice and compared.
#pragma once

#include <functional>
#include <string>

#include "target/Outcome.h"

class CProgrammer;
class CTalker;

struct Difference {
  unsigned compared = 0;  // addresses looked at
  unsigned count = 0;     // of those, how many differ
  unsigned first = 0;     // the first that differs
};

// Reads first..last back (progress window "Verifying") and compares it with
// `expected` at the addresses `wanted` names (all when empty).  0 when the
// read itself failed (the talker's fault says why).
int VerifyRange(CTalker& talker, const CProgrammer& expected, unsigned first, unsigned last,
                const std::function<bool(unsigned)>& wanted, Difference& difference);

// "Verify: 3 bytes differ, the first at 8012".
std::string DifferenceText(const Difference& difference);

// Reads first..last into `into`.  With `twice` the range is read a second
// time and compared; where the two differ the differing span is read a
// third time, and a byte is taken when two of its three reads agree.  A
// byte without two agreeing reads fails the read (Outcome::ReadMismatch at
// that address); a failed block read fails it with the talker's fault.
// With the extended protocol every block is checked end to end by its CRC
// (and read again once when it fails), so the range is read once.
int ReadTrusted(CTalker& talker, unsigned first, unsigned last, CProgrammer& into, bool twice, OpResult& result);
