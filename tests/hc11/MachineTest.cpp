// The machine around the CPU: skipping idle loops changes nothing, the
// EEPROM's programming rules, the mode and mapping registers, the SCI's
// flags, the timer, and crashes.
#include "Harness.h"

namespace {

using hc11::Machine;
using hc11::McuMode;

Machine Make(int eraseMs = 1000, bool skip = true) {
  hc11::MachineOptions o;
  o.chipEraseMs = eraseMs;
  o.skipIdle = skip;
  return Machine(o);
}

// Runs `bytes` from RAM at 0x0100 in `mode` for `cycles`.
void RunBytes(Machine& m, McuMode mode, const std::vector<uint8_t>& bytes, uint64_t cycles) {
  m.Reset(mode);
  std::copy(bytes.begin(), bytes.end(), m.Ram().begin() + 0x100);
  m.GetCpu().Regs().pc = 0x0100;
  m.GetCpu().Regs().sp = 0x03FF;
  m.Run(m.Now() + cycles);
}

// A CPU write at the machine's current time, then `cycles` more.
void Write(Machine& m, uint16_t address, uint8_t value, uint64_t cycles = 0) {
  m.BusWrite(address, value);
  m.GetCpu().AddCycles(cycles);
}

}  // namespace

TEST(Machine, SkippingIdleLoopsChangesNothing) {
  Machine fast = Make(50, true), slow = Make(50, false);
  Hc11Program p = LoadProgram("idle");
  ASSERT_TRUE(p.ok);
  for (Machine* m : {&fast, &slow}) {
    m->Reset(McuMode::Bootstrap);
    for (unsigned a = p.low; a < p.high; ++a) m->Ram()[a] = p.image[a];
    m->GetCpu().Regs().pc = 0;
    m->Run(m->Now() + 5000);
    m->HostByte(0x3C, 9600, 0);
    m->Run(m->Now() + 400000);
  }
  EXPECT_EQ(fast.Ram()[0x300], 0x3C);
  EXPECT_EQ(fast.Ram(), slow.Ram());
  EXPECT_EQ(fast.GetCpu().Regs(), slow.GetCpu().Regs());
  EXPECT_EQ(fast.Now(), slow.Now());
  EXPECT_EQ(fast.GetSci().Output(), slow.GetSci().Output());
  EXPECT_EQ(fast.Chip().Array(), slow.Chip().Array());
  // Each wait was recorded in order, the erase (50 ms) the longest.
  auto at = [&](unsigned i) { return (fast.Ram()[0x300 + i] << 8) | fast.Ram()[0x301 + i]; };
  // The compare matched 3000 ticks on; the poll sees it within one turn.
  uint16_t waited = static_cast<uint16_t>(at(3) - at(1));
  EXPECT_GE(waited, 3000);
  EXPECT_LT(waited, 3000 + 20);
  EXPECT_GT(fast.GetStats().idleSkips, 3u);
  EXPECT_EQ(slow.GetStats().idleSkips, 0u);
  EXPECT_GT(fast.GetStats().idleCyclesSkipped, 90000u);
}

TEST(Machine, EepromProgrammingRules) {
  Machine m = Make();
  m.Reset(McuMode::Bootstrap);
  auto& e = m.Eeprom();
  e.fill(0x00);
  Write(m, 0x1035, 0x00);  // BPROT cleared: a special mode allows it at any time
  // EPGM in the same write as EELAT is refused.
  Write(m, 0x103B, 0x03);
  EXPECT_EQ(m.Peek(0x103B), 0x02);
  // Row erase: the 16 bytes of the latched address's row.
  Write(m, 0x103B, 0x0E);
  Write(m, 0x0E25, 0x00);
  EXPECT_EQ(m.BusRead(0x0E40), 0x00);  // with EELAT set, reads give the latch
  Write(m, 0x103B, 0x0F, 20000);
  Write(m, 0x103B, 0x00);
  for (unsigned i = 0; i < 0x40; ++i) ASSERT_EQ(e[i], (i >= 0x20 && i < 0x30) ? 0xFF : 0x00) << i;
  // Programming clears bits only; a plain write does nothing.
  Write(m, 0x103B, 0x02);
  Write(m, 0x0E21, 0xA5);
  Write(m, 0x103B, 0x03, 20000);
  Write(m, 0x103B, 0x00);
  EXPECT_EQ(e[0x21], 0xA5);
  Write(m, 0x0E21, 0xFF);
  EXPECT_EQ(e[0x21], 0xA5);
  // A protected block is left alone.
  Write(m, 0x1035, 0x02);  // BPRT1: 0x0E20-0x0E5F
  Write(m, 0x103B, 0x16);
  Write(m, 0x0E21, 0xFF);
  Write(m, 0x103B, 0x17, 20000);
  Write(m, 0x103B, 0x00);
  EXPECT_EQ(e[0x21], 0xA5);
  // Bulk erase with CONFIG as the address: the array and CONFIG.
  Write(m, 0x1035, 0x00);
  Write(m, 0x103B, 0x06);
  Write(m, 0x103F, 0x00);
  Write(m, 0x103B, 0x07, 20000);
  Write(m, 0x103B, 0x00);
  for (unsigned i = 0; i < 512; ++i) ASSERT_EQ(e[i], 0xFF) << i;
  EXPECT_EQ(m.ConfigCell(), 0xFF);
  // CONFIG programmed like a cell; the working copy follows at reset.
  Write(m, 0x103B, 0x02);
  Write(m, 0x103F, 0xB1);
  Write(m, 0x103B, 0x03, 20000);
  Write(m, 0x103B, 0x00);
  EXPECT_EQ(m.ConfigCell(), 0xB1);
  EXPECT_EQ(m.Peek(0x103F), 0x0F);
  e[5] = 0x42;
  m.Reset(McuMode::Bootstrap);
  EXPECT_EQ(m.Peek(0x103F), 0xB1);
  EXPECT_EQ(m.BusRead(0xBE05), 0x42);  // EEPROM now at 0xBE00
  EXPECT_EQ(m.GetStats().shortPulses, 0u);
}

TEST(Machine, NormalModesProtectBprotAndInitAfter64Cycles) {
  Machine m = Make();
  m.Reset(McuMode::Expanded);
  Write(m, 0x103D, 0x21);  // INIT within 64 cycles: RAM to 0x2000
  Write(m, 0x2005, 0x99);
  EXPECT_EQ(m.Ram()[5], 0x99);
  m.GetCpu().AddCycles(100);
  Write(m, 0x103D, 0x01);  // too late
  EXPECT_EQ(m.Peek(0x103D), 0x21);
  Write(m, 0x1035, 0x00);  // BPROT can no longer be cleared
  EXPECT_EQ(m.Peek(0x1035), 0x1F);
  // Special modes: HPRIO's MDA brings the external bus; SMOD only goes to 0.
  m.Reset(McuMode::Bootstrap);
  m.Chip().Array()[0x8000] = 0x12;
  EXPECT_EQ(m.BusRead(0x8000), 0xFF);  // single chip: nothing there
  Write(m, 0x103C, m.Peek(0x103C) | 0x20);
  EXPECT_EQ(m.Mode(), McuMode::SpecialTest);
  EXPECT_EQ(m.BusRead(0x8000), 0x12);
  Write(m, 0x103C, m.Peek(0x103C) & ~0x40);
  EXPECT_EQ(m.Mode(), McuMode::Expanded);
  Write(m, 0x103C, m.Peek(0x103C) | 0x40);
  EXPECT_EQ(m.Mode(), McuMode::Expanded);
}

TEST(Machine, CrashesAndTestAreReportedNotHung) {
  Machine m = Make();
  RunBytes(m, McuMode::Bootstrap, {0x7E, 0x80, 0x00}, 10000);  // jmp 0x8000: nothing there
  EXPECT_EQ(m.GetCpu().State(), hc11::CpuState::Halted);
  EXPECT_NE(m.Crash().find("0x8000"), std::string::npos) << m.Crash();
  RunBytes(m, McuMode::Bootstrap, {0x01, 0x00}, 10000);  // TEST in a special mode
  EXPECT_EQ(m.GetCpu().State(), hc11::CpuState::Halted);
  EXPECT_EQ(m.GetCpu().Regs().pc, 0x0101);
  EXPECT_TRUE(m.Crash().empty());
  // Breakpoint and trace.
  m.Reset(McuMode::Bootstrap);
  m.TakeMessages();
  m.SetBreakpoint(0x0102);
  m.SetTrace(true);
  RunBytes(m, McuMode::Bootstrap, {0x86, 0x42, 0x01, 0x20, 0xFE}, 10000);
  EXPECT_TRUE(m.AtBreakpoint());
  EXPECT_EQ(m.GetCpu().Regs().a, 0x42);
  auto messages = m.TakeMessages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_NE(messages[0].find("0100  86 42"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("ldaa #0x42"), std::string::npos) << messages[0];
  m.SetBreakpoint(-1);
  m.Continue();
  m.Run(m.Now() + 1000);
  EXPECT_EQ(m.GetCpu().Regs().pc, 0x0103);
}

TEST(Machine, SciFlagsAndClearingSequence) {
  Machine m = Make();
  RunBytes(m, McuMode::Bootstrap, {0x20, 0xFE}, 10);  // the CPU parked in a loop
  Write(m, 0x102B, 0x30);                             // 9615 baud: 208 E cycles a bit
  Write(m, 0x102D, 0x0C);
  m.HostByte(0x55, 9600, 1);
  m.HostByte(0x66, 9600, 2);
  m.Run(m.Now() + 2100);
  EXPECT_EQ(m.Peek(0x102E) & 0x20, 0x20);
  // Reading SCDR without reading SCSR first leaves RDRF set.
  EXPECT_EQ(m.BusRead(0x102F), 0x55);
  EXPECT_EQ(m.Peek(0x102E) & 0x20, 0x20);
  m.Run(m.Now() + 2100);  // the second byte finds RDRF set: overrun
  EXPECT_EQ(m.BusRead(0x102E) & 0x28, 0x28);
  EXPECT_EQ(m.BusRead(0x102F), 0x55);
  EXPECT_EQ(m.Peek(0x102E) & 0x28, 0x00);
  // A full character of idle line after the last one: IDLE.
  m.Run(m.Now() + 2100);
  EXPECT_EQ(m.Peek(0x102E) & 0x10, 0x10);
  // 0x00 at 2400 baud: a framing error at 9615.
  m.BusRead(0x102E);
  m.BusRead(0x102F);
  m.HostByte(0x00, 2400, 3);
  m.Run(m.Now() + 9000);
  EXPECT_EQ(m.BusRead(0x102E) & 0x22, 0x22);
  EXPECT_EQ(m.BusRead(0x102F), 0x00);
  // Transmit: TDRE at once, TC once the preamble and the byte are out.
  m.GetSci().Output().clear();
  Write(m, 0x102F, 0xA5);
  EXPECT_EQ(m.Peek(0x102E) & 0x40, 0x00);
  m.Run(m.Now() + 2100);
  EXPECT_EQ(m.Peek(0x102E) & 0xC0, 0xC0);
  ASSERT_EQ(m.GetSci().Output().size(), 1u);
  EXPECT_EQ(m.GetSci().Output()[0].byte, 0xA5);
  auto& log = m.GetSci().ReceivedLog();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0].tag, 1);
  EXPECT_EQ(log[1].tag, 2);
}

TEST(Machine, TimerCountsAtThePrescaledRate) {
  Machine m = Make();
  RunBytes(m, McuMode::Bootstrap, {0x20, 0xFE}, 10);
  uint64_t start = m.Now();
  auto tcnt = [&] { return static_cast<uint16_t>((m.BusRead(0x100E) << 8) | m.BusRead(0x100F)); };
  uint16_t t0 = tcnt();
  m.GetCpu().AddCycles(1000);
  EXPECT_EQ(static_cast<uint16_t>(tcnt() - t0), 1000);
  Write(m, 0x1024, 0x03);  // prescaler 16 (special mode: any time)
  t0 = tcnt();
  m.GetCpu().AddCycles(1600);
  EXPECT_EQ(static_cast<uint16_t>(tcnt() - t0), 100);
  // An output compare set at the old rate matches at the new one.
  Write(m, 0x1024, 0x00);
  t0 = tcnt();
  uint16_t target = static_cast<uint16_t>(t0 + 100);
  Write(m, 0x1016, static_cast<uint8_t>(target >> 8));  // TOC1
  Write(m, 0x1017, static_cast<uint8_t>(target));
  Write(m, 0x1023, 0x80);  // clear OC1F
  Write(m, 0x1024, 0x01);  // prescaler 4: the 100 ticks now take 400 cycles
  m.Run(m.Now() + 350);
  EXPECT_EQ(m.Peek(0x1023) & 0x80, 0x00);
  m.Run(m.Now() + 100);
  EXPECT_EQ(m.Peek(0x1023) & 0x80, 0x80);
  Write(m, 0x1024, 0x03);
  // Overflow after 65536 ticks: TOF.
  m.GetCpu().AddCycles(65536ull * 16);
  m.Run(m.Now() + 1);
  EXPECT_EQ(m.Peek(0x1025) & 0x80, 0x80);
  Write(m, 0x1025, 0x80);  // cleared by writing 1
  EXPECT_EQ(m.Peek(0x1025) & 0x80, 0x00);
  EXPECT_GT(m.Now(), start);
}
