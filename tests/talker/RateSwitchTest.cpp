// The rate switch: after the download our talker and the host's port move
// to the fast rate the user set (E/16 = 125000 baud at an 8 MHz crystal),
// everything moves data there, and any failure on the way leaves both sides
// at the normal rate again.
#include <fstream>

#include "TalkerRig.h"
#include "board.h"
#include "operations/Checks.h"
#include "target/BootLoad.h"
#include "target/Stream.h"

namespace {

using hc11::Machine;

class RateSwitchTest : public TalkerRig {
 protected:
  void StartFast(int fastBaud, std::function<int(int)> adapter = {}) {
    Board board;
    board.adapterRate = std::move(adapter);
    Start(board);
    store.WriteProfileInt("Comm", "Fast Baud", fastBaud);
  }
  // The talker answers a standard read at the port's present rate.
  void ExpectTalkerAnswers() {
    uint8_t hprio = 0;
    talker->ClearFault();
    ASSERT_EQ(talker->ReadTargetByte(0x1000 + Machine::HPRIO, hprio), 1);
    EXPECT_EQ(hprio, talker_board::HPRIO_VALUE);
  }
  void ExpectBothAtNormalRate() {
    EXPECT_EQ(link->OpenRate(), 9600);
    EXPECT_EQ(machine().SciBaud(), static_cast<int>(talker_board::SCI_RATE));
    ExpectTalkerAnswers();
    EXPECT_EQ(machine().Crash(), "");
  }
  // What the host sent after the download itself (start byte and loader).
  Bytes HostBytesAfterDownload(size_t loaderBytes) {
    const Bytes host = device->HostBytes();
    return host.size() > loaderBytes + 1 ? Bytes(host.begin() + loaderBytes + 1, host.end()) : Bytes();
  }
};

TEST(RateSwitch, BaudValueComesFromTheNormalSetting) {
  // 9600 from BAUD 0x30 (E/16/13) says E/16 is about 124800.
  EXPECT_EQ(BaudValueFor(125000, 9600, 0x30), 0x00);
  EXPECT_EQ(BaudValueFor(62500, 9600, 0x30), 0x01);
  EXPECT_EQ(BaudValueFor(9600, 9600, 0x30), 0x30);
  // E = 4 MHz: 9600 is E/16/13/2, and 125000 is E/32.
  EXPECT_EQ(BaudValueFor(125000, 9600, 0x31), 0x01);
  // Nothing within 2.5 %: 115200 and 19200 at E = 2 MHz.
  EXPECT_EQ(BaudValueFor(115200, 9600, 0x30), -1);
  EXPECT_EQ(BaudValueFor(19200, 9600, 0x30), -1);
  EXPECT_EQ(BaudValueFor(0, 9600, 0x30), -1);
  EXPECT_EQ(BaudValueFor(125000, 0, 0x30), -1);
}

TEST_F(RateSwitchTest, EveryTransferRunsAtE16AndTheTalkerGoesBack) {
  StartFast(125000);
  Boot();
  EXPECT_EQ(link->OpenRate(), 125000);
  EXPECT_EQ(machine().SciBaud(), 125000);
  EXPECT_EQ(talker->RateNote(), "at 125000 baud");
  EXPECT_EQ(ProtocolModeText(*talker), "extended protocol (checked blocks), at 125000 baud");

  // Checked writes into the flash and the RAM, checked reads, a standard write.
  const Bytes data = Pattern(700, 21);
  ASSERT_EQ(StreamWriteRange(*talker, 0x8010, static_cast<unsigned>(data.size() - 1), xproto::BlockKind::Am29F010,
                             [&](unsigned a) { return data[a - 0x8010]; }),
            1);
  EXPECT_EQ(Bytes(flash().begin() + 0x8010, flash().begin() + 0x8010 + data.size()), data);
  CProgrammer image;
  ASSERT_EQ(ReadRange(*talker, 0x8010, image, static_cast<unsigned>(data.size() - 1)), 1);
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(image.GetImageByte(0x8010 + i), data[i]) << i;
  const Bytes ram = Pattern(40, 22);
  ASSERT_EQ(talker->WriteTargetBlock(0x0300, ram.data(), 39), 1);
  for (unsigned i = 0; i < ram.size(); ++i) ASSERT_EQ(machine().Peek(static_cast<uint16_t>(0x0300 + i)), ram[i]);
  EXPECT_EQ(talker->FaultOutcome(), Outcome::Ok);

  ReturnToNormalRate(*talker);
  EXPECT_EQ(talker->RateNote(), "");
  ExpectBothAtNormalRate();
}

TEST_F(RateSwitchTest, AdapterThatCannotMakeTheRateLeavesBothAtTheNormalRate) {
  struct Case {
    const char* what;
    int made;
    const char* why;
  } cases[] = {
      {"a rate 8 % off garbles every byte", 115200, "no answer at 125000 baud"},
      {"the port refuses the rate", 0, "the port refused 125000 baud"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int made = c.made;
    StartFast(125000, [made](int asked) { return asked == 125000 ? made : asked; });
    Boot();
    EXPECT_EQ(talker->RateNote(), std::string("125000 baud not used: ") + c.why);
    ExpectBothAtNormalRate();
    // And the checked protocol still works there.
    CProgrammer image;
    ASSERT_EQ(ReadRange(*talker, 0x8000, image, 299), 1);
  }
}

// The talker's own way back: the host asks for the switch and then stops at
// each step; a quarter of a second later the talker listens at 9600 again.
TEST_F(RateSwitchTest, TalkerGoesBackWhenTheHostStopsHalfWay) {
  for (int stage = 0; stage < 3; ++stage) {
    SCOPED_TRACE(stage);
    StartFast(0);
    Boot();
    uint8_t reply = 0;
    ASSERT_EQ(talker->SendByte(xproto::CMD_XRATE), 1);
    ASSERT_EQ(talker->ReceiveByteChecked(reply), 1);
    EXPECT_EQ(reply, static_cast<uint8_t>(~xproto::CMD_XRATE));
    ASSERT_EQ(talker->SendByte(0x00), 1);
    ASSERT_EQ(talker->ReceiveByteChecked(reply), 1);
    EXPECT_EQ(reply, 0x00);
    device->Run(0.005);
    EXPECT_EQ(machine().SciBaud(), 125000) << "the talker listens at the new rate";
    if (stage >= 1) {
      ASSERT_TRUE(link->SetRate(125000));
      if (stage == 1) {
        // At the new rate the complement goes out and comes back, but the
        // confirmation never comes.
        ASSERT_EQ(talker->SendByte(0xFF), 1);
        ASSERT_EQ(talker->ReceiveByteChecked(reply), 1);
        EXPECT_EQ(reply, 0xFF);
      } else {
        // A wrong byte instead of the complement: the talker goes back at once.
        ASSERT_EQ(talker->SendByte(0x5A), 1);
        device->Run(0.001);
        EXPECT_EQ(machine().SciBaud(), static_cast<int>(talker_board::SCI_RATE));
      }
      ASSERT_TRUE(link->SetRate(9600));
    }
    device->Run(0.3);
    link->Queue().Clear();
    ExpectBothAtNormalRate();
  }
}

// The command spoiled on its way into one of the talker's standard writes:
// the host sends nothing more (the value would be taken for a count and the
// next bytes stored somewhere) and says the talker is out of step.
TEST_F(RateSwitchTest, CommandHeardAsAWriteStopsTheSwitch) {
  StartFast(0);
  Boot();
  // The talker's code and its page buffer (not its variables and stack).
  auto code = [this] { return Bytes(machine().Ram().begin() + 0x20, machine().Ram().begin() + 0x3F4); };
  const Bytes before = code();
  // The BAUD register's read is five bytes; the sixth is 0x25, heard as 0x31.
  device->SpoilHostByte(6, 0x14);
  std::string why;
  EXPECT_EQ(SwitchRate(*talker, 125000, why), -1);
  EXPECT_EQ(why, "the talker took the rate switch for a write");
  EXPECT_EQ(talker->FaultOutcome(), Outcome::CommandRejected);
  const Bytes host = device->HostBytes();
  ASSERT_EQ(host.size(), 6u);
  EXPECT_EQ(host.back(), xproto::CMD_XRATE);
  device->Run(0.5);
  EXPECT_EQ(code(), before);
  EXPECT_EQ(link->OpenRate(), 9600);
  EXPECT_EQ(machine().Crash(), "");
}

TEST_F(RateSwitchTest, OnlyOurTalkerWithTheExtensionHearsTheSwitch) {
  const std::string dir = ::testing::TempDir();
  Bytes image = TalkerImage(std::string(KESTON_TALKER_DIR) + "/talker.s19");
  image[xproto::kSignatureAddress] = 'X';
  std::ofstream(dir + "/foreign-rate.s19") << SRecords(image);
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "foreign talker" : "standard protocol chosen");
    StartFast(125000);
    if (way == 0)
      UseLoader(dir, "foreign-rate.s19");
    else
      ForceStandardProtocol();
    device->ResetTarget();
    OpResult result;
    ASSERT_EQ(BootLoad(*talker, true, &result), 1);
    ASSERT_TRUE(result.Ok()) << result.detail;
    // The first contact is a one-byte standard read; nothing else went out.
    const Bytes after = HostBytesAfterDownload(image.size());
    EXPECT_EQ(after, (Bytes{CMD_READ, 1, 0x10, 0x3C, after.empty() ? uint8_t(0) : after.back()}));
    EXPECT_EQ(talker->RateNote(), "");
    ExpectBothAtNormalRate();
  }
}

}  // namespace
