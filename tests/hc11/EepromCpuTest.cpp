// A loader that erases and programs an EEPROM byte, downloaded and run on
// the emulated CPU: with a 10 ms pulse it works, with 1 ms the cell is left
// alone and the controller says why.
#include "Harness.h"
#include "SimFixture.h"

namespace {

constexpr int kFast = 7812;

std::vector<uint8_t> EepromLoader(unsigned delayCount) {
  Hc11Program p = LoadProgram("eeprom");
  EXPECT_TRUE(p.ok);
  auto bytes = p.Bytes();
  // DELAY sits right after the two-byte branch at the start.
  bytes[2] = static_cast<uint8_t>(delayCount >> 8);
  bytes[3] = static_cast<uint8_t>(delayCount);
  return bytes;
}

class CpuEepromTest : public SimTest {
 protected:
  uint8_t RunLoader(unsigned delayCount) {
    SimOptions o;
    o.cpu = true;
    StartSim(o);
    vc->SetEeprom(std::vector<uint8_t>(512, 0x00));
    EXPECT_TRUE(line.SetBaud(kFast));
    auto loader = EepromLoader(delayCount);
    std::vector<uint8_t> wire(loader.size() + 1, 0xFF);
    std::copy(loader.begin(), loader.end(), wire.begin() + 1);
    EXPECT_TRUE(line.Send(wire));
    EXPECT_EQ(line.Receive(loader.size()), loader);
    auto cell = line.Receive(1, 10000);
    return cell.empty() ? 0xEE : cell[0];
  }
};

TEST_F(CpuEepromTest, TenMillisecondPulsesEraseAndProgram) {
  EXPECT_EQ(RunLoader(2858), 0x5A);  // 2858 turns of 7 cycles: 10 ms
  EXPECT_EQ(vc->Eeprom()[0x10], 0x5A);
  EXPECT_EQ(vc->Eeprom()[0x11], 0x00);  // a byte erase touches one byte
  EXPECT_NE(vc->CpuStatus().find("too-short EEPROM pulses 0"), std::string::npos) << vc->CpuStatus();
}

TEST_F(CpuEepromTest, AOneMillisecondPulseIsCaught) {
  RunLoader(286);                       // 1 ms
  EXPECT_EQ(vc->Eeprom()[0x10], 0x00);  // neither erased nor programmed
  EXPECT_NE(vc->CpuStatus().find("too-short EEPROM pulses 2"), std::string::npos) << vc->CpuStatus();
  bool reported = false;
  for (const auto& m : vc->TakeCpuMessages())
    if (m.find("EEPROM") != std::string::npos && m.find("shorter") == std::string::npos &&
        m.find("at least 10 ms") != std::string::npos)
      reported = true;
  EXPECT_TRUE(reported);
}

}  // namespace
