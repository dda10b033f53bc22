// The host's flash operation (ExecuteFlash, as Flash Controller runs it)
// against our talker on the emulated MC68HC11F1: what only the real SCI and
// the real chips show.
#include "TalkerRig.h"
#include "operations/Flash.h"

namespace {

using hc11::FlashChip;

class OperationsTest : public TalkerRig {
 protected:
  // The job over [start, finish], verified after writing, as the Address
  // Range dialog leaves it with its defaults; the image erased and loaded
  // over the range, as from a file that holds it.
  static void Prepare(FlashJob& job, unsigned start, unsigned finish) {
    job.image.FillImage(0xFF);
    job.image.m_lowest = start;
    job.image.m_highest = finish;
    job.options.start = start;
    job.options.finish = finish;
    job.options.noPrompt = true;
    job.options.writeAll = true;  // the whole range, as when every byte came from the file
  }
  unsigned Overruns() { return machine().GetSci().Overruns(); }
};

// The host never has more than two bytes outstanding, so the SCI never
// loses one: not through a whole 32 KB flash write (each byte a chip
// program cycle), its read-back, nor a read of the same half of the map.
TEST_F(OperationsTest, NoOverrunThroughA32KbWriteAndItsReads) {
  Start(FlashChip::Kind::Am29F010);
  Boot();
  const unsigned before = Overruns();
  FlashJob job;
  Prepare(job, 0x8000, 0xFFFF);
  const Bytes program = Pattern(0x8000, 71);
  for (unsigned i = 0; i < program.size(); ++i) job.image.SetImageByte(0x8000 + i, program[i]);
  OpResult result;
  ASSERT_EQ(ExecuteFlash(*talker, job, &result), 1);
  EXPECT_TRUE(result.Ok()) << OutcomeName(result.outcome) << ": " << result.detail;
  EXPECT_TRUE(std::equal(program.begin(), program.end(), flash().begin() + 0x8000));
  EXPECT_EQ(Overruns(), before) << "the SCI lost a host byte";

  CProgrammer back;
  ASSERT_EQ(talker->ReadTargetBlock(0x8000, back, 0x7FFF), 1);
  for (unsigned a = 0x8000; a <= 0xFFFF; ++a) ASSERT_EQ(back.GetImageByte(a), program[a - 0x8000]) << a;
  EXPECT_EQ(Overruns(), before) << "the SCI lost a host byte";
  EXPECT_EQ(machine().Crash(), "");
}

// The SST29EE010 erases a whole 128-byte page as it writes it: a 64-byte
// run of the program that lands in a page already holding data leaves the
// page's other half as it was, through the host's whole flash operation.
TEST_F(OperationsTest, SstPageKeepsTheHalfTheProgramDoesNotCover) {
  Start(FlashChip::Kind::Sst29EE010);
  Boot();
  const Bytes page = Pattern(128, 72);
  std::copy(page.begin(), page.end(), flash().begin() + 0x9000);
  const Bytes run = Pattern(64, 73);
  FlashJob job;
  Prepare(job, 0x9040, 0x907F);
  for (unsigned i = 0; i < run.size(); ++i) job.image.SetImageByte(0x9040 + i, run[i]);
  OpResult result;
  ASSERT_EQ(ExecuteFlash(*talker, job, &result), 1);
  EXPECT_TRUE(result.Ok()) << OutcomeName(result.outcome) << ": " << result.detail;
  EXPECT_EQ(Bytes(flash().begin() + 0x9000, flash().begin() + 0x9040), Bytes(page.begin(), page.begin() + 64));
  EXPECT_EQ(Bytes(flash().begin() + 0x9040, flash().begin() + 0x9080), run);
  EXPECT_EQ(machine().Chip().GetStats().pageWrites, 1u);
  EXPECT_EQ(machine().Chip().GetStats().pageBytesErased, 0u);
}

}  // namespace
