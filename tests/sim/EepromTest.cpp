// The EEPROM and CONFIG as the host drives them: PPROG sequences through
// plain memory writes, block protection, bulk erase, the page mapping, and
// the talker's own EEPROM write.
#include <chrono>
#include <thread>

#include "SimFixture.h"

namespace {
constexpr unsigned PPROG = 0x103B;
constexpr unsigned BPROT = 0x1035;
constexpr unsigned CONFIG = 0x103F;
}  // namespace

class EepromTest : public SimTest {
 protected:
  void SetUp() override {
    StartSim();
    BootTalker();
  }
  void Pprog(uint8_t value) { WriteBytes(PPROG, {value}); }
  void Pulse(uint8_t latch, unsigned address, uint8_t data) {
    Pprog(latch);
    WriteBytes(address, {data});
    Pprog(latch | 0x01);
    std::this_thread::sleep_for(std::chrono::milliseconds(12));
    Pprog(0x00);
  }
  void EraseByte(unsigned address) { Pulse(0x16, address, 0xFF); }
  void ProgramByte(unsigned address, uint8_t value) { Pulse(0x02, address, value); }
};

TEST_F(EepromTest, ByteEraseAndProgramFollowTheCellPhysics) {
  EXPECT_EQ(vc->Read(BPROT), 0x1F);
  vc->SetEeprom(std::vector<uint8_t>(512, 0x00));
  WriteBytes(BPROT, {0x00});

  EraseByte(0x0E10);
  EXPECT_EQ(vc->Eeprom()[0x10], 0xFF);
  ProgramByte(0x0E10, 0x5A);
  EXPECT_EQ(ReadByte(0x0E10), 0x5A);
  // Without an erase, programming can only clear bits.
  ProgramByte(0x0E10, 0xA5);
  EXPECT_EQ(vc->Eeprom()[0x10], 0x00);
  // A plain write to a cell is ignored.
  WriteBytes(0x0E11, {0x77});
  EXPECT_EQ(vc->Eeprom()[0x11], 0x00);

  // CONFIG is a cell like the others.
  EraseByte(CONFIG);
  EXPECT_EQ(vc->Config(), 0xFF);
  ProgramByte(CONFIG, 0x0F);
  EXPECT_EQ(vc->Config(), 0x0F);
}

TEST_F(EepromTest, ShortPulsesAndProtectedBlocksChangeNothing) {
  vc->SetEeprom(std::vector<uint8_t>(512, 0x00));
  WriteBytes(BPROT, {0x00});
  // EPGM on and off again within one burst from the host: far below 10 ms.
  Pprog(0x16);
  WriteBytes(0x0E20, {0xFF});
  std::vector<uint8_t> burst{0x41, 0x01, 0x10, 0x3B, 0x17, 0x41, 0x01, 0x10, 0x3B, 0x00};
  ASSERT_TRUE(line.Send(burst));
  EXPECT_EQ(line.Receive(4), (std::vector<uint8_t>{0xBE, 0x17, 0xBE, 0x00}));
  EXPECT_EQ(vc->Eeprom()[0x20], 0x00);
  // EPGM without the latch set up first does nothing either.
  Pprog(0x01);
  std::this_thread::sleep_for(std::chrono::milliseconds(12));
  Pprog(0x00);
  EXPECT_EQ(vc->Eeprom()[0x20], 0x00);

  // Protection per block: block 1 (0x0E20..0x0E5F) and CONFIG protected.
  WriteBytes(BPROT, {0x12});
  EraseByte(0x0E20);
  EraseByte(0x0E00);
  EraseByte(CONFIG);
  EXPECT_EQ(vc->Eeprom()[0x20], 0x00);
  EXPECT_EQ(vc->Eeprom()[0x00], 0xFF);
  EXPECT_EQ(vc->Config(), 0x0F);
}

TEST_F(EepromTest, BulkEraseClearsTheArrayAndConfig) {
  vc->SetEeprom(std::vector<uint8_t>(512, 0x12));
  // Protected: nothing happens.
  Pulse(0x06, CONFIG, 0xFF);
  EXPECT_EQ(vc->Eeprom()[0], 0x12);
  EXPECT_EQ(vc->Config(), 0x0F);
  WriteBytes(BPROT, {0x00});
  Pulse(0x06, CONFIG, 0xFF);
  EXPECT_EQ(vc->Eeprom(), std::vector<uint8_t>(512, 0xFF));
  EXPECT_EQ(vc->Config(), 0xFF);
}

TEST_F(EepromTest, ConfigWritesMapTheEepromAtOnce) {
  std::vector<uint8_t> cells(512);
  for (unsigned i = 0; i < 512; ++i) cells[i] = static_cast<uint8_t>(i ^ 0x5C);
  vc->SetEeprom(cells);
  vc->LoadFlash(std::vector<uint8_t>(0x200, 0x99), 0xBE00);
  WriteBytes(CONFIG, {0xB1});
  EXPECT_EQ(vc->Config(), 0xB1);
  EXPECT_EQ(ReadByte(0xBE05), cells[5]);
  EXPECT_EQ(ReadByte(0xBFFF), cells[511]);
  EXPECT_EQ(ReadByte(0x0E05), 0xFF);  // the old window shows the flash again
  WriteBytes(CONFIG, {0xB0});         // EEON clear: the flash shows through
  EXPECT_EQ(ReadByte(0xBE05), 0x99);
}

TEST_F(EepromTest, TalkerEepromWriteProgramsEachByteAndEchoesTheCell) {
  line.Close();
  SimOptions o = FastOptions();
  o.eepromWriteMs = 30;
  StartSim(o);
  BootTalker();
  vc->SetEeprom(std::vector<uint8_t>(512, 0x00));
  WriteBytes(BPROT, {0x00});
  auto start = std::chrono::steady_clock::now();
  WriteBytes(0x0E40, {0x81, 0xFF, 0x3C}, 0x31);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(85));
  EXPECT_EQ(vc->Eeprom()[0x40], 0x81);
  EXPECT_EQ(vc->Eeprom()[0x41], 0xFF);
  EXPECT_EQ(vc->Eeprom()[0x42], 0x3C);

  // A protected cell keeps its content, and the echo says so.
  WriteBytes(BPROT, {0x01});
  Header(0x31, 1, 0x0E00);
  ASSERT_TRUE(line.Send(0x55));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x00});
}
