// The extended protocol: our talker's signature block and checked block
// read, against the host's Stream module and the operations that use it.
#include <cstring>
#include <fstream>
#include <sstream>

#include "TalkerRig.h"
#include "board.h"
#include "operations/Checks.h"
#include "operations/MemoryTools.h"
#include "target/BootLoad.h"
#include "target/Stream.h"

namespace {

// How often `value` occurs in `bytes`; in a trace of block reads only the
// frames' command bytes are 0x23 when the addresses and counts are not.
size_t CountByte(const Bytes& bytes, uint8_t value) {
  size_t n = 0;
  for (uint8_t b : bytes) n += b == value;
  return n;
}

class ExtendedTest : public TalkerRig {
 protected:
  void SetUp() override {
    TalkerRig::SetUp();
    Start();
  }
  void PutInFlash(unsigned address, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), flash().begin() + address);
  }
  // A copy of the talker whose signature block no longer reads as ours: a
  // foreign talker that speaks the standard protocol only.
  void UseForeignTalker() {
    Bytes image = TalkerImage(std::string(KESTON_TALKER_DIR) + "/talker.s19");
    ASSERT_GT(image.size(), 12u);
    image[xproto::kSignatureAddress] = 'X';
    const std::string dir = ::testing::TempDir();
    std::ofstream(dir + "/foreign.s19") << SRecords(image);
    UseLoader(dir, "foreign.s19");
  }
  // Every frame the host sent since the trace was cleared is a standard
  // read: a 0x01 header and one acknowledgement a byte, so no 0x23 ever
  // stands where the talker takes a command.
  void ExpectOnlyStandardReads() {
    const Bytes host = device->HostBytes();
    size_t i = 0;
    while (i + 3 < host.size()) {
      ASSERT_EQ(host[i], CMD_READ) << "at " << i;
      i += 4 + (host[i + 1] == 0 ? 256u : host[i + 1]);
    }
    EXPECT_EQ(i, host.size());
  }
};

TEST(ExtendedProtocol, CrcIsTheTalkersCcittVariant) {
  const char* check = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check), 9), 0x29B1);
  // A frame followed by its own CRC has a CRC of 0: what the talker relies on.
  Bytes frame{0x10, 0x80, 0x00, 0xAA, 0x55};
  const uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  EXPECT_EQ(Crc16(frame.data(), frame.size()), 0);
}

TEST(ExtendedProtocol, SignatureIsTakenOnlyWhenWhole) {
  const Bytes good{'K', 'E', 'S', 'T', 'O', 'N', 1, 0, 1, 0x2A};
  TalkerExtension e;
  ASSERT_TRUE(ParseSignature(good.data(), good.size(), e));
  EXPECT_TRUE(e.present);
  EXPECT_EQ(e.readMax, 256u);
  struct Case {
    const char* why;
    size_t at;
    uint8_t value;
  } cases[] = {{"marker", 0, 'k'}, {"sum", 9, 0x2B}, {"version", 6, 2}, {"no block read", 8, 0}};
  for (const Case& c : cases) {
    Bytes bad = good;
    bad[c.at] = c.value;
    // Keep the sum right where the case is about another field.
    if (c.at != 9) bad[9] = static_cast<uint8_t>(bad[9] - (c.value - good[c.at]));
    EXPECT_FALSE(ParseSignature(bad.data(), bad.size(), e)) << c.why;
    EXPECT_FALSE(e.present) << c.why;
  }
  EXPECT_FALSE(ParseSignature(good.data(), good.size() - 1, e));
}

TEST(ExtendedProtocol, BlockAnswerCoversTheAddress) {
  const Bytes data{1, 2, 3, 4};
  const uint8_t header[3] = {4, 0x80, 0x00};
  const uint16_t crc = Crc16(data.data(), data.size(), Crc16(header, 3));
  Bytes answer = data;
  answer.push_back(static_cast<uint8_t>(crc >> 8));
  answer.push_back(static_cast<uint8_t>(crc & 0xFF));
  EXPECT_TRUE(BlockReadAnswerGood(0x8000, 4, answer.data(), answer.size()));
  EXPECT_FALSE(BlockReadAnswerGood(0x8100, 4, answer.data(), answer.size())) << "another address";
  EXPECT_FALSE(BlockReadAnswerGood(0x8000, 3, answer.data(), answer.size())) << "another count";
  answer[2] ^= 0x10;
  EXPECT_FALSE(BlockReadAnswerGood(0x8000, 4, answer.data(), answer.size())) << "a spoiled byte";
}

TEST(ExtendedProtocol, StandInLoaderHoldsNoSignature) {
  CProgrammer loader;
  std::ifstream in(std::string(KESTON_SOURCE_DIR) + "/examples/stand-in-loader.s19");
  ASSERT_TRUE(in);
  loader.ReadSRecordStream(in);
  TalkerExtension e;
  EXPECT_FALSE(SignatureInLoader(loader, e));
  EXPECT_FALSE(e.present);
}

TEST_F(ExtendedTest, BootLoadLearnsTheExtensionFromTheLoader) {
  Boot();
  ASSERT_TRUE(talker->ExtensionKnown());
  EXPECT_TRUE(talker->Extension().present);
  EXPECT_EQ(talker->Extension().readMax, 256u);
  EXPECT_TRUE(UseExtension(*talker));
  EXPECT_EQ(ProtocolModeText(*talker), "extended protocol (checked blocks)");
  // Learning it sent nothing.
  EXPECT_TRUE(device->HostBytes().empty());
}

TEST_F(ExtendedTest, CheckedReadGivesTheMemoryByteForByte) {
  Boot();
  const Bytes data = Pattern(0x1234, 7);
  PutInFlash(0x8000, data);
  CProgrammer image;
  ASSERT_EQ(ReadRange(*talker, 0x8000, image, data.size() - 1), 1);
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(image.GetImageByte(0x8000 + i), data[i]) << i;
  // 0x1234 bytes in blocks of 256: 19 frames of four bytes and nothing else.
  const Bytes host = device->HostBytes();
  EXPECT_EQ(host.size(), 19u * 4);
  EXPECT_EQ(CountByte(host, xproto::CMD_XREAD), 19u);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);
  ExpectSilence();
}

TEST_F(ExtendedTest, SpoiledByteIsReadAgainOnce) {
  Boot();
  const Bytes data = Pattern(512, 3);
  PutInFlash(0x9000, data);
  // The 40th byte the talker sends lies in the first block's data.
  device->SpoilTargetByte(40, 0x04);
  CProgrammer image;
  ASSERT_EQ(ReadRange(*talker, 0x9000, image, 511), 1);
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(image.GetImageByte(0x9000 + i), data[i]) << i;
  EXPECT_EQ(CountByte(device->HostBytes(), xproto::CMD_XREAD), 3u) << "two blocks, the first twice";
  EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);
}

TEST_F(ExtendedTest, BlockFailingTwiceIsReportedAtItsAddress) {
  Boot();
  PutInFlash(0xA000, Pattern(768, 5));
  // A byte of the second block's answer (each answer is the complement, 256
  // bytes and two CRC bytes), and a byte of its second reading, which goes
  // out once the host has sent its third frame.
  device->SpoilTargetByte(259 + 10, 0x80);
  AtHostByte(12, [this] { device->SpoilTargetByte(10, 0x80); });
  CProgrammer image;
  ASSERT_EQ(ReadRange(*talker, 0xA000, image, 767), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::ReadMismatch);
  EXPECT_EQ(talker->FaultAddress(), 0xA100u);
  EXPECT_EQ(CountByte(device->HostBytes(), xproto::CMD_XREAD), 3u) << "the third block is not asked for";
  // The talker is left waiting for a command.
  talker->ClearFault();
  uint8_t hprio = 0;
  ASSERT_EQ(talker->ReadTargetByte(0x103C, hprio), 1);
  EXPECT_EQ(hprio, talker_board::HPRIO_VALUE);
}

TEST_F(ExtendedTest, ForeignTalkerNeverHearsAnExtendedCommand) {
  UseForeignTalker();
  Boot();
  ASSERT_TRUE(talker->ExtensionKnown());
  EXPECT_FALSE(talker->Extension().present);
  PutInFlash(0x8000, Pattern(300, 9));
  CProgrammer image;
  OpResult r;
  ASSERT_EQ(ReadTrusted(*talker, 0x8000, 0x8000 + 299, image, true, r), 1);
  // Force Prog Connection: the probe is a standard read, and says no.
  talker->ForgetExtension();
  EXPECT_FALSE(UseExtension(*talker));
  EXPECT_TRUE(talker->ExtensionKnown());
  ASSERT_EQ(ReadTrusted(*talker, 0x8000, 0x8000 + 299, image, true, r), 1);
  ExpectOnlyStandardReads();
}

TEST_F(ExtendedTest, ForcedConnectionProbesWithAStandardRead) {
  Boot();
  talker->ForgetExtension();
  EXPECT_EQ(ProtocolModeText(*talker), "protocol not yet known");
  ASSERT_TRUE(UseExtension(*talker));
  const Bytes host = device->HostBytes();
  ASSERT_GE(host.size(), 4u);
  EXPECT_EQ(Bytes(host.begin(), host.begin() + 4), (Bytes{CMD_READ, 10, 0x00, 0x02}));
  EXPECT_EQ(host.size(), 4u + 10);
}

TEST_F(ExtendedTest, StandardProtocolOptionKeepsToTheStandardSet) {
  store.WriteProfileInt("Comm", "Standard Protocol", 1);
  Boot();
  EXPECT_FALSE(UseExtension(*talker));
  EXPECT_EQ(ProtocolModeText(*talker), "standard protocol (chosen)");
  PutInFlash(0x8000, Pattern(64, 2));
  CProgrammer image;
  OpResult r;
  ASSERT_EQ(ReadTrusted(*talker, 0x8000, 0x8000 + 63, image, true, r), 1);
  ExpectOnlyStandardReads();
}

TEST_F(ExtendedTest, ReadTwiceCostsOneCheckedPass) {
  Boot();
  PutInFlash(0xB000, Pattern(1024, 4));
  CProgrammer image;
  OpResult r;
  ASSERT_EQ(ReadTrusted(*talker, 0xB000, 0xB3FF, image, true, r), 1);
  EXPECT_EQ(device->HostBytes().size(), 4u * 4) << "four blocks, read once";
}

TEST_F(ExtendedTest, ReadMemoryToolUsesCheckedBlocksOutsideTheRegisters) {
  Boot();
  const Bytes data = Pattern(40, 6);
  PutInFlash(0xC000, data);
  MemoryToolRun run;
  run.address = 0xC000;
  run.length = 40;
  std::vector<uint8_t> bytes;
  ASSERT_EQ(ExecuteReadMemory(*talker, run, bytes), 1);
  EXPECT_EQ(bytes, data);
  EXPECT_EQ(device->HostBytes(), (Bytes{xproto::CMD_XREAD, 40, 0xC0, 0x00}));
  // The register block stays with the standard read.
  device->ClearTrace();
  run.address = 0x103C;
  run.length = 1;
  run.readTwice = false;
  bytes.clear();
  ASSERT_EQ(ExecuteReadMemory(*talker, run, bytes), 1);
  EXPECT_EQ(device->HostBytes().front(), CMD_READ);
}

}  // namespace
