// The whole Flash Controller job on the talker: the chip's identity picks
// the writer, CONFIG and the EEPROM window are written, and the flash passes
// skip what the file does not cover.
#include <algorithm>
#include <sstream>

#include "TalkerRig.h"
#include "operations/Flash.h"
#include "target/FlashChip.h"

namespace {

using hc11::FlashChip;

class FlashJobTest : public TalkerRig, public ::testing::WithParamInterface<FlashChip::Kind> {};

TEST_P(FlashJobTest, ProgramEepromAndConfigInOneJob) {
  Start(GetParam());
  Boot();
  GiveUpAfterSilence(2.0);
  const Bytes low = Pattern(0x800, 91), high = Pattern(0x1700, 92), cells = Pattern(0x40, 93);
  FlashJob job;
  std::istringstream records(SRecords(low, 0x8000) + SRecords(high, 0x8900) + SRecords(cells, 0x4E00));
  job.image.ReadSRecordStream(records);
  ASSERT_EQ(job.image.m_badRecords, 0);
  job.options.start = 0x8000;
  job.options.finish = 0x9FFF;
  job.options.configEnabled = true;
  job.options.configValue = 0x0D;
  job.options.enableEeprom = true;
  job.options.eepromStart = 0x4E00;
  job.options.eepromLength = 0x40;
  job.options.noPrompt = true;
  OpResult result;
  ASSERT_EQ(ExecuteFlash(*talker, job, &result), 1);
  EXPECT_TRUE(result.Ok()) << OutcomeName(result.outcome) << " at " << std::hex << result.address;
  EXPECT_EQ(result.chipId, GetParam() == FlashChip::Kind::Am29F010 ? 0x0120u : 0xBF07u);

  EXPECT_TRUE(std::equal(low.begin(), low.end(), flash().begin() + 0x8000));
  EXPECT_TRUE(
      std::all_of(flash().begin() + 0x8800, flash().begin() + 0x8900, [](uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(high.begin(), high.end(), flash().begin() + 0x8900));
  EXPECT_TRUE(std::equal(cells.begin(), cells.end(), machine().Eeprom().begin()));
  EXPECT_EQ(machine().ConfigCell(), 0x0D);
  EXPECT_EQ(machine().GetStats().shortPulses, 0u);
  EXPECT_FALSE(gaveUp);
  ExpectSilence();
}

// Verify after writing: with checked block writes every block was read
// back by the talker as it was written, so no second pass reads the range;
// held to the standard commands the range is read back after the writes.
TEST_P(FlashJobTest, VerifyingCostsNoSecondPassWithCheckedWrites) {
  Start(GetParam());
  const Bytes program = Pattern(0x1000, 94);
  auto flashOnce = [&](bool standard) {
    store.WriteProfileInt("Comm", "Standard Protocol", standard ? 1 : 0);
    Boot();
    std::fill(flash().begin(), flash().end(), 0xFF);
    FlashJob job;
    std::istringstream records(SRecords(program, 0xA000));
    job.image.ReadSRecordStream(records);
    job.options.start = 0xA000;
    job.options.finish = 0xAFFF;
    job.options.noPrompt = true;
    job.options.verify = true;
    const size_t before = device->TargetBytes().size();
    OpResult result;
    EXPECT_EQ(ExecuteFlash(*talker, job, &result), 1);
    EXPECT_TRUE(result.Ok()) << OutcomeName(result.outcome) << " at " << std::hex << result.address;
    EXPECT_TRUE(std::equal(program.begin(), program.end(), flash().begin() + 0xA000));
    return device->TargetBytes().size() - before;
  };
  // The talker's answers: a few bytes a 128-byte block, against every byte
  // of the range again when it is read back.
  EXPECT_LT(flashOnce(false), program.size() / 8);
  EXPECT_GT(flashOnce(true), 2 * program.size());
}

INSTANTIATE_TEST_SUITE_P(Chips, FlashJobTest,
                         ::testing::Values(FlashChip::Kind::Am29F010, FlashChip::Kind::Sst29EE010),
                         [](const ::testing::TestParamInfo<FlashChip::Kind>& info) {
                           return info.param == FlashChip::Kind::Am29F010 ? "Am29F010" : "Sst29EE010";
                         });

}  // namespace
