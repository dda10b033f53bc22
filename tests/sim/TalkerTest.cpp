// The talker's byte protocol, byte for byte in both directions.
#include <chrono>

#include "SimFixture.h"

namespace {
std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 13);
  return v;
}
}  // namespace

TEST_F(SimTest, WriteAndReadMoveRamWithEchoesAndAcknowledgements) {
  StartSim();
  BootTalker();
  // A register write exactly as the host puts it on the wire.
  ASSERT_TRUE(line.Send({0x41, 0x01, 0x10, 0x3C, 0x02}));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0xBE, 0x02}));
  EXPECT_EQ(vc->Read(0x103C), 0x02);

  // Count 0 means 256 bytes.
  auto data = Pattern(256, 1);
  data.resize(0x300 - 0x200 + 0);  // 256 bytes at 0x0200..0x02FF
  WriteBytes(0x0200, data);
  for (unsigned i = 0; i < 256; ++i) ASSERT_EQ(vc->Read(0x200 + i), data[i]) << i;

  // Reading with the acknowledgements sent ahead of the data, as a pipelining
  // host does: the talker must take them as a stream.
  Header(0x01, 3, 0x0210);
  ASSERT_TRUE(line.Send({0xAA, 0xAA, 0xAA}));
  EXPECT_EQ(line.Receive(3), (std::vector<uint8_t>{data[0x10], data[0x11], data[0x12]}));
  // Nothing more, and the talker is back waiting for a command.
  EXPECT_TRUE(line.Drain(50).empty());
  EXPECT_EQ(ReadByte(0x02FF), data[0xFF]);

  // Read 256 in lock-step, one acknowledgement per byte.
  Header(0x01, 0, 0x0200);
  std::vector<uint8_t> got;
  for (int i = 0; i < 256; ++i) {
    auto b = line.Receive(1);
    ASSERT_EQ(b.size(), 1u) << i;
    got.push_back(b[0]);
    line.Send(b[0]);
  }
  EXPECT_EQ(got, data);
  EXPECT_TRUE(line.Drain(50).empty());
}

TEST_F(SimTest, UnknownCommandsAreIgnored) {
  StartSim();
  BootTalker();
  ASSERT_TRUE(line.Send({0x00, 0x42, 0x7E}));
  EXPECT_TRUE(line.Drain(80).empty());
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0x37, 0x01}));
}

TEST_F(SimTest, FlashIdentityAndProgrammingOfTheEraseFirstChip) {
  StartSim();
  BootTalker();
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0x37, 0x01}));
  EXPECT_TRUE(line.Drain(30).empty());  // the device code waits for the acknowledgement
  ASSERT_TRUE(line.Send(0x01));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x20});

  // Erased cells take any value; programmed ones only lose bits, and the
  // echo is what the chip holds afterwards.
  WriteBytes(0x8000, {0x5A, 0xF0}, 0x71);
  EXPECT_EQ(vc->Flash()[0x8000], 0x5A);
  Header(0x71, 2, 0x8000);
  ASSERT_TRUE(line.Send({0xA5, 0x0F}));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0x00, 0x00}));
  EXPECT_EQ(vc->Flash()[0x8001], 0x00);

  // A plain memory write does nothing to the chip, though it is echoed.
  WriteBytes(0x9000, {0x12});
  EXPECT_EQ(vc->Flash()[0x9000], 0xFF);
  EXPECT_EQ(vc->Read(0x9000), 0xFF);

  // The chip erase takes its time and answers 0xFF.
  ASSERT_TRUE(line.Send(0xD1));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x2E});
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(line.Send(0x3F));
  EXPECT_EQ(line.Receive(1, 10000), std::vector<uint8_t>{0xFF});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(140));
  EXPECT_EQ(vc->Flash()[0x8000], 0xFF);
  EXPECT_EQ(vc->Flash()[0x8001], 0xFF);
}

TEST_F(SimTest, BytesSentDuringAnEraseWaitForIt) {
  StartSim();
  BootTalker();
  vc->LoadFlash({0x00, 0x11}, 0xC000);
  ASSERT_TRUE(line.Send({0xD1}));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x2E});
  ASSERT_TRUE(line.Send({0x3F, 0x01, 0x01, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(line.Receive(2, 10000), (std::vector<uint8_t>{0xFF, 0xFE}));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0xFF});  // read after the erase
}

TEST_F(SimTest, TheBlockChipStoresBlocksAsSentAndRefusesErase) {
  SimOptions o = FastOptions();
  o.chip = SimChip::Block;
  StartSim(o);
  BootTalker();
  ASSERT_TRUE(line.Send({0xC8}));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0x37, 0xBF}));
  ASSERT_TRUE(line.Send(0xBF));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x07});

  vc->LoadFlash(std::vector<uint8_t>(64, 0x00), 0x8000);
  auto block = Pattern(64, 0x80);
  WriteBytes(0x8000, block, 0x51);
  auto flash = vc->Flash();
  EXPECT_TRUE(std::equal(block.begin(), block.end(), flash.begin() + 0x8000));

  ASSERT_TRUE(line.Send(0xD1));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x2E});
  ASSERT_TRUE(line.Send(0x3F));
  auto answer = line.Receive(1);
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_NE(answer[0], 0xFF);
  EXPECT_EQ(vc->Flash()[0x8000], block[0]);
}
