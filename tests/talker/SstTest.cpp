// The SST29EE010-class chip: 64-byte blocks (0x51) merged into the chip's
// 128-byte pages, written whole and verified, through the host's own
// WriteFlashBlocks, GetFlashId, ChipErase and EraseFlash.
#include "TalkerRig.h"
#include "board.h"
#include "target/FlashChip.h"

namespace {

using hc11::FlashChip;

class SstTest : public TalkerRig {
 protected:
  void SetUp() override {
    TalkerRig::SetUp();
    ForceStandardProtocol();
    Start(FlashChip::Kind::Sst29EE010);
    Boot();
    GiveUpAfterSilence(1.0);
  }
  const FlashChip::Stats& ChipStats() { return machine().Chip().GetStats(); }
  // Writes `data` at `address` with WriteFlashBlocks; its result.  The
  // writer first maps the EEPROM out of the way: a read of CONFIG and a
  // write of it, 10 bytes out and 4 back, which the trace then starts with.
  static constexpr size_t kConfigHost = 10, kConfigTarget = 4;
  int WriteBlocks(unsigned address, const Bytes& data) {
    CProgrammer image;
    for (unsigned i = 0; i < data.size(); ++i) image.SetImageByte(address + i, data[i]);
    device->ClearTrace();
    const int result = WriteFlashBlocks(*talker, address, image, static_cast<unsigned>(data.size() - 1), true);
    const Bytes host = device->HostBytes();
    EXPECT_GE(host.size(), kConfigHost);
    if (host.size() >= kConfigHost) {
      EXPECT_EQ(Bytes(host.begin(), host.begin() + 4), (Bytes{CMD_READ, 0x01, 0x10, 0x3F}));
      EXPECT_EQ(Bytes(host.begin() + 5, host.begin() + 9), (Bytes{CMD_WRITE, 0x01, 0x10, 0x3F}));
    }
    return result;
  }
  // What the talker sent for the blocks, after the CONFIG exchange.
  Bytes BlockAnswers() {
    const Bytes target = device->TargetBytes();
    return target.size() < kConfigTarget ? Bytes() : Bytes(target.begin() + kConfigTarget, target.end());
  }
  // One block straight to the talker, the EEPROM left where it is.
  int RawBlock(unsigned address, const Bytes& data) {
    int result = 1;
    const unsigned first = address;
    if (!talker->SendCommandHeader(CMD_FLASH_BLOCK_WRITE, address, static_cast<unsigned>(data.size()))) return 0;
    if (!talker->SendDataPhase(
            address, static_cast<uint8_t>(data.size()), [&](unsigned a) { return data[a - first]; },
            EchoPacing::PairsButLastTwo, 50, result))
      return 0;
    return result;
  }
  void Fill(unsigned address, const Bytes& data) {
    std::copy(data.begin(), data.end(), flash().begin() + address);
  }
  Bytes Chip(unsigned address, size_t count) {
    return Bytes(flash().begin() + address, flash().begin() + address + static_cast<long>(count));
  }
};

TEST_F(SstTest, BlocksFillWholePagesAndEchoEveryByte) {
  const Bytes program = Pattern(0x4000, 51);
  ASSERT_EQ(WriteBlocks(0x8000, program), 1);
  EXPECT_EQ(Chip(0x8000, program.size()), program);
  // Two blocks to a page, each written with the whole page loaded.
  EXPECT_EQ(ChipStats().pageWrites, 0x4000u / 64);
  EXPECT_EQ(ChipStats().pageBytesErased, 0u);
  Bytes expected;
  for (size_t at = 0; at < program.size(); at += 64) {
    expected.push_back(0xAE);
    expected.insert(expected.end(), program.begin() + static_cast<long>(at),
                    program.begin() + static_cast<long>(at) + 64);
  }
  EXPECT_EQ(BlockAnswers(), expected);
  CProgrammer back;
  ASSERT_EQ(talker->ReadTargetBlock(0x8000, back, 0x3FFF), 1);
  for (unsigned i = 0; i < program.size(); ++i) ASSERT_EQ(back.GetImageByte(0x8000 + i), program[i]) << i;
  EXPECT_FALSE(gaveUp);
}

// The chip erases the whole page as it writes it: the half the block does
// not cover must come back from the page as it was.
TEST_F(SstTest, BlockIsMergedIntoThePageItLandsIn) {
  const Bytes page = Pattern(128, 52);
  const Bytes block = Pattern(64, 53);
  Fill(0x9000, page);
  ASSERT_EQ(WriteBlocks(0x9040, block), 1);
  EXPECT_EQ(Chip(0x9000, 64), Bytes(page.begin(), page.begin() + 64));
  EXPECT_EQ(Chip(0x9040, 64), block);
  EXPECT_EQ(ChipStats().pageWrites, 1u);

  // A block that starts in one page and ends in the next: both pages are
  // written, and every byte around the block survives.
  const Bytes around = Pattern(256, 54);
  Fill(0x9080, around);
  ASSERT_EQ(WriteBlocks(0x90E0, block), 1);
  Bytes expected = around;
  std::copy(block.begin(), block.end(), expected.begin() + 0x60);
  EXPECT_EQ(Chip(0x9080, 256), expected);
  EXPECT_EQ(ChipStats().pageWrites, 3u);
  EXPECT_EQ(ChipStats().pageBytesErased, 0u);
  ExpectSilence();
}

TEST_F(SstTest, BlockTheChipAlreadyHoldsIsNotWrittenAgain) {
  const Bytes block = Pattern(64, 55);
  ASSERT_EQ(WriteBlocks(0xA000, block), 1);
  ASSERT_EQ(ChipStats().pageWrites, 1u);
  ASSERT_EQ(WriteBlocks(0xA000, block), 1);
  EXPECT_EQ(ChipStats().pageWrites, 1u);
  EXPECT_EQ(Chip(0xA000, 64), block);
}

// Every echo but the first pair and the last comes straight back; the first waits
// for the page to be read into PAGE_BUF (the host has at most one more byte
// on its way meanwhile), the last for the page write and its read-back.
TEST_F(SstTest, LastEchoComesAfterThePageIsWritten) {
  const Bytes block = Pattern(64, 56);
  ASSERT_EQ(WriteBlocks(0xB000, block), 1);
  const std::vector<CCpuDevice::HostFrame> host(device->HostLog().begin() + kConfigHost, device->HostLog().end());
  const std::vector<CCpuDevice::TargetFrame> target(device->TargetLog().begin() + kConfigTarget,
                                                    device->TargetLog().end());
  ASSERT_EQ(host.size(), 4u + 64);
  ASSERT_EQ(target.size(), 1u + 64);
  const double e = machine().EHz();
  const double hostChar = 10.0 / 9600 * e, sciChar = 10.0 * machine().GetSci().BitCycles();
  // The SST29EE010's write cycle after the byte-load window: 5.2 ms in the emulator.
  const double pageWrite = 5.2e-3 * e;
  for (size_t i = 0; i + 1 < 64; ++i) {
    const double late = static_cast<double>(target[1 + i].end) - (host[4 + i].start + hostChar + sciChar);
    EXPECT_LT(late, i < 2 ? 2 * sciChar : sciChar) << "echo " << i;
  }
  const double last = static_cast<double>(target[64].end) - (host[67].start + hostChar + sciChar);
  EXPECT_GT(last, pageWrite);
}

// The host's writer maps the EEPROM out first, so a block at its window
// lands in the flash chip and the EEPROM keeps what it held.
TEST_F(SstTest, BlockInTheEepromWindowGoesToTheFlash) {
  ASSERT_EQ(machine().ConfigCell() & 0x01, 0x01) << "the EEPROM is out of reset at 0x0E00";
  const Bytes block = Pattern(64, 60);
  EXPECT_EQ(WriteBlocks(0x0E40, block), 1);
  EXPECT_EQ(Chip(0x0E40, 64), block);
  uint8_t config = 0xFF;
  ASSERT_EQ(talker->ReadTargetByte(0x103F, config), 1);
  EXPECT_EQ(config & 0x01, 0x00);
  EXPECT_TRUE(
      std::all_of(machine().Eeprom().begin(), machine().Eeprom().end(), [](uint8_t b) { return b == 0xFF; }));
}

// A page the chip never sees (the EEPROM window while it is on, the RAM) is
// refused: the block's last echo is the complement of its last byte, so the
// host sees the failure, and nothing is written there.
TEST_F(SstTest, PageTheChipNeverSeesFailsTheBlock) {
  ASSERT_EQ(machine().ConfigCell() & 0x01, 0x01) << "the EEPROM is on at 0x0E00";
  const Bytes block = Pattern(64, 57);
  EXPECT_EQ(RawBlock(0x0E40, block), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::EchoMismatch);
  EXPECT_EQ(talker->FaultAddress(), 0x0E7Fu);
  EXPECT_EQ(device->TargetBytes().back(), static_cast<uint8_t>(~block.back()));
  EXPECT_EQ(Chip(0x0E40, 64), Bytes(64, 0xFF));
  EXPECT_TRUE(
      std::all_of(machine().Eeprom().begin(), machine().Eeprom().end(), [](uint8_t b) { return b == 0xFF; }));

  device->ClearTrace();
  talker->ClearFault();
  const Bytes code(machine().Ram().begin() + 0x80, machine().Ram().begin() + 0xC0);
  EXPECT_EQ(WriteBlocks(0x0080, block), 0);
  EXPECT_EQ(Bytes(machine().Ram().begin() + 0x80, machine().Ram().begin() + 0xC0), code);
  EXPECT_EQ(ChipStats().pageWrites, 0u);

  // A block from the RAM's last page into the chip's first: the chip's part
  // is written where it belongs, and the block still fails.
  talker->ClearFault();
  EXPECT_EQ(WriteBlocks(0x03E0, block), 0);
  EXPECT_EQ(talker->FaultAddress(), 0x041Fu);
  EXPECT_EQ(Chip(0x0400, 32), Bytes(block.begin() + 32, block.end()));
  EXPECT_EQ(Chip(0x0420, 96), Bytes(96, 0xFF));
  EXPECT_EQ(ChipStats().pageWrites, 1u);
  uint8_t value = 0;
  EXPECT_EQ(talker->ReadTargetByte(0x103C, value), 1);
}

// A block longer than the host's 64 bytes, over three pages: each page is
// written when the block leaves it, every echo is the byte sent.
TEST_F(SstTest, LongBlockIsWrittenPageAfterPage) {
  const Bytes data = Pattern(200, 58);
  unsigned address = 0xA040;
  int result = 1;
  ASSERT_EQ(talker->SendCommandHeader(CMD_FLASH_BLOCK_WRITE, address, 200), 1);
  ASSERT_TRUE(talker->SendDataPhase(
      address, 200, [&](unsigned a) { return data[a - 0xA040]; }, EchoPacing::PairsButLastTwo, 50, result));
  EXPECT_EQ(result, 1);
  const Bytes target = device->TargetBytes();
  EXPECT_EQ(Bytes(target.begin() + 1, target.end()), data);
  EXPECT_EQ(Chip(0xA040, 200), data);
  EXPECT_EQ(Chip(0xA000, 64), Bytes(64, 0xFF));
  EXPECT_EQ(ChipStats().pageWrites, 3u);
  ExpectSilence();
}

TEST_F(SstTest, IdentityAndNoChipErase) {
  Fill(0xC000, Pattern(256, 59));
  EXPECT_EQ(GetFlashId(*talker), 0xBF07u);
  EXPECT_TRUE(machine().Chip().ArrayMode());
  // The chip has no chip erase: the talker sees no erase start and answers
  // at once with something other than 0xFF.
  const double start = device->Now();
  EXPECT_EQ(ChipErase(*talker), 0);
  EXPECT_LT(device->Now() - start, 0.01);
  EXPECT_NE(device->TargetBytes().back(), 0xFF);
  EXPECT_EQ(Chip(0xC000, 256), Pattern(256, 59));
  // The host itself never asks this chip to erase.
  device->ClearTrace();
  OpResult result;
  EXPECT_EQ(EraseFlash(*talker, &result), 1);
  EXPECT_EQ(device->HostBytes(), (Bytes{0xC8, 0xBF}));
  ExpectSilence();
}

}  // namespace
