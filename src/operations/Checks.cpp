#include "operations/Checks.h"

#include <cstdio>

#include "image/Programmer.h"
#include "link/Link.h"
#include "target/ProgressDlg.h"
#include "target/Stream.h"
#include "target/Talker.h"

namespace {

OpResult ReadFailure(const CTalker& talker, unsigned address) {
  OpResult r = talker.FaultResult();
  if (!talker.Connected()) r.outcome = Outcome::LinkLost;
  if (r.outcome == Outcome::Ok) r.outcome = Outcome::CommandRejected;
  if (r.address == 0) r.address = address;
  return r;
}

}  // namespace

int VerifyRange(CTalker& talker, const CProgrammer& expected, unsigned first, unsigned last,
                const std::function<bool(unsigned)>& wanted, Difference& difference) {
  CProgrammer back;
  if (!ReadRange(talker, first, back, last - first, "Verifying", Transfer::Verify)) return 0;
  for (unsigned a = first; a <= last; ++a) {
    if (wanted && !wanted(a)) continue;
    ++difference.compared;
    if (back.GetImageByte(a) != expected.GetImageByte(a)) {
      if (difference.count++ == 0) difference.first = a;
    }
  }
  return 1;
}

std::string DifferenceText(const Difference& difference) {
  char text[80];
  std::snprintf(text, sizeof text, "Verify: %u byte%s differ%s, the first at %x", difference.count,
                difference.count == 1 ? "" : "s", difference.count == 1 ? "s" : "", difference.first);
  return text;
}

int ReadTrusted(CTalker& talker, unsigned first, unsigned last, CProgrammer& into, bool twice, OpResult& result) {
  if (!ReadRange(talker, first, into, last - first)) {
    result = ReadFailure(talker, first);
    return 0;
  }
  // Checked blocks were each read again already when their CRC failed, and
  // a block that failed twice failed the read: a second pass adds nothing.
  if (!twice || UseExtension(talker)) return 1;
  CProgrammer again;
  if (!ReadRange(talker, first, again, last - first, "Reading again", Transfer::Read)) {
    result = ReadFailure(talker, first);
    return 0;
  }
  unsigned lo = 0x10000, hi = 0;
  for (unsigned a = first; a <= last; ++a) {
    if (into.GetImageByte(a) == again.GetImageByte(a)) continue;
    if (a < lo) lo = a;
    hi = a;
  }
  if (lo > hi) return 1;
  // Two reads disagree: a third decides each byte of the span.
  CProgrammer third;
  if (!ReadRange(talker, lo, third, hi - lo, "Reading again", Transfer::Read)) {
    result = ReadFailure(talker, lo);
    return 0;
  }
  for (unsigned a = lo; a <= hi; ++a) {
    const uint8_t x = into.GetImageByte(a), y = again.GetImageByte(a), z = third.GetImageByte(a);
    if (x == y || x == z) continue;
    if (y == z) {
      into.SetImageByte(a, y);
      continue;
    }
    char text[96];
    std::snprintf(text, sizeof text, "three reads of %x gave %02x, %02x and %02x", a, x, y, z);
    result = OpResult::With(Outcome::ReadMismatch, text, a);
    return 0;
  }
  return 1;
}
