// The talker image, its download at both boot ROM rates, what it sets up
// before its first answer, and the command loop's handling of bytes that
// are no command.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "TalkerRig.h"
#include "board.h"
#include "talker_symbols.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"

namespace {

namespace fs = std::filesystem;
using hc11::Machine;

std::string TalkerS19() { return std::string(KESTON_TALKER_DIR) + "/talker.s19"; }

Bytes ReadBinary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The talker followed by filler up to the whole RAM: the boot ROM starts
// such a loader the moment its last byte is stored, with the echo of that
// byte still in the transmitter.
Bytes FullRamLoader() {
  Bytes loader = TalkerImage(TalkerS19());
  loader.resize(1024, 0xFF);
  return loader;
}

class BootTest : public TalkerRig {
 protected:
  std::string WriteLoader(const Bytes& image) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("keston-talker-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "full.s19") << SRecords(image);
    return dir.string();
  }
  // Runs line time until the CPU sits at its breakpoint.
  bool RunToBreakpoint(double limitSeconds) {
    for (double t = 0; t < limitSeconds && !machine().AtBreakpoint(); t += 0.001) device->Run(0.001);
    return machine().AtBreakpoint();
  }
  bool TransmitterQuiet() { return machine().Peek(talker_board::REGS + 0x2E) & hc11::Sci::TC; }
};

TEST_F(BootTest, ImageFitsTheDownloadAndItsPartOfTheRam) {
  const Bytes image = TalkerImage(TalkerS19());
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(image, ReadBinary(std::string(KESTON_TALKER_DIR) + "/talker.bin"));
  EXPECT_EQ(image.size(), talker_symbols::SIZE);
  EXPECT_LE(image.size(), 1024u);
  // The resident code below the buffers; the start-up code, run once, in
  // the page buffer, which the download ends in.
  EXPECT_LE(talker_symbols::RESIDENT, talker_board::CODE_LIMIT);
  EXPECT_LE(talker_board::CODE_LIMIT, talker_board::PAGE_BUF);
  EXPECT_EQ(talker_symbols::start, talker_board::PAGE_BUF);
  EXPECT_GT(image.size(), talker_board::PAGE_BUF);
  EXPECT_LE(image.size(), talker_board::PAGE_BUF + 128);
  // The host sends at least 255 bytes; a shorter talker would be padded
  // with whatever the image holds.
  EXPECT_GE(image.size(), 255u);
}

TEST_F(BootTest, DownloadAt1200ThenTheNormalRateAndExpandedMode) {
  Board board;
  board.bootBaud = 1200;
  Start(board);
  const Bytes image = TalkerImage(TalkerS19());
  OpResult result;
  ASSERT_EQ(BootLoad(*talker, true, &result), 1);
  EXPECT_TRUE(result.Ok()) << result.detail;

  // The boot ROM echoed the talker byte for byte; then the first contact
  // read HPRIO: 01 01 10 3C and an acknowledgement, answered FE and the value.
  const Bytes sent = device->TargetBytes();
  ASSERT_EQ(sent.size(), image.size() + 2);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), sent.begin()));
  EXPECT_EQ(sent[image.size()], 0xFE);
  EXPECT_EQ(sent[image.size() + 1], talker_board::HPRIO_VALUE);
  const Bytes host = device->HostBytes();
  ASSERT_EQ(host.size(), 1 + image.size() + 5);
  EXPECT_EQ(Bytes(host.end() - 5, host.end() - 1), (Bytes{0x01, 0x01, 0x10, 0x3C}));

  EXPECT_EQ(machine().GetSci().ReadBaud(), talker_board::BAUD_VALUE);
  EXPECT_NEAR(machine().SciBaud(), 9600, 9600 * 0.025);
  EXPECT_EQ(machine().Mode(), hc11::McuMode::SpecialTest);
  EXPECT_EQ(Reg(Machine::HPRIO) & Machine::HPRIO_RBOOT, 0) << "the boot ROM still hides 0xBF00-0xBFFF";
  EXPECT_EQ(Reg(0x5C), talker_board::CSSTRH_VALUE);
  EXPECT_EQ(Reg(0x5D), talker_board::CSCTL_VALUE);
  // Every host byte reached the SCI as sent, at both rates.
  for (const auto& r : device->SciReceived()) {
    if (r.tag <= 0) continue;  // the sync byte is sent at a rate the ROM is not listening at yet
    EXPECT_EQ(r.value, device->HostLog()[r.tag].byte) << "host byte " << r.tag;
    EXPECT_FALSE(r.framingError);
  }
  // With the boot ROM out of the map, 0xBF00-0xBFFF is the chip's.
  flash()[0xBF80] = 0x3C;
  uint8_t value = 0;
  ASSERT_EQ(talker->ReadTargetByte(0xBF80, value), 1);
  EXPECT_EQ(value, 0x3C);
}

TEST_F(BootTest, WaitsForTheLastBootEchoBeforeChangingRate) {
  Start();
  const Bytes loader = FullRamLoader();
  ASSERT_TRUE(device->Open(CCpuDevice::kDefaultName));
  CommState state;
  state.baudRate = 1200;
  ASSERT_TRUE(device->SetCommState(state));
  Bytes download(loader.size() + 1, 0xFF);
  std::copy(loader.begin(), loader.end(), download.begin() + 1);
  int error = 0;
  ASSERT_EQ(device->Write(download.data(), static_cast<unsigned>(download.size()), error), download.size());

  // The boot ROM starts the loader as soon as the RAM is full: the last echo
  // is still on its way out.
  machine().SetBreakpoint(0x0000);
  ASSERT_TRUE(RunToBreakpoint(20));
  const uint64_t lastFrameEnd = device->HostLog().back().start + 10 * 1664;  // E/16/13/8: 1664 cycles a bit
  EXPECT_LT(device->Cycle(), lastFrameEnd + 1664) << "the loader did not start at once";
  EXPECT_FALSE(TransmitterQuiet());
  EXPECT_LT(device->TargetLog().size(), loader.size());

  // By the time the talker touches BAUD, every echo has left whole.
  machine().SetBreakpoint(static_cast<int>(talker_symbols::rate_switch));
  machine().Continue();
  ASSERT_TRUE(RunToBreakpoint(1));
  EXPECT_TRUE(TransmitterQuiet());
  EXPECT_EQ(device->TargetBytes(), loader);
  EXPECT_EQ(machine().SciBaud(), 1202);  // still the download's rate
  machine().SetBreakpoint(-1);
  machine().Continue();
}

TEST_F(BootTest, LoaderFillingTheWholeRamRunsAfterTheHostsDownload) {
  Board board;
  board.bootBaud = 1200;
  Start(board);
  const Bytes loader = FullRamLoader();
  UseLoader(WriteLoader(loader), "full.s19");
  OpResult result;
  ASSERT_EQ(BootLoad(*talker, true, &result), 1);
  ASSERT_TRUE(result.Ok()) << result.detail;
  const Bytes sent = device->TargetBytes();
  ASSERT_EQ(sent.size(), loader.size() + 2);
  EXPECT_TRUE(std::equal(loader.begin(), loader.end(), sent.begin()));
  flash()[0x8000] = 0xA5;
  uint8_t value = 0;
  ASSERT_EQ(talker->ReadTargetByte(0x8000, value), 1);
  EXPECT_EQ(value, 0xA5);
}

TEST_F(BootTest, SpeaksOnlyWhenSpokenTo) {
  Start();
  Boot();
  ExpectSilence(5.0);
  uint8_t value = 0;
  ASSERT_EQ(talker->ReadTargetByte(0x1000 + Machine::BAUD, value), 1);
  EXPECT_EQ(value, talker_board::BAUD_VALUE);
  ExpectSilence(5.0);
}

// Every byte that is no command is answered with its complement and then
// forgotten: the next byte is a command again.
TEST_F(BootTest, BytesThatAreNoCommandGetTheirComplementOnly) {
  Start();
  Boot();
  // The standard set, the extended block read and write and the rate switch.
  const std::set<uint8_t> commands{0x01, 0x41, 0x31, 0x71, 0x51, 0xC8, 0xD1, 0x23, 0x24, 0x25};
  for (unsigned b = 0; b < 256; ++b) {
    if (commands.count(static_cast<uint8_t>(b))) continue;
    SCOPED_TRACE(b);
    device->ClearTrace();
    ASSERT_EQ(talker->SendByte(static_cast<uint8_t>(b)), 1);
    uint8_t reply = 0;
    ASSERT_EQ(talker->ReceiveByteChecked(reply), 1);
    EXPECT_EQ(reply, static_cast<uint8_t>(~b));
    ExpectSilence(0.01);
  }
  EXPECT_EQ(machine().Crash(), "");
  uint8_t value = 0;
  ASSERT_EQ(talker->ReadTargetByte(0x1000 + Machine::HPRIO, value), 1);
  EXPECT_EQ(value, talker_board::HPRIO_VALUE);
}

}  // namespace
