// The internal EEPROM: the talker's own erase and programming pulses
// (0x31), and the host's PPROG sequences carried by plain writes.
#include "TalkerRig.h"
#include "board.h"
#include "target/Eeprom.h"

namespace {

using hc11::Machine;

class EepromTest : public TalkerRig {
 protected:
  void SetUp() override {
    TalkerRig::SetUp();
    ForceStandardProtocol();
    Start();
    Boot();
    GiveUpAfterSilence(1.0);
  }
  std::array<uint8_t, Machine::EEPROM_SIZE>& Cells() { return machine().Eeprom(); }
};

// Cells are erased only when a bit must go from 0 to 1 and programmed only
// when the value is not 0xFF; every pulse lasts the full programming time.
TEST_F(EepromTest, BlockWriteSpendsOnlyTheNeededPulsesAllOfFullLength) {
  const Bytes before = Pattern(512, 21);
  Bytes after = Pattern(512, 22);
  for (unsigned i = 0; i < 512; i += 4) {
    switch (i / 4 % 4) {
      case 0:
        after[i] = before[i];
        break;  // already there
      case 1:
        after[i] = static_cast<uint8_t>(before[i] & 0x5A);
        break;  // bits to clear only
      case 2:
        after[i] = 0xFF;
        break;  // erase only
      default:
        break;
    }
  }
  unsigned pulses = 0;
  for (unsigned i = 0; i < 512; ++i) {
    if (before[i] == after[i]) continue;
    if ((before[i] & after[i]) != after[i]) ++pulses;  // erase
    if (after[i] != 0xFF) ++pulses;                    // program
  }
  std::copy(before.begin(), before.end(), Cells().begin());
  CProgrammer image;
  for (unsigned i = 0; i < 512; ++i) image.SetImageByte(0x0E00 + i, after[i]);
  const double start = device->Now();
  const unsigned pulsesBefore = machine().GetStats().eepromPulses;

  ASSERT_EQ(WriteEepromBlock(*talker, 0x0E00, image, 0x1FF), 1);
  EXPECT_TRUE(std::equal(after.begin(), after.end(), Cells().begin()));
  EXPECT_EQ(machine().GetStats().shortPulses, 0u);
  EXPECT_EQ(machine().GetStats().eepromPulses - pulsesBefore, pulses);
  EXPECT_GE(device->Now() - start, pulses * talker_board::EE_TICKS * talker_board::EE_ROUNDS /
                                       static_cast<double>(talker_board::E_HZ));
  EXPECT_TRUE(machine().TakeMessages().empty());
  EXPECT_FALSE(gaveUp);
  ExpectSilence();
}

// A cell that does not take (here: protected by BPROT) echoes what it holds.
TEST_F(EepromTest, CellThatDoesNotTakeEchoesWhatItHolds) {
  Cells().fill(0x33);
  ASSERT_EQ(EepromOn(*talker, 0x0E00), 1);
  ASSERT_EQ(talker->WriteTargetByte(REG_BPROT, 0x01), 1);  // BPRT0: cells 0x00-0x1F
  const Bytes values{0xC5, 0x5C, 0xA0, 0x0A};
  unsigned address = 0x0E1E;
  int result = 1;
  device->ClearTrace();
  talker->ClearFault();
  ASSERT_EQ(talker->SendCommandHeader(CMD_EEPROM_WRITE, address, 4), 1);
  ASSERT_TRUE(talker->SendDataPhase(
      address, 4, [&](unsigned a) { return values[a - 0x0E1E]; }, EchoPacing::OneAtATime, 100, result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::EchoMismatch);
  EXPECT_EQ(talker->FaultAddress(), 0x0E1Eu);
  EXPECT_EQ(Cells()[0x1E], 0x33);
  EXPECT_EQ(Cells()[0x1F], 0x33);
  EXPECT_EQ(Cells()[0x20], 0xA0);
  EXPECT_EQ(Cells()[0x21], 0x0A);
  EXPECT_EQ(device->TargetBytes(), (Bytes{0xCE, 0x33, 0x33, 0xA0, 0x0A}));
  ExpectSilence();
}

// The host's own byte sequences: PPROG, the cell, PPROG with EPGM, its own
// 10 ms pause, PPROG cleared, all as plain writes; CONFIG the same way.
TEST_F(EepromTest, HostTimedPulsesOverPlainWrites) {
  Cells().fill(0x00);
  ASSERT_EQ(WriteEepromByte(*talker, 0x0E10, 0x5A), 1);
  EXPECT_EQ(Cells()[0x10], 0x5A);
  ASSERT_EQ(WriteEepromByte(*talker, 0x103F, 0x0D), 1);
  EXPECT_EQ(machine().ConfigCell(), 0x0D);
  EXPECT_EQ(machine().GetStats().shortPulses, 0u);
  EXPECT_EQ(machine().GetStats().eepromPulses, 4u);
  EXPECT_FALSE(gaveUp);
}

}  // namespace
