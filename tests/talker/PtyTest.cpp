// The talker over a real pseudo-terminal: the host's serial device and
// receive thread, the virtual controller running the emulated CPU
// (SimOptions::cpu), 1200 baud for the download and 9600 after it.
#include "TalkerRig.h"
#include "board.h"
#include "sim/VirtualController.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"

namespace {

struct PtyCase {
  const char* name;
  bool paced;
  SimChip chip;
  unsigned size;  // bytes written to the flash and read back
};

class PtyTest : public ::testing::TestWithParam<PtyCase> {
 protected:
  void SetUp() override {
    shell.Install();
    g_settings = &store;
  }
  void TearDown() override {
    talker.reset();
    link.reset();
    if (vc) vc->Stop();
    g_settings = nullptr;
  }

  MemoryStore store;
  ScriptedShell shell;
  std::unique_ptr<VirtualController> vc;
  std::unique_ptr<CLink> link;
  std::unique_ptr<CTalker> talker;
};

TEST_P(PtyTest, BootLoadThenEveryKindOfTransfer) {
  const PtyCase& c = GetParam();
  SimOptions options;
  options.cpu = true;
  options.pace = c.paced;
  options.chip = c.chip;
  options.bootstrapBaud = 1200;
  options.normalBaud = 9600;
  options.eraseTimeMs = 300;
  vc = std::make_unique<VirtualController>(options);
  ASSERT_TRUE(vc->Start());
  store.WriteProfileString("Comm", "Device 1", vc->SlavePath());
  store.WriteProfileInt("Comm", "BSB", 1200);
  store.WriteProfileInt("Comm", "Normal Baud", 9600);
  store.WriteProfileString("file", "BOOT PATH", std::string(KESTON_TALKER_DIR) + "/");
  store.WriteProfileString("file", "BOOT NAME", "talker.s19");
  ForgetBootFileChoice();
  link = std::make_unique<CLink>();
  link->ReadSettings();
  talker = std::make_unique<CTalker>(*link);

  OpResult boot;
  ASSERT_EQ(BootLoad(*talker, true, &boot), 1);
  ASSERT_TRUE(boot.Ok()) << OutcomeName(boot.outcome) << ": " << boot.detail;
  EXPECT_EQ(vc->Mode(), SimMode::Talker);
  EXPECT_EQ(vc->LoaderBytes(), TalkerImage(std::string(KESTON_TALKER_DIR) + "/talker.s19"));

  const bool block = c.chip == SimChip::Block;
  EXPECT_EQ(GetFlashId(*talker), block ? 0xBF07u : 0x0120u);
  const Bytes program = Pattern(c.size, 81);
  CProgrammer image;
  for (unsigned i = 0; i < c.size; ++i) image.SetImageByte(0xC000 + i, program[i]);
  if (block) {
    ASSERT_EQ(WriteFlashBlocks(*talker, 0xC000, image, c.size - 1, true), 1);
  } else {
    ASSERT_EQ(ChipErase(*talker), 1);
    ASSERT_EQ(WriteFlash(*talker, 0xC000, image, c.size - 1, true), 1);
  }
  const Bytes flash = vc->Flash();
  EXPECT_TRUE(std::equal(program.begin(), program.end(), flash.begin() + 0xC000));
  CProgrammer back;
  ASSERT_EQ(talker->ReadTargetBlock(0xC000, back, c.size - 1), 1);
  for (unsigned i = 0; i < c.size; ++i) ASSERT_EQ(back.GetImageByte(0xC000 + i), program[i]) << i;

  CProgrammer cells;
  for (unsigned i = 0; i < 4; ++i) cells.SetImageByte(0x0E00 + i, static_cast<uint8_t>(0xA5 ^ i));
  ASSERT_EQ(WriteEepromBlock(*talker, 0x0E00, cells, 3), 1);
  const Bytes eeprom = vc->Eeprom();
  for (unsigned i = 0; i < 4; ++i) EXPECT_EQ(eeprom[i], 0xA5 ^ i);
  EXPECT_EQ(vc->CpuStatus().find("too-short EEPROM pulses 0") != std::string::npos, true) << vc->CpuStatus();
  EXPECT_EQ(vc->Mode(), SimMode::Talker);
}

INSTANTIATE_TEST_SUITE_P(Line, PtyTest,
                         ::testing::Values(PtyCase{"paced", true, SimChip::EraseFirst, 256},
                                           PtyCase{"unpaced", false, SimChip::EraseFirst, 2048},
                                           PtyCase{"unpaced_block", false, SimChip::Block, 2048}),
                         [](const ::testing::TestParamInfo<PtyCase>& info) { return info.param.name; });

}  // namespace
