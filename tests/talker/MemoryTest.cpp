// Plain memory writes (0x41) and reads (0x01) with the host's own
// primitives, checked on the wire byte for byte and in the machine.
#include "TalkerRig.h"
#include "board.h"
#include "talker_symbols.h"

namespace {

using hc11::Machine;

// RAM the talker uses only inside a block write: free for the host otherwise.
constexpr unsigned kScratch = talker_board::PAGE_BUF;
constexpr unsigned kScratchSize = 128;

class MemoryTest : public TalkerRig {
 protected:
  void SetUp() override {
    TalkerRig::SetUp();
    Start();
    Boot();
    GiveUpAfterSilence(2.0);
  }
  // The host's bytes split into the headers and data bytes of its reads:
  // every read answers its header's complement and then one byte per data
  // byte, and the host acknowledges each.
  void ExpectReadTraffic(unsigned address, unsigned total) {
    const Bytes host = device->HostBytes();
    const Bytes target = device->TargetBytes();
    size_t h = 0, t = 0;
    unsigned left = total;
    while (left > 0) {
      const unsigned n = std::min(left, 256u);
      ASSERT_LE(h + 4 + n, host.size());
      EXPECT_EQ(host[h], 0x01);
      EXPECT_EQ(host[h + 1], static_cast<uint8_t>(n));
      EXPECT_EQ(static_cast<unsigned>(host[h + 2] << 8 | host[h + 3]), address & 0xFFFF);
      ASSERT_LT(t, target.size());
      EXPECT_EQ(target[t], 0xFE);
      h += 4 + n;  // the acknowledgements
      t += 1 + n;  // the complement and the data
      address += n;
      left -= n;
    }
    EXPECT_EQ(h, host.size());
    EXPECT_EQ(t, target.size());
  }
};

TEST_F(MemoryTest, WriteEchoesEveryByteAndStoresIt) {
  const Bytes data = Pattern(kScratchSize, 11);
  ASSERT_EQ(talker->WriteTargetBlock(kScratch, data.data(), kScratchSize - 1), 1);
  for (unsigned i = 0; i < kScratchSize; ++i) ASSERT_EQ(machine().Ram()[kScratch + i], data[i]) << i;
  // 41, count, address, then the data; answered BE and the data itself.
  Bytes host{0x41, static_cast<uint8_t>(kScratchSize), kScratch >> 8, kScratch & 0xFF};
  host.insert(host.end(), data.begin(), data.end());
  EXPECT_EQ(device->HostBytes(), host);
  Bytes target{0xBE};
  target.insert(target.end(), data.begin(), data.end());
  EXPECT_EQ(device->TargetBytes(), target);
  ExpectSilence();
}

// Registers read back what they make of a write, not the byte written; the
// echo is the byte as received, so the host's register writes succeed.
TEST_F(MemoryTest, RegisterWritesEchoTheByteSent) {
  ASSERT_EQ(talker->WriteTargetByte(0x1000 + Machine::BPROT, 0x00), 1);
  EXPECT_EQ(Reg(Machine::BPROT), 0x00);
  // TFLG1 flags clear where a one is written; it reads back 0x00.
  ASSERT_EQ(talker->WriteTargetByte(0x1000 + Machine::TFLG1, 0xFF), 1);
  EXPECT_EQ(device->TargetBytes().back(), 0xFF);
  EXPECT_EQ(machine().Peek(0x1000 + Machine::TFLG1) & 0xF8, 0x00);
  // Output compare registers hold what is written.
  const Bytes data = Pattern(3, 5);
  ASSERT_EQ(talker->WriteTargetBlock(0x1016, data.data(), 2), 1);
  EXPECT_EQ(Reg(0x16), data[0]);
  EXPECT_EQ(Reg(0x17), data[1]);
  EXPECT_EQ(Reg(0x18), data[2]);
}

TEST_F(MemoryTest, ReadsOfEveryShapeWithTheHostsLookAhead) {
  const Bytes chip = Pattern(0x2000, 12);
  std::copy(chip.begin(), chip.end(), flash().begin() + 0x6000);
  for (unsigned count : {1u, 2u, 3u, 4u, 5u, 255u, 256u, 257u, 511u, 0x2000u}) {
    SCOPED_TRACE(count);
    device->ClearTrace();
    CProgrammer image;
    image.FillImage(0x5A);
    ASSERT_EQ(talker->ReadTargetBlock(0x6000, image, count - 1), 1);
    for (unsigned i = 0; i < count; ++i) ASSERT_EQ(image.GetImageByte(0x6000 + i), chip[i]) << i;
    EXPECT_EQ(image.GetImageByte(0x6000 + count), 0x5A);
    ExpectReadTraffic(0x6000, count);
    ExpectSilence(0.05);
  }
  EXPECT_FALSE(gaveUp);
}

// The last address, and a read that runs on past it into the RAM at 0x0000,
// where the talker itself starts.
TEST_F(MemoryTest, ReadAtTheTopOfTheMap) {
  flash()[0xFFFF] = 0xC3;
  uint8_t value = 0;
  ASSERT_EQ(talker->ReadTargetByte(0xFFFF, value), 1);
  EXPECT_EQ(value, 0xC3);
  CProgrammer image;
  ASSERT_EQ(talker->ReadTargetBlock(0xFFFF, image, 0), 1);
  EXPECT_EQ(image.GetImageByte(0xFFFF), 0xC3);

  device->ClearTrace();
  link->Queue().Clear();
  ASSERT_EQ(talker->SendCommandHeader(CMD_READ, 0xFFFF, 2), 1);
  uint8_t first = 0, second = 0;
  ASSERT_EQ(talker->ReceiveByteChecked(first), 1);
  ASSERT_EQ(talker->SendByte(0x00), 1);
  ASSERT_EQ(talker->ReceiveByteChecked(second), 1);
  ASSERT_EQ(talker->SendByte(0x00), 1);
  EXPECT_EQ(first, 0xC3);
  EXPECT_EQ(second, TalkerImage(std::string(KESTON_TALKER_DIR) + "/talker.s19")[0]);
  ExpectSilence();
  ASSERT_EQ(talker->ReadTargetByte(0x8000, value), 1);
}

}  // namespace
