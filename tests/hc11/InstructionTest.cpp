// The self-checking instruction programs (asm/*.s), each run from the
// external flash in expanded mode until it settles.  A failure names the
// number of the check that failed: it is the check's first argument in the
// program's source.
#include "Harness.h"

namespace {

void ExpectPass(const std::string& name, hc11::Machine& m) {
  EXPECT_EQ(m.Peek(kResult), kDoneValue) << name << ": check " << int(m.Peek(kFailId)) << " failed\n"
                                         << m.RegisterText();
}

void RunProgram(const std::string& name, hc11::Machine& m) {
  Hc11Program p = LoadProgram(name);
  ASSERT_TRUE(p.ok) << name;
  RunRomProgram(m, p);
}

}  // namespace

TEST(Instructions, EveryGroupMatchesTheReferenceManual) {
  for (const char* name :
       {"arith", "shift", "logic", "compare", "wide", "divide", "branch", "bitops", "stack"}) {
    SCOPED_TRACE(name);
    hc11::Machine m{hc11::MachineOptions()};
    RunProgram(name, m);
    ExpectPass(name, m);
    // Each ends in a loop on itself, which the machine recognises as idle.
    EXPECT_GT(m.GetStats().idleSkips, 0u);
    EXPECT_EQ(m.GetStats().illegalOpcodes, 0u);
  }
}

TEST(Instructions, InterruptsTrapsAndWait) {
  hc11::Machine m{hc11::MachineOptions()};
  Hc11Program p = LoadProgram("interrupts");
  ASSERT_TRUE(p.ok);
  std::copy(p.image.begin(), p.image.end(), m.Chip().Array().begin());
  m.Reset(hc11::McuMode::Expanded);
  // The byte the program waits for with WAI, at the rate it sets (9615).
  m.Run(m.Now() + 2000);
  m.HostByte(0xA7, 9600, 0);
  m.Run(m.Now() + 20'000'000);
  ExpectPass("interrupts", m);
  EXPECT_EQ(m.GetStats().illegalOpcodes, 2u);
}

TEST(Instructions, StopHaltsOnlyWithSClearAndTestIsIllegalInNormalModes) {
  hc11::Machine m{hc11::MachineOptions()};
  RunProgram("special", m);
  EXPECT_EQ(m.Peek(kResult), kDoneValue) << "check " << int(m.Peek(kFailId)) << "\n" << m.RegisterText();
  EXPECT_EQ(m.GetCpu().State(), hc11::CpuState::Stopped);
  EXPECT_EQ(m.GetStats().illegalOpcodes, 1u);
  // Stopped for good: time passes, nothing runs.
  uint16_t pc = m.GetCpu().Regs().pc;
  m.Run(m.Now() + 100000);
  EXPECT_EQ(m.GetCpu().Regs().pc, pc);
}
