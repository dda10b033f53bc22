// The talker built for other boards (tests/talker/CMakeLists.txt): each
// runs on a machine with its crystal, at its own rate, with EEPROM pulses
// of at least its pulse time whatever the E clock.
#include "TalkerRig.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "variants.h"

namespace {

class VariantTest : public TalkerRig, public ::testing::WithParamInterface<TalkerVariant> {};

TEST_P(VariantTest, RunsAtItsRateWithFullPulses) {
  const TalkerVariant& v = GetParam();
  Board board;
  board.crystalHz = v.crystalHz;
  board.bootBaud = static_cast<int>(v.crystalHz / 4 / 256);  // the boot ROM's fast rate
  board.normalBaud = v.baud;
  board.eraseMs = 200;
  // Pulse timing as the standard byte write sees it.
  ForceStandardProtocol();
  UseLoader(v.dir, "talker.s19");
  Start(board);
  Boot();
  GiveUpAfterSilence(2.0);
  EXPECT_NEAR(machine().SciBaud(), v.baud, v.baud * 0.025);
  // The EEPROM's charge pump runs from the RC clock below 1 MHz of E.
  EXPECT_EQ((Reg(hc11::Machine::OPTION) & 0x40) != 0, v.crystalHz / 4 < 1e6);

  EXPECT_EQ(GetFlashId(*talker), 0x0120u);
  const Bytes program = Pattern(512, 71);
  CProgrammer image;
  for (unsigned i = 0; i < program.size(); ++i) image.SetImageByte(0xE000 + i, program[i]);
  ASSERT_EQ(WriteFlash(*talker, 0xE000, image, 511, true), 1);
  CProgrammer back;
  ASSERT_EQ(talker->ReadTargetBlock(0xE000, back, 511), 1);
  for (unsigned i = 0; i < program.size(); ++i) ASSERT_EQ(back.GetImageByte(0xE000 + i), program[i]) << i;
  ASSERT_EQ(ChipErase(*talker), 1);

  // Eight cells that each need an erase and a programming pulse.
  machine().Eeprom().fill(0x00);
  CProgrammer cells;
  for (unsigned i = 0; i < 8; ++i) cells.SetImageByte(0x0E00 + i, static_cast<uint8_t>(0x81 + i));
  const double start = device->Now();
  ASSERT_EQ(WriteEepromBlock(*talker, 0x0E00, cells, 7), 1);
  const double took = device->Now() - start;
  for (unsigned i = 0; i < 8; ++i) EXPECT_EQ(machine().Eeprom()[i], 0x81 + i);
  EXPECT_EQ(machine().GetStats().shortPulses, 0u);
  EXPECT_EQ(machine().GetStats().eepromPulses, 16u);
  EXPECT_GE(took, 16 * v.pulseUs * 1e-6);
  EXPECT_LT(took, 16 * v.pulseUs * 1e-6 * 1.1 + 0.05);
  EXPECT_FALSE(gaveUp);
}

INSTANTIATE_TEST_SUITE_P(Boards, VariantTest, ::testing::ValuesIn(kTalkerVariants),
                         [](const ::testing::TestParamInfo<TalkerVariant>& info) { return info.param.name; });

}  // namespace
