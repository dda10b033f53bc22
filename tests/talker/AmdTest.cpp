// The Am29F010 on the expanded bus: byte programming with data polling
// (0x71), the chip's identity (0xC8) and its erase (0xD1), through the
// host's own WriteFlash, GetFlashId, ChipErase and EraseFlash.
#include "TalkerRig.h"
#include "board.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"

namespace {

using hc11::FlashChip;

class AmdTest : public TalkerRig {
 protected:
  void StartWith(int eraseMs) {
    Board board;
    board.eraseMs = eraseMs;
    ForceStandardProtocol();
    Start(board);
    Boot();
    GiveUpAfterSilence(eraseMs / 1000.0 + 45.0);
  }
  const FlashChip::Stats& ChipStats() { return machine().Chip().GetStats(); }
};

TEST_F(AmdTest, WriteFlashProgramsAndEchoesEveryByte) {
  StartWith(1000);
  Bytes program = Pattern(0x4000, 31);
  for (unsigned i = 0; i < program.size(); i += 7) program[i] = 0xFF;  // gaps an erased chip already holds
  CProgrammer image;
  for (unsigned i = 0; i < program.size(); ++i) image.SetImageByte(0x8000 + i, program[i]);
  ASSERT_EQ(WriteFlash(*talker, 0x8000, image, 0x3FFF, true), 1);
  EXPECT_TRUE(std::equal(program.begin(), program.end(), flash().begin() + 0x8000));
  const auto programmed = std::count_if(program.begin(), program.end(), [](uint8_t b) { return b != 0xFF; });
  EXPECT_EQ(ChipStats().programs, static_cast<unsigned>(programmed));
  EXPECT_EQ(ChipStats().failedPrograms, 0u);
  // After WriteFlash's EEPROM switch-off (a read and a write of CONFIG), 64
  // chunks of 0x71: the complement, then every byte back.
  Bytes target = device->TargetBytes();
  Bytes expected{0xFE, 0x0F, 0xBE, 0x0E};
  for (unsigned chunk = 0; chunk < 64; ++chunk) {
    expected.push_back(0x8E);
    expected.insert(expected.end(), program.begin() + chunk * 256, program.begin() + chunk * 256 + 256);
  }
  EXPECT_EQ(target, expected);

  CProgrammer back;
  ASSERT_EQ(talker->ReadTargetBlock(0x8000, back, 0x3FFF), 1);
  for (unsigned i = 0; i < program.size(); ++i) ASSERT_EQ(back.GetImageByte(0x8000 + i), program[i]) << i;
  EXPECT_FALSE(gaveUp);
}

// Programming can only clear bits: asking for a 1 over a 0 runs the chip
// into its DQ5 time-out.  The echo shows the cell as it is, the chip is
// reset to reading, and the rest of the chunk is programmed.
TEST_F(AmdTest, ByteThatCannotBeProgrammedEchoesTheCellAndTheChipRecovers) {
  StartWith(1000);
  flash()[0x9003] = 0x0F;
  const Bytes data{0x11, 0x22, 0x33, 0xF0, 0x55, 0x66};
  CProgrammer image;
  for (unsigned i = 0; i < data.size(); ++i) image.SetImageByte(0x9000 + i, data[i]);
  ASSERT_EQ(WriteFlash(*talker, 0x9000, image, 5, true), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::EchoMismatch);
  EXPECT_EQ(talker->FaultAddress(), 0x9003u);
  EXPECT_EQ(ChipStats().failedPrograms, 1u);
  EXPECT_EQ(device->TargetBytes().back(), 0x66);
  EXPECT_EQ(device->TargetBytes()[device->TargetBytes().size() - 3], 0x00);  // 0xF0 over 0x0F
  EXPECT_TRUE(machine().Chip().ArrayMode());
  for (unsigned i : {0u, 1u, 2u, 4u, 5u}) EXPECT_EQ(flash()[0x9000 + i], data[i]) << i;
  EXPECT_EQ(flash()[0x5555], 0xFF);
  EXPECT_EQ(flash()[0x2AAA], 0xFF);
  ExpectSilence();
}

// Addresses the chip never sees (the RAM, the registers, the EEPROM while
// mapped) get an ordinary store; the chip is not left half-way through a
// command, so the next byte to the chip is programmed where it belongs.
TEST_F(AmdTest, InternalAddressesNeverLeaveTheChipWaiting) {
  StartWith(1000);
  ASSERT_EQ(EepromOn(*talker, 0x0E00), 1);
  machine().Eeprom()[0] = 0x77;
  const Bytes ram{0x12, 0x34};
  struct Case {
    unsigned address;
    uint8_t value;
    uint8_t echo;
  } cases[] = {
      {talker_board::PAGE_BUF, ram[0], ram[0]},  // RAM
      {talker_board::PAGE_BUF + 1, ram[1], ram[1]},
      {0x1018, 0xAB, 0xAB},  // TOC2, a register that holds what is written
      {0x0E00, 0x00, 0x77},  // EEPROM: a store without EELAT changes nothing
      {0x9100, 0x42, 0x42},  // the chip
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    talker->ClearFault();
    unsigned address = c.address;
    int result = 1;
    ASSERT_EQ(talker->SendCommandHeader(CMD_FLASH_WRITE, address, 1), 1);
    ASSERT_TRUE(talker->SendDataPhase(
        address, 1, [&](unsigned) { return c.value; }, EchoPacing::PairsButLastTwo, 50, result));
    EXPECT_EQ(result, c.echo == c.value ? 1 : 0);
    EXPECT_EQ(device->TargetBytes().back(), c.echo);
  }
  EXPECT_EQ(machine().Ram()[talker_board::PAGE_BUF], ram[0]);
  EXPECT_EQ(Reg(0x18), 0xAB);
  EXPECT_EQ(flash()[0x9100], 0x42);
  EXPECT_EQ(flash()[0x0E00], 0xFF);
  EXPECT_EQ(flash()[0x5555], 0xFF);
  EXPECT_EQ(ChipStats().programs, 1u);
}

TEST_F(AmdTest, IdentityLeavesTheChipReadingItsArray) {
  StartWith(1000);
  flash()[talker_board::FLASH_ID] = 0x5A;
  EXPECT_EQ(GetFlashId(*talker), 0x0120u);
  // C8, the acknowledgement: 37, manufacturer, device.
  EXPECT_EQ(device->HostBytes(), (Bytes{0xC8, 0x01}));
  EXPECT_EQ(device->TargetBytes(), (Bytes{0x37, 0x01, 0x20}));
  EXPECT_TRUE(machine().Chip().ArrayMode());
  uint8_t value = 0;
  ASSERT_EQ(talker->ReadTargetByte(talker_board::FLASH_ID, value), 1);
  EXPECT_EQ(value, 0x5A);
}

TEST_F(AmdTest, EraseAnswersFfOnceTheChipIsErased) {
  StartWith(1500);
  const Bytes old = Pattern(0x10000, 41);
  std::copy(old.begin(), old.end(), flash().begin());
  const double start = device->Now();
  OpResult result;
  ASSERT_EQ(EraseFlash(*talker, &result), 1);
  EXPECT_TRUE(result.Ok());
  EXPECT_EQ(result.chipId, 0x0120u);
  EXPECT_TRUE(std::all_of(flash().begin(), flash().end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(ChipStats().chipErases, 1u);
  // ... C8 and its answers, then D1 2E, 3F, and FF when the chip is done.
  const Bytes host = device->HostBytes(), target = device->TargetBytes();
  ASSERT_GE(host.size(), 2u);
  EXPECT_EQ(Bytes(host.end() - 2, host.end()), (Bytes{0xD1, 0x3F}));
  EXPECT_EQ(Bytes(target.end() - 2, target.end()), (Bytes{0x2E, 0xFF}));
  EXPECT_GE(device->Now() - start, 1.5);
  EXPECT_LT(device->Now() - start, 1.6);
  EXPECT_FALSE(gaveUp);
}

// A chip that never finishes is given up after the talker's erase time-out:
// the answer is no 0xFF, and the talker takes commands again.
TEST_F(AmdTest, EraseThatNeverEndsIsAnsweredAsFailed) {
  StartWith(talker_board::ERASE_MS + 20000);
  const double start = device->Now();
  EXPECT_EQ(ChipErase(*talker), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::ChipFailed);
  EXPECT_NE(device->TargetBytes().back(), 0xFF);
  const double waited = device->Now() - start;
  EXPECT_GE(waited, talker_board::ERASE_MS / 1000.0);
  EXPECT_LT(waited, talker_board::ERASE_MS / 1000.0 * 1.05);
  EXPECT_FALSE(gaveUp);
  uint8_t value = 0;
  EXPECT_EQ(talker->ReadTargetByte(0x103C, value), 1);
  EXPECT_EQ(value, talker_board::HPRIO_VALUE);
}

// The erase starts only on the host's go-ahead byte.
TEST_F(AmdTest, EraseWithoutTheGoAheadErasesNothing) {
  StartWith(1000);
  flash()[0x8000] = 0x00;
  for (uint8_t go : {0x00, 0x3E, 0xFF}) {
    SCOPED_TRACE(static_cast<int>(go));
    link->Queue().Clear();
    ASSERT_EQ(talker->SendByte(CMD_CHIP_ERASE), 1);
    uint8_t reply = 0;
    ASSERT_EQ(talker->ReceiveByteChecked(reply), 1);
    EXPECT_EQ(reply, 0x2E);
    ASSERT_EQ(talker->SendByte(go), 1);
    ASSERT_EQ(talker->ReceiveByteChecked(reply), 1);
    EXPECT_NE(reply, 0xFF);
  }
  device->Run(2.0);
  EXPECT_EQ(ChipStats().chipErases, 0u);
  EXPECT_EQ(flash()[0x8000], 0x00);
  ExpectSilence();
}

}  // namespace
