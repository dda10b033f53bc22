// The emulated controller over a real pseudo-terminal: the boot ROM's
// download at both rates, a downloaded program talking back, the SCI's
// overrun and what it makes of bytes sent at the wrong rate.
#include <algorithm>
#include <chrono>
#include <thread>

#include "Harness.h"
#include "SimFixture.h"
#include "sim/hc11/Hc11Target.h"

namespace {

// Boot ROM rates at an 8 MHz crystal (E = 2 MHz): E/16/16 and E/16/13/8.
constexpr int kFast = 7812;
constexpr int kSlow = 1200;

SimOptions CpuOptions() {
  SimOptions o;
  o.cpu = true;
  o.bootstrapBaud = kSlow;
  o.normalBaud = kFast;
  o.eraseTimeMs = 100;
  return o;
}

std::vector<uint8_t> Loader(const std::string& name) {
  Hc11Program p = LoadProgram(name);
  EXPECT_TRUE(p.ok) << name;
  EXPECT_EQ(p.low, 0u) << name;
  return p.Bytes();
}

class CpuLineTest : public SimTest {
 protected:
  double MachineSeconds() {
    std::string regs = vc->CpuRegisters();
    auto at = regs.find("cycles ");
    return at == std::string::npos ? -1 : std::strtod(regs.c_str() + at + 7, nullptr) / 2e6;
  }
  // Sends the sync byte and the loader at `baud` and checks the echoes.
  void Download(const std::vector<uint8_t>& loader, int baud, uint8_t sync = 0xFF) {
    ASSERT_TRUE(line.SetBaud(baud));
    std::vector<uint8_t> wire{sync};
    wire.insert(wire.end(), loader.begin(), loader.end());
    ASSERT_TRUE(line.Send(wire));
    ASSERT_EQ(line.Receive(loader.size(), 20000), loader);
    ASSERT_TRUE(vc->WaitForMode(SimMode::Talker, 10000));
    EXPECT_EQ(vc->LoaderBytes(), loader);
    // Nothing but the echoes: the sync byte is not echoed.
    EXPECT_TRUE(line.Drain(30).empty());
  }
};

TEST_F(CpuLineTest, DownloadAtTheSlowRateThenTheProgramAnswers) {
  StartSim(CpuOptions());
  EXPECT_EQ(vc->Mode(), SimMode::Bootstrap);
  EXPECT_EQ(vc->ListeningBaud(), 7813);  // the ROM listens at E/16/16 (7812.5) first
  auto loader = Loader("echo");
  Download(loader, kSlow);
  EXPECT_EQ(vc->ListeningBaud(), 1202);  // 0xFF at 1200 baud moved it to E/16/13/8
  for (size_t i = 0; i < loader.size(); ++i) ASSERT_EQ(vc->Read(static_cast<unsigned>(i)), loader[i]);
  ASSERT_TRUE(line.Send({0x10, 0x41, 0xFE}));
  EXPECT_EQ(line.Receive(3), (std::vector<uint8_t>{0x11, 0x42, 0xFF}));
  // The machine's own trace: the sync byte was seen as 0xC0 or 0xE0 at the
  // ROM's first rate, everything after it as sent.
  bool first = true;
  for (const auto& e : vc->Trace()) {
    if (!e.fromHost) continue;
    if (first) {
      EXPECT_TRUE(e.garbled);
      EXPECT_TRUE(e.received == 0xC0 || e.received == 0xE0) << int(e.received);
      first = false;
      continue;
    }
    EXPECT_FALSE(e.garbled) << int(e.byte);
  }
}

TEST_F(CpuLineTest, DownloadAtTheFastRateKeepsIt) {
  StartSim(CpuOptions());
  auto loader = Loader("echo");
  Download(loader, kFast);
  EXPECT_EQ(vc->ListeningBaud(), 7813);
  std::vector<uint8_t> burst(64);
  std::vector<uint8_t> expected(64);
  for (int i = 0; i < 64; ++i) {
    burst[i] = static_cast<uint8_t>(i * 5);
    expected[i] = static_cast<uint8_t>(i * 5 + 1);
  }
  // The program answers each byte within a character time: no overrun.
  ASSERT_TRUE(line.Send(burst));
  EXPECT_EQ(line.Receive(64), expected);
}

TEST_F(CpuLineTest, PacedTheMachineKeepsToTheHostsClock) {
  SimOptions o = CpuOptions();
  o.pace = true;
  auto started = std::chrono::steady_clock::now();
  StartSim(o);
  auto loader = Loader("echo");
  Download(loader, kFast);
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // The sync byte, the loader and the boot ROM's four idle characters, each
  // ten bits at 7812.5 baud, went by on the host's clock too.
  EXPECT_GE(elapsed, (loader.size() + 1 + 4) * 10 / 7812.5);
  // And the machine never ran ahead of it.
  EXPECT_LE(MachineSeconds(), elapsed + 0.01);
  ASSERT_TRUE(line.Send(0x01));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x02});
}

TEST_F(CpuLineTest, TheCrystalSetsTheBootRomsRates) {
  SimOptions o = CpuOptions();
  o.crystalHz = 4e6;  // E = 1 MHz: E/16/16 is 3906 baud
  StartSim(o);
  EXPECT_EQ(vc->ListeningBaud(), 3906);
  auto loader = Loader("echo");
  Download(loader, 3906);
  ASSERT_TRUE(line.Send(0x7F));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x80});
}

TEST_F(CpuLineTest, AFullRamDownloadStartsAtOnceAndTheRestGoesToTheLoader) {
  StartSim(CpuOptions());
  auto loader = Loader("echo");
  loader.resize(1024, 0x01);  // padded with NOPs to fill the RAM
  ASSERT_TRUE(line.SetBaud(kFast));
  std::vector<uint8_t> wire(loader.size() + 1, 0xFF);
  std::copy(loader.begin(), loader.end(), wire.begin() + 1);
  wire.push_back(0x20);  // after the RAM is full: the loader's first byte
  ASSERT_TRUE(line.Send(wire));
  EXPECT_EQ(line.Receive(1025, 20000).back(), 0x21);
  EXPECT_EQ(vc->LoaderBytes().size(), 1024u);
}

TEST_F(CpuLineTest, ThreeBytesFasterThanTheProgramReadsAreAnOverrun) {
  StartSim(CpuOptions());
  Download(Loader("overrun"), kFast);
  ASSERT_TRUE(line.Send({0x31, 0x32, 0x33}));
  auto report = line.Receive(2);
  ASSERT_EQ(report.size(), 2u);
  EXPECT_EQ(report[0] & 0x28, 0x28) << std::hex << int(report[0]);  // RDRF and OR
  EXPECT_EQ(report[1], 0x31);  // the first byte kept; the later ones lost
  EXPECT_TRUE(line.Drain(50).empty());
  // With the register read, the receiver works again.
  ASSERT_TRUE(line.Send(0x34));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x34});
}

TEST_F(CpuLineTest, BytesAtAnotherRateArriveAsTheSciSamplesThem) {
  StartSim(CpuOptions());
  Download(Loader("status"), kFast);
  // 0xFF at 1200 baud: the start bit spans six bit times at 7812 baud.
  ASSERT_TRUE(line.SetBaud(kSlow));
  ASSERT_TRUE(line.Send(0xFF));
  auto got = line.Receive(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[1] == 0xC0 || got[1] == 0xE0) << std::hex << int(got[1]);
  EXPECT_EQ(got[0] & 0x02, 0);  // the stop bit was high: no framing error
  // 0x00 at 1200 baud is low for longer than a whole character: a break,
  // read as zero with a framing error.
  ASSERT_TRUE(line.Send(0x00));
  got = line.Receive(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], 0x00);
  EXPECT_EQ(got[0] & 0x02, 0x02);
  // Within a UART's tolerance the byte is read right.
  ASSERT_TRUE(line.SetBaud(kFast + 100));
  ASSERT_TRUE(line.Send(0x5A));
  got = line.Receive(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], 0x5A);
  EXPECT_EQ(got[0] & 0x06, 0);  // no noise, no framing error
  auto trace = vc->Trace();
  ASSERT_GE(trace.size(), 3u);
  int garbled = 0;
  for (const auto& e : trace)
    if (e.fromHost && e.garbled) ++garbled;
  EXPECT_EQ(garbled, 2);
}

TEST_F(CpuLineTest, ABreakInsteadOfTheSyncByteRunsTheEeprom) {
  StartSim(CpuOptions());
  // EEPROM at 0x0E00 (CONFIG 0x0F): send 0x42 and stay.
  const std::vector<uint8_t> program{0xCE, 0x10, 0x00,        // ldx #0x1000
                                     0x1F, 0x2E, 0x80, 0xFC,  // brclr SCSR,x #0x80 *
                                     0x86, 0x42,              // ldaa #0x42
                                     0xA7, 0x2F,              // staa SCDR,x
                                     0x20, 0xFE};             // bra *
  auto cells = vc->Eeprom();
  std::copy(program.begin(), program.end(), cells.begin());
  vc->SetEeprom(cells);
  ASSERT_TRUE(line.SetBaud(300));
  ASSERT_TRUE(line.Send(0x00));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x42});
  EXPECT_EQ(vc->Mode(), SimMode::Talker);
  EXPECT_TRUE(vc->LoaderBytes().empty());
}

TEST_F(CpuLineTest, AStrayLoaderIsReportedAndNeverHangsTheController) {
  StartSim(CpuOptions());
  // Jumps into 0x4000: nothing answers there in bootstrap (single-chip) mode.
  ASSERT_TRUE(line.SetBaud(kFast));
  ASSERT_TRUE(line.Send({0xFF, 0x7E, 0x40, 0x00}));
  EXPECT_EQ(line.Receive(3), (std::vector<uint8_t>{0x7E, 0x40, 0x00}));
  ASSERT_TRUE(vc->WaitForMode(SimMode::Crashed, 5000));
  EXPECT_NE(vc->CpuStatus().find("0x4000"), std::string::npos) << vc->CpuStatus();
  auto messages = vc->TakeCpuMessages();
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages[0].find("crash"), std::string::npos);
  // A reset brings the boot ROM back.
  vc->ResetIntoBootstrap();
  EXPECT_EQ(vc->Mode(), SimMode::Bootstrap);
  Download(Loader("echo"), kFast);
  ASSERT_TRUE(line.Send(0x01));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x02});
}

TEST_F(CpuLineTest, TheControllersBackDoorAndFaultsWorkOnTheCpu) {
  StartSim(CpuOptions());
  vc->Write(0x0123, 0x77);
  EXPECT_EQ(vc->Read(0x0123), 0x77);
  vc->LoadFlash({0x01, 0x02, 0x03}, 0x8000);
  auto flash = vc->Flash();
  ASSERT_EQ(flash.size(), 0x10000u);
  EXPECT_EQ(flash[0x8001], 0x02);
  vc->SetConfig(0x0F);
  EXPECT_EQ(vc->Config(), 0x0F);
  EXPECT_EQ(vc->Read(0x103F), 0x0F);
  Download(Loader("echo"), kFast);
  // A dropped byte never reaches the SCI.
  vc->DropHostBytes(1);
  ASSERT_TRUE(line.Send({0x10, 0x20}));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x21});
  EXPECT_TRUE(line.Drain(50).empty());
  // The echo fault spoils the Nth byte the target sends; complement the next.
  vc->CorruptEcho(2);
  ASSERT_TRUE(line.Send({0x01, 0x02, 0x03}));
  EXPECT_EQ(line.Receive(3), (std::vector<uint8_t>{0x02, 0x83, 0x04}));
  vc->WrongComplementNextCommand();
  ASSERT_TRUE(line.Send(0x10));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x10});
  // A stall freezes the CPU until reset.
  vc->Stall();
  EXPECT_EQ(vc->Mode(), SimMode::Stalled);
  ASSERT_TRUE(line.Send(0x05));
  EXPECT_TRUE(line.Drain(100).empty());
  EXPECT_NE(vc->CpuRegisters().find("halted"), std::string::npos) << vc->CpuRegisters();
  vc->ResetIntoBootstrap();
  EXPECT_EQ(vc->Mode(), SimMode::Bootstrap);
  Download(Loader("echo"), kFast);
  ASSERT_TRUE(line.Send(0x30));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x31});
}

TEST_F(CpuLineTest, AnEndlessLoopIsJustABusyCpu) {
  StartSim(CpuOptions());
  // inc 0x0100 ; bra back: writes memory forever, so no idle loop is seen.
  ASSERT_TRUE(line.SetBaud(kFast));
  ASSERT_TRUE(line.Send({0xFF, 0x7C, 0x01, 0x00, 0x20, 0xFB}));
  EXPECT_EQ(line.Receive(5).size(), 5u);
  ASSERT_TRUE(vc->WaitForMode(SimMode::Talker, 5000));
  auto wallStart = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  uint8_t a = vc->Read(0x0100);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_NE(vc->Read(0x0100), a);  // still running
  // After its free run the machine keeps to the host's clock: it may lead
  // it by the free run and no more (a slow host only makes it lag).
  double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  double machineSeconds = MachineSeconds();
  EXPECT_LT(machineSeconds, wallSeconds + 0.5 + Hc11Target::kFreeRunSeconds);
  EXPECT_GT(machineSeconds, 0.0);
  // Quit works while it spins.
  vc->Stop();
}

}  // namespace

namespace {

TEST_F(CpuLineTest, AChipEraseIsWaitedOutBySkippingThePollLoop) {
  SimOptions o = CpuOptions();
  o.eraseTimeMs = 1000;
  StartSim(o);
  vc->LoadFlash(std::vector<uint8_t>(0x100, 0x00), 0x8000);
  // The loader answers as soon as the erase is over, so its answer may
  // follow the echoes at once.
  auto loader = Loader("erase");
  std::vector<uint8_t> wire(loader.size() + 1, 0xFF);
  std::copy(loader.begin(), loader.end(), wire.begin() + 1);
  ASSERT_TRUE(line.SetBaud(kFast));
  ASSERT_TRUE(line.Send(wire));
  auto got = line.Receive(loader.size() + 1, 10000);
  ASSERT_EQ(got.size(), loader.size() + 1);
  EXPECT_EQ(got.back(), 0xFF);
  EXPECT_EQ(vc->Flash()[0x8000], 0xFF);
  std::string status = vc->CpuStatus();
  EXPECT_NE(status.find("1 chip"), std::string::npos) << status;
  // The second of DQ7 polling was skipped, not executed turn by turn.
  auto at = status.find("idle loops: ");
  ASSERT_NE(at, std::string::npos);
  unsigned long long skipped = 0;
  ASSERT_EQ(std::sscanf(status.c_str() + at, "idle loops: %*u skips, %llu cycles skipped", &skipped), 1)
      << status;
  EXPECT_GT(skipped, 1'800'000u);
}

}  // namespace
