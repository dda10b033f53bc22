// What only the real SCI shows: how many host bytes the talker can have
// outstanding, and what every line fault does to the host's operations on
// it, each followed by the user's way back (reset, Boot Load, again).
#include "TalkerRig.h"
#include "board.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"

namespace {

using hc11::FlashChip;

class OverrunTest : public TalkerRig {
 protected:
  void SetUp() override {
    TalkerRig::SetUp();
    Start();
    Boot();
    GiveUpAfterSilence(1.0);
    ASSERT_EQ(EepromOn(*talker, 0x0E00), 1);
    ASSERT_EQ(talker->WriteTargetByte(REG_BPROT, 0x00), 1);
    // Every cell needs an erase and a programming pulse: 20 ms a byte.
    machine().Eeprom().fill(0x00);
    device->Run(0.01);
    device->ClearTrace();
  }
  uint8_t Scsr() { return machine().Peek(talker_board::REGS + 0x2E); }
};

// The SCI holds one byte while the next one shifts in.  A third byte sent
// while the talker is busy completes with the first still unread: it is
// lost (OR), and the talker, one byte short, waits for it.
TEST_F(OverrunTest, ThirdByteOutstandingIsLost) {
  ASSERT_EQ(talker->SendCommandHeader(CMD_EEPROM_WRITE, 0x0E00, 3), 1);
  const Bytes data{0x11, 0x22, 0x33};
  ASSERT_TRUE(link->WriteBytes(data.data(), 3));
  device->Run(0.008);  // all three are in; the talker is in its first pulse
  EXPECT_TRUE(Scsr() & hc11::Sci::OR);
  ASSERT_EQ(device->SciReceived().size(), 4u + 3);  // the header and three data bytes
  device->Run(0.2);
  EXPECT_EQ(device->TargetBytes(), (Bytes{0xCE, 0x11, 0x22}));
  EXPECT_EQ(machine().Eeprom()[0], 0x11);
  EXPECT_EQ(machine().Eeprom()[1], 0x22);
  EXPECT_EQ(machine().Eeprom()[2], 0x00);
  ExpectSilence(1.0);
}

// Two bytes outstanding, the most the host ever has, are held even while
// the talker spends 20 ms on each.
TEST_F(OverrunTest, TwoBytesOutstandingAreHeld) {
  const Bytes data = Pattern(16, 61);
  unsigned address = 0x0E00;
  int result = 1;
  ASSERT_EQ(talker->SendCommandHeader(CMD_EEPROM_WRITE, address, 16), 1);
  ASSERT_TRUE(talker->SendDataPhase(
      address, 16, [&](unsigned a) { return data[a - 0x0E00]; }, EchoPacing::Pairs, 100, result));
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), machine().Eeprom().begin()));
  EXPECT_FALSE(Scsr() & hc11::Sci::OR);
  EXPECT_FALSE(gaveUp);
}

// ---- line faults ----

struct Operation {
  const char* name;
  FlashChip::Kind chip;
  unsigned address;
  size_t size;
  size_t hostByte;    // a data byte of the host's, counted from the operation's start
  size_t targetByte;  // an echo of the talker's, likewise
};

const Operation kOperations[] = {
    // EEPROM off (ten bytes), then a 0x71 header: host byte 60 and talker
    // byte 40 are data and echo of the first chunk.
    {"WriteFlash", FlashChip::Kind::Am29F010, 0x8000, 1024, 60, 40},
    // 0x51 headers and 64-byte blocks from the start.
    {"WriteFlashBlocks", FlashChip::Kind::Sst29EE010, 0x8000, 1024, 40, 30},
    // BPROT and EEPROM on (fifteen bytes), then the 0x31 header.
    {"WriteEepromBlock", FlashChip::Kind::Am29F010, 0x0E00, 64, 30, 20},
};

enum class Fault { DroppedData, SpoiledData, SpoiledEcho, Stall, HangUp, Noise };
const char* const kFaultNames[] = {
    "dropped data byte", "spoiled data byte", "spoiled echo", "stall", "hang-up", "noise"};

class FaultTest : public TalkerRig, public ::testing::WithParamInterface<std::tuple<Operation, int>> {
 protected:
  void Inject(Fault fault, const Operation& op) {
    const int host = static_cast<int>(op.hostByte), target = static_cast<int>(op.targetByte);
    switch (fault) {
      case Fault::DroppedData:
        return device->DropHostBytes(1, host - 1);
      case Fault::SpoiledData:
        return device->SpoilHostByte(host, 0x10);
      case Fault::SpoiledEcho:
        return device->SpoilTargetByte(target, 0x01);
      case Fault::Stall:
        return AtHostByte(op.hostByte, [this] { device->Stall(); });
      case Fault::HangUp:
        return device->HangUpAfterHostBytes(op.hostByte);
      // About eight bytes hit, either way.
      case Fault::Noise:
        return device->SetRandomCorruption(8.0 / (3.0 * static_cast<double>(op.size)), 7);
    }
  }
  int Run(const Operation& op, const Bytes& data) { return RunWriter(op.name, op.address, data); }
  Bytes Holds(const Operation& op) { return TargetHolds(op.address, op.size); }
};

TEST_P(FaultTest, FaultFailsTheOperationAndBootLoadRecovers) {
  const Operation op = std::get<0>(GetParam());
  const Fault fault = static_cast<Fault>(std::get<1>(GetParam()));
  SCOPED_TRACE(std::string(op.name) + ", " + kFaultNames[std::get<1>(GetParam())]);
  ForceStandardProtocol();
  Start(op.chip);
  Boot();
  GiveUpAfterSilence(3.0);  // longer than the chip erase of the recovery
  const Bytes data = Pattern(op.size, 62);
  Inject(fault, op);
  EXPECT_EQ(Run(op, data), 0);
  EXPECT_TRUE(talker->FaultOutcome() != Outcome::Ok || !link->Connected());
  size_t hit = 0;
  for (const auto& f : device->HostLog()) hit += f.onWire != f.byte || f.dropped;
  for (const auto& f : device->TargetLog()) hit += f.heard != f.byte;
  // A stall or a hang-up spoils no byte; every other fault did hit.
  EXPECT_GT(hit + (fault == Fault::Stall || fault == Fault::HangUp), 0u);
  EXPECT_EQ(machine().Crash(), "");

  // The user's way back: the line plugged in again, the controller reset
  // into bootstrap mode, Boot Load, and the operation again.
  device->SetRandomCorruption(0, 0);
  device->Replug();
  Boot();
  if (op.chip == FlashChip::Kind::Am29F010 && op.address != 0x0E00) {
    ASSERT_EQ(ChipErase(*talker), 1);
  }
  EXPECT_EQ(Run(op, data), 1) << OutcomeName(talker->FaultOutcome());
  EXPECT_EQ(Holds(op), data);
  EXPECT_FALSE(gaveUp);
}

INSTANTIATE_TEST_SUITE_P(Line, FaultTest,
                         ::testing::Combine(::testing::ValuesIn(kOperations), ::testing::Range(0, 6)),
                         [](const ::testing::TestParamInfo<std::tuple<Operation, int>>& info) {
                           std::string name = std::string(std::get<0>(info.param).name) + "_" +
                                              kFaultNames[std::get<1>(info.param)];
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// Reads, the identity and the erase carry no echo of their own, but a line
// that fails them still ends them in failure, never in a result.
class AnswerFaultTest : public ChipReadRig {
 protected:
  AnswerFaultTest() : ChipReadRig(63) {}
  int Read() {
    return ReadChip([this](CProgrammer& image) { return talker->ReadTargetBlock(0x8000, image, 1023); });
  }
};

TEST_F(AnswerFaultTest, ReadStalledOrHungUp) {
  AtHostByte(100, [this] { device->Stall(); });
  EXPECT_EQ(Read(), 0);
  EXPECT_TRUE(gaveUp);
  Boot();
  device->HangUpAfterHostBytes(100);
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::LinkLost);
  device->Replug();
  Boot();
  EXPECT_EQ(Read(), 1);
}

TEST_F(AnswerFaultTest, IdentitySpoiledOrStalled) {
  device->SpoilTargetByte(1, 0x40);  // the 0x37
  EXPECT_EQ(GetFlashId(*talker), 0u);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::CommandRejected);
  Boot();
  AtHostByte(1, [this] { device->Stall(); });
  EXPECT_EQ(GetFlashId(*talker), 0u);
  EXPECT_TRUE(gaveUp);
  Boot();
  EXPECT_EQ(GetFlashId(*talker), 0x0120u);
}

TEST_F(AnswerFaultTest, EraseAnswerSpoiledOrLineGone) {
  device->SpoilTargetByte(2, 0x01);  // the 0xFF that says erased
  EXPECT_EQ(ChipErase(*talker), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::ChipFailed);
  Boot();
  device->HangUpAfterHostBytes(1);  // the go-ahead never leaves
  EXPECT_EQ(ChipErase(*talker), 0);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::LinkLost);
  device->Replug();
  Boot();
  EXPECT_EQ(ChipErase(*talker), 1);
}

}  // namespace
