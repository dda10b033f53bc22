// The flash chips as a talker drives them from RAM: command sequences,
// data polling and toggle bits, timing, and what ends up in the array.
#include "Harness.h"

namespace {

using hc11::FlashChip;
using hc11::Machine;

// Loads a RAM program and runs it from 0x0000 in bootstrap mode.
void RunRamProgram(Machine& m, const std::string& name, uint64_t cycles) {
  Hc11Program p = LoadProgram(name);
  ASSERT_TRUE(p.ok) << name;
  m.Reset(hc11::McuMode::Bootstrap);
  for (unsigned a = p.low; a < p.high; ++a) m.Ram()[a] = p.image[a];
  m.GetCpu().Regs().pc = 0x0000;
  m.Run(m.Now() + cycles);
}

Machine MakeMachine(FlashChip::Kind kind, int eraseMs = 1000) {
  hc11::MachineOptions o;
  o.chip = kind;
  o.chipEraseMs = eraseMs;
  return Machine(o);
}

}  // namespace

TEST(FlashChip, Am29F010FromALoader) {
  Machine m = MakeMachine(FlashChip::Kind::Am29F010);
  auto& chip = m.Chip().Array();
  std::fill(chip.begin(), chip.end(), 0x00);
  chip[0x0000] = 0x77;
  uint64_t start = m.Now();
  RunRamProgram(m, "flash_amd", 30'000'000);
  EXPECT_EQ(m.Ram()[0x306], 0x5A) << m.RegisterText();
  EXPECT_EQ(m.Ram()[0x300], 0x01);  // manufacturer
  EXPECT_EQ(m.Ram()[0x301], 0x20);  // device
  // Erased, programmed, and the failed program left the byte as it was.
  EXPECT_EQ(chip[0x0000], 0xFF);
  EXPECT_EQ(chip[0x8001], 0xFF);  // the sector erase took it again
  EXPECT_EQ(m.Ram()[0x305], 0);   // DQ5 reported the impossible program
  const auto& stats = m.Chip().GetStats();
  EXPECT_EQ(stats.chipErases, 1u);
  EXPECT_EQ(stats.programs, 2u);
  EXPECT_EQ(stats.failedPrograms, 1u);
  EXPECT_EQ(stats.sectorErases, 1u);
  // The chip erase took its second of E cycles, which the loader's DQ7
  // poll waited out.
  unsigned polls = (m.Ram()[0x303] << 8) | m.Ram()[0x304];
  EXPECT_GT(polls, 10000u);
  EXPECT_GT(m.Now() - start, 2'000'000u);
}

TEST(FlashChip, Am29F010ProgramsOnlyClearBitsAndSectorsEraseAlone) {
  FlashChip chip(FlashChip::Kind::Am29F010, 2e6, 1000);
  uint64_t t = 0;
  auto cmd = [&](uint32_t a, uint8_t v) { chip.Write(a, v, ++t); };
  auto unlock = [&] {
    cmd(0x5555, 0xAA);
    cmd(0x2AAA, 0x55);
  };
  chip.Array()[0x4000] = 0xFC;
  chip.Array()[0x8000] = 0x0F;
  unlock();
  cmd(0x5555, 0xA0);
  cmd(0x4000, 0x3C);
  // Busy: DQ7 is the complement of bit 7 of the data, DQ6 toggles.
  uint8_t s1 = chip.Read(0x4000, t), s2 = chip.Read(0x4000, t);
  EXPECT_EQ(s1 & 0x80, 0x80);
  EXPECT_NE(s1 & 0x40, s2 & 0x40);
  chip.Advance(t + 18);  // 9 us at E = 2 MHz
  EXPECT_EQ(chip.Read(0x4000, t + 18), 0x3C);
  EXPECT_TRUE(chip.ArrayMode());
  // A 1 over a 0 cannot be programmed: DQ5 rises and stays until F0.
  unlock();
  cmd(0x5555, 0xA0);
  cmd(0x4000, 0xF0);
  chip.Advance(t += 100);
  EXPECT_EQ(chip.Read(0x4000, t) & 0xA0, 0x20);  // DQ7 still the complement of bit 7, DQ5 set
  cmd(0x4000, 0xF0);
  EXPECT_EQ(chip.Read(0x4000, t), 0x30);  // the bits that could be cleared were
  // A wrong second unlock cycle falls back to reading.
  cmd(0x5555, 0xAA);
  cmd(0x2AAB, 0x55);
  cmd(0x5555, 0xA0);
  cmd(0x4001, 0x00);
  EXPECT_EQ(chip.Array()[0x4001], 0xFF);
  // Sector erase of 0x8000-0xBFFF leaves 0x4000 alone; the 50 us window
  // first, then the erase with DQ3 set.
  t += 100;
  unlock();
  cmd(0x5555, 0x80);
  unlock();
  cmd(0x9000, 0x30);
  EXPECT_EQ(chip.Read(0x9000, t) & 0x08, 0);
  t += 200;
  EXPECT_EQ(chip.Read(0x9000, t) & 0x08, 0x08);
  chip.Advance(t + 1'000'000);
  EXPECT_EQ(chip.Array()[0x8000], 0xFF);
  EXPECT_EQ(chip.Array()[0x4000], 0x30);
  EXPECT_EQ(chip.GetStats().failedPrograms, 1u);
  // Autoselect, and F0 back to the array.
  unlock();
  cmd(0x5555, 0x90);
  EXPECT_EQ(chip.Read(0x1000, t), 0x01);
  EXPECT_EQ(chip.Read(0x1001, t), 0x20);
  EXPECT_FALSE(chip.ArrayMode());
  cmd(0x0000, 0xF0);
  EXPECT_EQ(chip.Read(0x4000, t), 0x30);
}

TEST(FlashChip, Sst29EE010PageWritesEraseWhatWasNotLoaded) {
  Machine m = MakeMachine(FlashChip::Kind::Sst29EE010);
  auto& chip = m.Chip().Array();
  for (unsigned i = 0; i < 0x100; ++i) chip[0x8000 + i] = 0xA5;
  RunRamProgram(m, "flash_sst", 2'000'000);
  EXPECT_EQ(m.Ram()[0x302], 0x5A) << m.RegisterText();
  EXPECT_EQ(m.Ram()[0x300], 0xBF);
  EXPECT_EQ(m.Ram()[0x301], 0x07);
  // Without a merge the half that was not loaded is erased.
  for (unsigned i = 0; i < 64; ++i) ASSERT_EQ(chip[0x8000 + i], i) << i;
  for (unsigned i = 64; i < 128; ++i) ASSERT_EQ(chip[0x8000 + i], 0xFF) << i;
  // With it, the old half is written back.
  for (unsigned i = 0; i < 64; ++i) ASSERT_EQ(chip[0x8080 + i], i) << i;
  for (unsigned i = 64; i < 128; ++i) ASSERT_EQ(chip[0x8080 + i], 0xA5) << i;
  EXPECT_EQ(m.Chip().GetStats().pageWrites, 2u);
  EXPECT_EQ(m.Chip().GetStats().pageBytesErased, 64u);
}

TEST(FlashChip, Sst29EE010ProtectionAndTheByteLoadWindow) {
  FlashChip chip(FlashChip::Kind::Sst29EE010, 2e6, 1000);
  uint64_t t = 0;
  auto cmd = [&](uint32_t a, uint8_t v) { chip.Write(a, v, t += 10); };
  // Protected: a plain write changes nothing.
  cmd(0x1234, 0x00);
  chip.Advance(t + 100000);
  EXPECT_EQ(chip.Array()[0x1234], 0xFF);
  // Two loads 300 us apart: the pause ends the first page write.
  cmd(0x5555, 0xAA);
  cmd(0x2AAA, 0x55);
  cmd(0x5555, 0xA0);
  cmd(0x1200, 0x11);
  t += 600;  // 300 us at E = 2 MHz
  chip.Advance(t);
  EXPECT_TRUE(chip.Busy());
  cmd(0x1201, 0x22);        // ignored: the chip is writing
  chip.Advance(t + 10000);  // 5 ms
  EXPECT_FALSE(chip.Busy());
  EXPECT_EQ(chip.Array()[0x1200], 0x11);
  EXPECT_EQ(chip.Array()[0x1201], 0xFF);
  // Protection off (AA 55 80 AA 55 20): plain writes load the page.
  for (auto [a, v] : {std::pair<uint32_t, uint8_t>{0x5555, 0xAA},
                      {0x2AAA, 0x55},
                      {0x5555, 0x80},
                      {0x5555, 0xAA},
                      {0x2AAA, 0x55},
                      {0x5555, 0x20}})
    cmd(a, v);
  cmd(0x1300, 0x33);
  chip.Advance(t += 20000);
  EXPECT_EQ(chip.Array()[0x1300], 0x33);
}
