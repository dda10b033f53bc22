// The checked block write (0x24) of our talker, through the host's own
// writers: both flash chips, the EEPROM and memory stores, a spoiled frame
// written again and a block that fails twice reported at its address, and
// talkers that do not announce it never hearing the command.
#include <fstream>

#include "TalkerRig.h"
#include "board.h"
#include "operations/MemoryTools.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/Stream.h"

namespace {

using hc11::FlashChip;

struct Frame {
  unsigned count;
  unsigned address;
  unsigned kind;
};

// The block writes in a host trace from `from` on: each is the command byte
// and a frame of fixed length, so the trace is cut without looking at data.
std::vector<Frame> BlockWrites(const Bytes& host, size_t from) {
  std::vector<Frame> frames;
  size_t i = from;
  while (i + 1 + xproto::kWriteFrameSize <= host.size()) {
    EXPECT_EQ(host[i], xproto::CMD_XWRITE) << "at " << i;
    if (host[i] != xproto::CMD_XWRITE) break;
    frames.push_back({host[i + 1], static_cast<unsigned>(host[i + 2] << 8 | host[i + 3]), host[i + 4]});
    i += 1 + xproto::kWriteFrameSize;
  }
  EXPECT_EQ(i, host.size()) << "the trace does not end on a frame";
  return frames;
}

// Every command in a host trace is a standard one: reads with their
// acknowledgements, and echoed writes.
void ExpectOnlyStandardCommands(const Bytes& host) {
  size_t i = 0;
  while (i + 3 < host.size()) {
    const uint8_t command = host[i];
    const size_t n = host[i + 1] == 0 ? 256u : host[i + 1];
    ASSERT_TRUE(command == CMD_READ || command == CMD_WRITE || command == CMD_FLASH_WRITE ||
                command == CMD_EEPROM_WRITE || command == CMD_FLASH_BLOCK_WRITE)
        << "command " << static_cast<int>(command) << " at " << i;
    i += 4 + n;
  }
  EXPECT_EQ(i, host.size());
}

class BlockWriteTest : public TalkerRig {
 protected:
  void StartOn(FlashChip::Kind chip) {
    Start(chip);
    Boot();
    GiveUpAfterSilence(2.0);
  }
  // Our talker with its signature block changed: `caps` announced (the sum
  // kept right), or the marker spoiled so that it reads as a foreign one.
  void UseChangedTalker(bool foreign, uint8_t caps) {
    Bytes image = TalkerImage(std::string(KESTON_TALKER_DIR) + "/talker.s19");
    ASSERT_GT(image.size(), 12u);
    const unsigned sig = xproto::kSignatureAddress;
    if (foreign) image[sig] = 'X';
    image[sig + 9] = static_cast<uint8_t>(image[sig + 9] + image[sig + 8] - caps);
    image[sig + 8] = caps;
    const std::string dir = ::testing::TempDir();
    std::ofstream(dir + "/changed.s19") << SRecords(image);
    UseLoader(dir, "changed.s19");
  }
  // `bytes` from `address` on, as a file's records would leave them.
  static void Fill(CProgrammer& image, unsigned address, const Bytes& bytes) {
    for (unsigned i = 0; i < bytes.size(); ++i) {
      image.SetImageByte(address + i, bytes[i]);
      image.m_written[address + i] = 1;
    }
  }
  // WriteFlash and WriteFlashBlocks start with a standard read and write of
  // CONFIG (the EEPROM switched off).
  static constexpr size_t kEepromOffBytes = 10;
};

TEST_F(BlockWriteTest, AmdChipGetsTheFileByteForByteInCheckedRuns) {
  StartOn(FlashChip::Kind::Am29F010);
  ASSERT_TRUE(UseBlockWrite(*talker));
  // A file with a hole: the write starts past it, as the byte writer does.
  Bytes data = Pattern(0x1000, 11);
  for (unsigned i = 0; i < data.size(); i += 5) data[i] = 0xFF;
  CProgrammer image;
  Fill(image, 0x8010, data);
  for (unsigned a = 0x8200; a < 0x8240; ++a) image.m_written[a] = 0;
  ASSERT_EQ(WriteFlash(*talker, 0x8010, image, static_cast<unsigned>(data.size() - 1), false), 1);
  for (unsigned i = 0; i < data.size(); ++i) {
    const unsigned a = 0x8010 + i;
    if (a >= 0x8200 && a < 0x8240) continue;
    ASSERT_EQ(flash()[a], data[i]) << std::hex << a;
  }
  const std::vector<Frame> frames = BlockWrites(device->HostBytes(), kEepromOffBytes);
  ASSERT_FALSE(frames.empty());
  // The first run is cut at the 128-byte boundary; one resumes past the hole.
  EXPECT_EQ(frames.front().address, 0x8010u);
  EXPECT_EQ(frames.front().count, 0x70u);
  EXPECT_EQ(frames.front().kind, 1u);
  bool resumed = false;
  for (const Frame& f : frames) {
    EXPECT_LE((f.address & 0x7F) + f.count, 128u);
    resumed |= f.address == 0x8240;
  }
  EXPECT_TRUE(resumed);
  EXPECT_EQ(machine().Chip().GetStats().failedPrograms, 0u);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);
  ExpectSilence();
}

TEST_F(BlockWriteTest, SstPageKeepsItsOtherBytesAndAHeldBlockIsNotWrittenAgain) {
  StartOn(FlashChip::Kind::Sst29EE010);
  const Bytes around = Pattern(0x100, 3);
  std::copy(around.begin(), around.end(), flash().begin() + 0x9000);
  // 0x9010-0x90CF: the end of one page and the start of the next.
  const Bytes data = Pattern(0xC0, 8);
  CProgrammer image;
  Fill(image, 0x9010, data);
  ASSERT_EQ(WriteFlashBlocks(*talker, 0x9010, image, 0xBF, true), 1);
  for (unsigned a = 0x9000; a < 0x9100; ++a) {
    const bool inBlock = a >= 0x9010 && a < 0x90D0;
    ASSERT_EQ(flash()[a], inBlock ? data[a - 0x9010] : around[a - 0x9000]) << std::hex << a;
  }
  EXPECT_EQ(machine().Chip().GetStats().pageWrites, 2u);
  const std::vector<Frame> frames = BlockWrites(device->HostBytes(), kEepromOffBytes);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].address, 0x9080u);
  EXPECT_EQ(frames[1].kind, 2u);
  // The same blocks again: the chip holds them, no page is written.
  ASSERT_EQ(WriteFlashBlocks(*talker, 0x9010, image, 0xBF, true), 1);
  EXPECT_EQ(machine().Chip().GetStats().pageWrites, 2u);
}

TEST_F(BlockWriteTest, EepromAndStoresGoInCheckedBlocks) {
  StartOn(FlashChip::Kind::Am29F010);
  const Bytes cells = Pattern(0x200, 21);
  CProgrammer image;
  Fill(image, 0x0E00, cells);
  ASSERT_EQ(WriteEepromBlock(*talker, 0x0E00, image, 0x1FF), 1);
  EXPECT_TRUE(std::equal(cells.begin(), cells.end(), machine().Eeprom().begin()));
  ASSERT_FALSE(device->HostBytes().empty());
  EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);

  // Plain stores where they read back: the timer's output compare registers.
  const Bytes toc{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  auto source = [&](unsigned a) { return toc[a - 0x1016]; };
  ASSERT_EQ(StreamWriteRange(*talker, 0x1016, 5, xproto::BlockKind::Store, source), 1);
  for (unsigned i = 0; i < toc.size(); ++i) EXPECT_EQ(Reg(0x16 + i), toc[i]) << i;
}

TEST_F(BlockWriteTest, RamFillStoresInTheRamAndReportsWhatDidNotTake) {
  StartOn(FlashChip::Kind::Am29F010);
  // 0x03FC-0x03FF lie in the RAM: standard stores.  From 0x0400 on the
  // flash chip takes no plain store, so its checked block reads back
  // wrong, twice, and the fill fails there.
  MemoryToolRun run;
  run.address = 0x03FC;
  run.length = 8;
  run.value = 0x5A;
  device->ClearTrace();
  OpResult result;
  EXPECT_EQ(ExecuteWriteTargetRam(*talker, run, &result), 0);
  EXPECT_EQ(result.outcome, Outcome::EchoMismatch);
  EXPECT_EQ(result.address, 0x0400u);
  const Bytes host = device->HostBytes();
  ASSERT_GE(host.size(), 20u);
  for (unsigned i = 0; i < 4; ++i)
    EXPECT_EQ(Bytes(host.begin() + 5 * i, host.begin() + 5 * i + 5), (Bytes{CMD_WRITE, 1, 0x03, static_cast<uint8_t>(0xFC + i), 0x5A}));
  const std::vector<Frame> frames = BlockWrites(host, 20);
  ASSERT_EQ(frames.size(), 2u);
  for (const Frame& f : frames) {
    EXPECT_EQ(f.address, 0x0400u);
    EXPECT_EQ(f.count, 4u);
    EXPECT_EQ(f.kind, 0u);
  }
}

TEST_F(BlockWriteTest, SpoiledFrameIsWrittenAgainOnce) {
  StartOn(FlashChip::Kind::Am29F010);
  // A data byte of the first frame (the command at 10, the frame after it).
  device->hostNoise = [](size_t i, uint8_t b) { return i == kEepromOffBytes + 60 ? static_cast<uint8_t>(b ^ 0x10) : b; };
  const Bytes data = Pattern(300, 4);
  CProgrammer image;
  Fill(image, 0x8000, data);
  ASSERT_EQ(WriteFlash(*talker, 0x8000, image, 299, true), 1);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), flash().begin() + 0x8000));
  const std::vector<Frame> frames = BlockWrites(device->HostBytes(), kEepromOffBytes);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].address, 0x8000u);
  EXPECT_EQ(frames[1].address, 0x8000u) << "the spoiled block again";
  EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);
}

TEST_F(BlockWriteTest, LostBytesCostOneMoreFrameNotTheWrite) {
  // One byte lost: the frame takes the next block's command as its last
  // byte and fails; the command goes again.  Three lost: the talker waits
  // for bytes that never come until the host's zeros complete the frame.
  for (int lost : {1, 3}) {
    SCOPED_TRACE(lost);
    StartOn(FlashChip::Kind::Am29F010);
    GiveUpAfterSilence(3.0);  // the host waits a second or so for a flash block's answer before its zeros
    device->DropHostBytes(lost, static_cast<int>(kEepromOffBytes) + 50);
    const Bytes data = Pattern(300, 12 + lost);
    CProgrammer image;
    Fill(image, 0x8000, data);
    ASSERT_EQ(WriteFlash(*talker, 0x8000, image, 299, true), 1);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), flash().begin() + 0x8000));
    EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);
    EXPECT_EQ(machine().Crash(), "");
  }
}

TEST(BlockWriteFrame, HoldsTheWholeRunAndItsCrc) {
  const Bytes data = Pattern(0x30, 5);
  const std::vector<uint8_t> frame =
      BlockWriteFrame(0xC150, 0x30, xproto::BlockKind::Eeprom, [&](unsigned a) { return data[a - 0xC150]; });
  ASSERT_EQ(frame.size(), xproto::kWriteFrameSize);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{0x30, 0xC1, 0x50, 3}));
  for (unsigned i = 0; i < 128; ++i) {
    const bool inBlock = i >= 0x50 && i < 0x80;
    ASSERT_EQ(frame[4 + i], inBlock ? data[i - 0x50] : 0xFF) << i;
  }
  // What the talker checks: the CRC over the whole frame comes out 0.
  EXPECT_EQ(Crc16(frame.data(), frame.size()), 0);
  EXPECT_NE(Crc16(frame.data(), frame.size() - 1), 0);
  // The answer's CRC starts from 0, not from the frame's initial value.
  EXPECT_EQ(BlockWriteAnswerCrc(data.data(), data.size()), Crc16(data.data(), data.size(), 0));
  EXPECT_NE(BlockWriteAnswerCrc(data.data(), data.size()), Crc16(data.data(), data.size()));
}

TEST_F(BlockWriteTest, BlockSpoiledTwiceIsReportedAtItsAddressAndNotWritten) {
  StartOn(FlashChip::Kind::Am29F010);
  // The second block's frame and its second sending: command bytes at 145
  // and 280 (each block's command goes out right after the frame before).
  const size_t second = kEepromOffBytes + 1 + xproto::kWriteFrameSize;
  const size_t again = second + 1 + xproto::kWriteFrameSize;
  device->hostNoise = [=](size_t i, uint8_t b) {
    return i == second + 40 || i == again + 40 ? static_cast<uint8_t>(b ^ 0x01) : b;
  };
  const Bytes data = Pattern(400, 6);
  CProgrammer image;
  Fill(image, 0x8000, data);
  EXPECT_EQ(WriteFlash(*talker, 0x8000, image, 399, true), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::EchoMismatch);
  EXPECT_EQ(talker->FaultAddress(), 0x8080u);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 128, flash().begin() + 0x8000));
  // A frame whose CRC fails writes nothing; the third block was never sent.
  for (unsigned a = 0x8080; a < 0x8190; ++a) ASSERT_EQ(flash()[a], 0xFF) << std::hex << a;
  // The talker waits for a command.
  device->hostNoise = nullptr;
  talker->ClearFault();
  uint8_t hprio = 0;
  ASSERT_EQ(talker->ReadTargetByte(0x103C, hprio), 1);
  EXPECT_EQ(hprio, talker_board::HPRIO_VALUE);
  EXPECT_EQ(machine().Crash(), "");
}

TEST_F(BlockWriteTest, TalkersThatDoNotOfferItNeverHearTheCommand) {
  struct Case {
    const char* why;
    bool foreign;
    bool standardChosen;
  } cases[] = {{"no bit 1 in the signature", false, false},
               {"a foreign loader", true, false},
               {"Standard Protocol chosen", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    store.WriteProfileInt("Comm", "Standard Protocol", c.standardChosen ? 1 : 0);
    if (c.standardChosen)
      UseLoader(KESTON_TALKER_DIR, "talker.s19");
    else
      UseChangedTalker(c.foreign, xproto::kCapBlockRead);
    Start(FlashChip::Kind::Am29F010);
    Boot();
    GiveUpAfterSilence(2.0);
    EXPECT_FALSE(UseBlockWrite(*talker));
    const Bytes data = Pattern(200, 9);
    CProgrammer image;
  Fill(image, 0x8000, data);
    ASSERT_EQ(WriteFlash(*talker, 0x8000, image, 199, true), 1);
    CProgrammer cells;
  Fill(cells, 0x0E00, Pattern(40, 2));
    ASSERT_EQ(WriteEepromBlock(*talker, 0x0E00, cells, 39), 1);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), flash().begin() + 0x8000));
    ExpectOnlyStandardCommands(device->HostBytes());
  }
}

}  // namespace
