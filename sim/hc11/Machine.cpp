#include "sim/hc11/Machine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/hc11/Opcodes.h"

namespace hc11 {

namespace {
constexpr int CELL_CONFIG = -2;
// Assembled at build time from sim/hc11/bootrom.s.
constexpr uint8_t kBootRom[256] = {
#include "bootrom.inc"
};
}  // namespace

const char* ModeName(McuMode mode) {
  switch (mode) {
    case McuMode::SingleChip:
      return "single chip";
    case McuMode::Expanded:
      return "expanded";
    case McuMode::Bootstrap:
      return "special bootstrap";
    case McuMode::SpecialTest:
      return "special test";
  }
  return "?";
}

Machine::Machine(const MachineOptions& options)
    : m_options(options),
      m_eHz(options.crystalHz / 4),
      m_cpu(*this),
      m_chip(options.chip, options.crystalHz / 4, options.chipEraseMs),
      m_configCell(options.config),
      m_config(options.config) {
  m_eeprom.fill(0xFF);
  std::copy(std::begin(kBootRom), std::end(kBootRom), m_bootRom.begin());
  Reset(McuMode::Bootstrap);
}

void Machine::Reset(McuMode mode) {
  const uint64_t now = Now();
  m_resetAt = now;
  m_regs.fill(0);
  // Reset values, MC68HC11F1 technical data register summary.
  static constexpr uint8_t kHprio[] = {0x05, 0x25, 0xC5, 0x75};  // single chip, expanded, bootstrap, test
  m_regs[HPRIO] = kHprio[static_cast<int>(mode)];
  m_regs[INIT] = 0x01;  // RAM at 0x0000, registers at 0x1000
  m_regs[BPROT] = 0x1F;
  m_regs[OPTION] = 0x10;
  for (uint8_t r : {TOC1, TOC2, TOC3, TOC4, TI4O5}) {
    m_regs[r] = 0xFF;
    m_regs[r + 1] = 0xFF;
  }
  m_ramBase = 0x0000;
  m_regBase = 0x1000;
  m_config = m_configCell;  // CONFIG is loaded from its EEPROM cell at reset
  m_latchCell = -1;
  m_tcntCycle = now;
  m_tcntValue = 0;
  m_rtiBase = now;
  m_timerDone = now;
  m_sci.Reset(now);
  m_crash.clear();
  m_atBreakpoint = false;
  m_romTransmits = 0;
  bool special = mode == McuMode::Bootstrap || mode == McuMode::SpecialTest;
  m_cpu.SetVectorBase(special ? 0xBFC0 : 0xFFC0);
  m_cpu.SetSpecialMode(special);
  Remap();
  m_cpu.Reset();
  UpdateHooks();
}

McuMode Machine::Mode() const {
  bool smod = m_regs[HPRIO] & HPRIO_SMOD, mda = m_regs[HPRIO] & HPRIO_MDA;
  if (smod) return mda ? McuMode::SpecialTest : McuMode::Bootstrap;
  return mda ? McuMode::Expanded : McuMode::SingleChip;
}

// ---- memory map ----

Machine::Area Machine::Decode(uint16_t address, unsigned& offset) const {
  // Internal resources take precedence over the external bus; the registers
  // over the RAM (M68HC11 Reference Manual, INIT register).
  unsigned a = address;
  if (a - m_regBase < REG_SIZE) {
    offset = a - m_regBase;
    return Area::Regs;
  }
  if (a - m_ramBase < RAM_SIZE) {
    offset = a - m_ramBase;
    return Area::Ram;
  }
  if ((m_regs[HPRIO] & HPRIO_RBOOT) && a >= 0xBF00 && a <= 0xBFFF) {
    offset = a - 0xBF00;
    return Area::BootRom;
  }
  if (m_config & 0x01) {
    // CONFIG EE3-EE0 place the 512 bytes at page x 0x1000 + 0x0E00.
    unsigned base = (static_cast<unsigned>(m_config & 0xF0) << 8) + 0x0E00;
    if (a - base < EEPROM_SIZE) {
      offset = a - base;
      return Area::Eeprom;
    }
  }
  offset = a;  // chip address = CPU address, A16 held low
  return Expanded() ? Area::External : Area::None;
}

void Machine::Remap() {
  m_cpu.UnmapAll();
  m_chipArray = m_chip.ArrayMode();
  for (unsigned page = 0; page < 256; ++page) {
    unsigned first, last;
    uint16_t lo = static_cast<uint16_t>(page << 8), hi = static_cast<uint16_t>(lo | 0xFF);
    Area a = Decode(lo, first), b = Decode(hi, last);
    if (a != b) continue;  // a page shared by two areas goes through the bus
    if (a == Area::Ram && last - first == 0xFF) {
      m_cpu.MapReadPage(page, &m_ram[first]);
      m_cpu.MapWritePage(page, &m_ram[first]);
    } else if (a == Area::BootRom) {
      m_cpu.MapReadPage(page, &m_bootRom[0]);
    } else if (a == Area::External && m_chipArray) {
      m_cpu.MapReadPage(page, &m_chip.Array()[first]);
    }
  }
}

uint8_t Machine::Peek(uint16_t address) const {
  unsigned offset;
  switch (Decode(address, offset)) {
    case Area::Regs:
      if (offset == CONFIG) return m_config;
      if (offset == TCNT || offset == TCNT + 1) {
        uint16_t t = Tcnt(Now());
        return static_cast<uint8_t>(offset == TCNT ? t >> 8 : t);
      }
      if (offset == SCSR) return const_cast<Sci&>(m_sci).PeekScsr();
      return m_regs[offset];
    case Area::Ram:
      return m_ram[offset];
    case Area::BootRom:
      return m_bootRom[offset];
    case Area::Eeprom:
      return m_eeprom[offset];
    case Area::External:
    case Area::None:
      return m_chip.Array()[offset];
  }
  return 0xFF;
}

void Machine::Poke(uint16_t address, uint8_t value) {
  unsigned offset;
  switch (Decode(address, offset)) {
    case Area::Regs:
      if (offset == CONFIG) {
        m_configCell = m_config = value;
        Remap();
      } else {
        m_regs[offset] = value;
      }
      return;
    case Area::Ram:
      m_ram[offset] = value;
      return;
    case Area::BootRom:
      return;
    case Area::Eeprom:
      m_eeprom[offset] = value;
      return;
    case Area::External:
    case Area::None:
      m_chip.Array()[offset] = value;
      return;
  }
}

uint8_t Machine::BusRead(uint16_t address) {
  unsigned offset;
  switch (Decode(address, offset)) {
    case Area::Regs:
      return ReadReg(static_cast<uint8_t>(offset));
    case Area::Ram:
      return m_ram[offset];
    case Area::BootRom:
      return m_bootRom[offset];
    case Area::Eeprom:
      // While EELAT is set the array cannot be read; the data latch answers.
      if (m_regs[PPROG] & PPROG_EELAT) return m_latchCell == -1 ? 0xFF : m_latchData;
      return m_eeprom[offset];
    case Area::External: {
      uint8_t v = m_chip.Read(offset, Now());
      if (m_chip.ArrayMode() != m_chipArray) {
        Remap();
        m_cpu.EndBatch();
      }
      return v;
    }
    case Area::None:
      return 0xFF;
  }
  return 0xFF;
}

uint8_t Machine::BusFetch(uint16_t address) {
  unsigned offset;
  if (Decode(address, offset) == Area::None) {
    char text[160];
    std::snprintf(
        text, sizeof text,
        "crash: the program ran into 0x%04X, where no device answers in %s mode; the CPU is stopped", address,
        ModeName(Mode()));
    m_crash = text;
    Message(text);
    m_cpu.Halt();
    m_cpu.EndBatch();
    return 0x01;  // NOP, never executed past the halt
  }
  return BusRead(address);
}

void Machine::BusWrite(uint16_t address, uint8_t value) {
  unsigned offset;
  switch (Decode(address, offset)) {
    case Area::Regs:
      WriteReg(static_cast<uint8_t>(offset), value);
      return;
    case Area::Ram:
      m_ram[offset] = value;
      return;
    case Area::BootRom:
      return;
    case Area::Eeprom:
      EepromWrite(static_cast<int>(offset), value);
      return;
    case Area::External:
      m_chip.Write(offset, value, Now());
      if (m_chip.ArrayMode() != m_chipArray) Remap();
      m_cpu.EndBatch();  // the chip may now have a deadline
      return;
    case Area::None:
      return;
  }
}

// ---- registers ----

uint8_t Machine::ReadReg(uint8_t offset) {
  switch (offset) {
    case TCNT:
    case TCNT + 1: {
      m_cpu.NoteVolatileRead();
      uint16_t t = Tcnt(Now());
      return static_cast<uint8_t>(offset == TCNT ? t >> 8 : t);
    }
    case BAUD:
      return m_sci.ReadBaud();
    case SCCR1:
      return m_sci.ReadSccr1();
    case SCCR2:
      return m_sci.ReadSccr2();
    case SCSR:
      return m_sci.ReadScsr();
    case SCDR: {
      uint8_t v = m_sci.ReadScdr();
      UpdateIrq();
      m_cpu.EndBatch();
      return v;
    }
    case CONFIG:
      return m_config;
    default:
      return m_regs[offset];
  }
}

void Machine::WriteReg(uint8_t offset, uint8_t value) {
  const uint64_t now = Now();
  switch (offset) {
    case TCNT:
    case TCNT + 1:
      return;  // read-only outside test mode
    case TFLG1:
    case TFLG2:
      AdvanceTimer(now);
      m_regs[offset] = static_cast<uint8_t>(m_regs[offset] & ~value);  // writing 1 clears a flag
      break;
    case TMSK2: {
      uint8_t v = value;
      if (!EarlyOrSpecial())
        v = static_cast<uint8_t>((v & 0xFC) | (m_regs[TMSK2] & 0x03));  // PR1:0 time-protected
      AdvanceTimer(now);                                                // events so far at the old rate
      if ((v & 0x03) != (m_regs[TMSK2] & 0x03)) {
        m_tcntValue = Tcnt(now);
        m_tcntCycle = now;
      }
      m_regs[TMSK2] = v;
      break;
    }
    case PACTL:
      AdvanceTimer(now);
      m_regs[PACTL] = value;
      break;
    case TMSK1:  // a mask opened on a flag already set interrupts at once
      m_regs[TMSK1] = value;
      break;
    case BAUD:
      m_sci.WriteBaud(value, now);
      break;
    case SCCR1:
      m_sci.WriteSccr1(value);
      break;
    case SCCR2:
      m_sci.WriteSccr2(value, now);
      break;
    case SCSR:
      return;
    case SCDR:
      if ((m_regs[HPRIO] & HPRIO_RBOOT) && m_cpu.Regs().pc >= 0xBF00) ++m_romTransmits;
      m_sci.WriteScdr(value, now);
      break;
    case BPROT:
      // Bits may be set at any time but cleared only within 64 cycles of
      // reset in normal modes; special modes lift that (reference manual,
      // BPROT).
      if (EarlyOrSpecial())
        m_regs[BPROT] = value & 0x1F;
      else
        m_regs[BPROT] = static_cast<uint8_t>(m_regs[BPROT] | (value & 0x1F));
      return;
    case PPROG:
      WritePprog(value);
      break;
    case HPRIO: {
      uint8_t old = m_regs[HPRIO];
      uint8_t v = static_cast<uint8_t>((old & 0xF0) | (value & 0x0F));  // PSEL always writable
      if (old & HPRIO_SMOD) {
        // In special modes RBOOT, MDA and IRV may be written; SMOD only cleared.
        v = static_cast<uint8_t>((value & (HPRIO_RBOOT | HPRIO_MDA | HPRIO_IRV | 0x0F)) |
                                 (value & old & HPRIO_SMOD));
        // Leaving special modes takes the boot ROM away with them.
        if (!(v & HPRIO_SMOD)) v &= static_cast<uint8_t>(~HPRIO_RBOOT);
      } else if (EarlyOrSpecial()) {
        // Normal modes: MDA only within 64 cycles of reset.
        v = static_cast<uint8_t>((old & ~(HPRIO_MDA | 0x0F)) | (value & (HPRIO_MDA | 0x0F)));
      }
      m_regs[HPRIO] = v;
      bool special = v & HPRIO_SMOD;
      m_cpu.SetVectorBase(special ? 0xBFC0 : 0xFFC0);
      m_cpu.SetSpecialMode(special);
      Remap();
      break;
    }
    case INIT:
      if (!EarlyOrSpecial()) return;
      m_regs[INIT] = value;
      m_ramBase = static_cast<uint16_t>((value >> 4) << 12);
      m_regBase = static_cast<uint16_t>((value & 0x0F) << 12);
      Remap();
      break;
    case CONFIG: {
      int cell = CELL_CONFIG;
      if (m_regs[PPROG] & PPROG_EELAT) {
        EepromWrite(cell, value);
      } else if (Special()) {
        // In special modes the working copy is written directly and maps at once.
        m_config = value;
        Remap();
      }
      return;
    }
    default:
      m_regs[offset] = value;
      return;
  }
  UpdateIrq();
  m_cpu.EndBatch();
}

// ---- EEPROM (M68HC11 Reference Manual, EEPROM programming) ----

int Machine::CellOf(uint16_t address) const {
  unsigned offset;
  Area a = Decode(address, offset);
  if (a == Area::Regs && offset == CONFIG) return CELL_CONFIG;
  if (a == Area::Eeprom) return static_cast<int>(offset);
  return -1;
}

bool Machine::CellProtected(int cell) const {
  uint8_t bprot = m_regs[BPROT];
  if (cell == CELL_CONFIG) return bprot & 0x10;  // PTCON
  // BPRT0-BPRT3 guard blocks of 32, 64, 128 and 288 bytes.
  int block = cell < 0x20 ? 0 : cell < 0x60 ? 1 : cell < 0xE0 ? 2 : 3;
  return bprot & (1 << block);
}

void Machine::EepromWrite(int cell, uint8_t value) {
  uint8_t pprog = m_regs[PPROG];
  // A write with EELAT clear does nothing to the array; with EPGM on the
  // latches are frozen.
  if (!(pprog & PPROG_EELAT) || (pprog & PPROG_EPGM)) return;
  m_latchCell = cell;
  m_latchData = value;
}

void Machine::WritePprog(uint8_t value) {
  const uint8_t old = m_regs[PPROG];
  const uint64_t now = Now();
  bool wasOn = old & PPROG_EPGM, turnsOn = value & PPROG_EPGM;
  if (!wasOn && turnsOn) {
    // EPGM cannot be set in the same write as EELAT, nor without it.
    if (!(old & PPROG_EELAT) || !(value & PPROG_EELAT))
      value &= static_cast<uint8_t>(~PPROG_EPGM);
    else
      m_epgmStart = now;
  } else if (wasOn && turnsOn) {
    value = old;  // nothing changes while the programming voltage is on
  } else if (wasOn && !turnsOn) {
    // Reference manual: 10 ms of programming voltage at E = 2 MHz.
    double ms = static_cast<double>(now - m_epgmStart) * 1000.0 / m_eHz;
    if (ms >= 10.0) {
      ApplyPulse(old);
    } else if (m_latchCell != -1) {
      ++m_stats.shortPulses;
      char text[200];
      std::snprintf(text, sizeof text,
                    "EEPROM: %s pulse of %.2f ms (at least 10 ms needed) left %s unreliable: not changed",
                    (old & PPROG_ERASE) ? "erase" : "programming", ms,
                    m_latchCell == CELL_CONFIG ? "CONFIG" : "the cells");
      Message(text);
    }
  }
  if (!(value & PPROG_EELAT)) m_latchCell = -1;
  m_regs[PPROG] = value;
}

void Machine::ApplyPulse(uint8_t pprog) {
  if (m_latchCell == -1) return;
  const int cell = m_latchCell;
  ++m_stats.eepromPulses;
  auto erase = [&](int c) {
    if (CellProtected(c)) return;
    if (c == CELL_CONFIG)
      m_configCell = 0xFF;
    else
      m_eeprom[c] = 0xFF;
  };
  if (!(pprog & PPROG_ERASE)) {
    // Programming only clears bits.
    if (CellProtected(cell)) return;
    if (cell == CELL_CONFIG)
      m_configCell &= m_latchData;
    else
      m_eeprom[cell] &= m_latchData;
    return;
  }
  if (pprog & PPROG_BYTE) {
    erase(cell);
  } else if (pprog & PPROG_ROW) {
    if (cell == CELL_CONFIG) return;
    for (int c = cell & ~0x0F; c < (cell & ~0x0F) + 16; ++c) erase(c);
  } else {
    // Bulk: the whole array, and CONFIG too when it was the latched address.
    for (int c = 0; c < static_cast<int>(EEPROM_SIZE); ++c) erase(c);
    if (cell == CELL_CONFIG) erase(CELL_CONFIG);
  }
}

// ---- timer ----

unsigned Machine::TimerPrescale() const {
  static constexpr unsigned kPrescale[4] = {1, 4, 8, 16};  // TMSK2 PR1:PR0
  return kPrescale[m_regs[TMSK2] & 3];
}

uint16_t Machine::Tcnt(uint64_t at) const {
  return static_cast<uint16_t>(m_tcntValue + (at - m_tcntCycle) / TimerPrescale());
}

uint64_t Machine::NextMatch(uint16_t value, uint64_t after) const {
  const uint64_t p = TimerPrescale();
  uint64_t ticks = (after - m_tcntCycle) / p;  // ticks elapsed at `after`
  uint64_t current = static_cast<uint16_t>(m_tcntValue + ticks);
  uint64_t ahead = static_cast<uint16_t>(value - current);
  if (ahead == 0) ahead = 0x10000;
  return m_tcntCycle + (ticks + ahead) * p;
}

uint64_t Machine::RtiPeriod() const { return 8192ull << (m_regs[PACTL] & 3); }  // E / 2^13 times RTR

uint64_t Machine::NextTimerEvent() const {
  // Only flags that are still clear can change anything.
  uint64_t next = NEVER;
  const uint64_t from = m_timerDone;
  if (!(m_regs[TFLG2] & 0x80)) next = std::min(next, NextMatch(0x0000, from));
  if (!(m_regs[TFLG2] & 0x40)) {
    uint64_t period = RtiPeriod();
    next = std::min(next, m_rtiBase + ((from - m_rtiBase) / period + 1) * period);
  }
  static constexpr uint8_t kOc[5] = {TOC1, TOC2, TOC3, TOC4, TI4O5};
  for (int i = 0; i < 5; ++i) {
    uint8_t bit = static_cast<uint8_t>(0x80 >> i);
    if (i == 4 && (m_regs[PACTL] & 0x04)) continue;  // I4/O5 set: input capture 4
    if (m_regs[TFLG1] & bit) continue;
    uint16_t value = static_cast<uint16_t>((m_regs[kOc[i]] << 8) | m_regs[kOc[i] + 1]);
    next = std::min(next, NextMatch(value, from));
  }
  return next;
}

void Machine::AdvanceTimer(uint64_t now) {
  for (;;) {
    uint64_t at = NextTimerEvent();
    if (at > now) break;
    // Set every flag whose event falls at `at`.
    if (!(m_regs[TFLG2] & 0x80) && NextMatch(0x0000, m_timerDone) == at) m_regs[TFLG2] |= 0x80;
    uint64_t period = RtiPeriod();
    if (!(m_regs[TFLG2] & 0x40) && m_rtiBase + ((m_timerDone - m_rtiBase) / period + 1) * period == at)
      m_regs[TFLG2] |= 0x40;
    static constexpr uint8_t kOc[5] = {TOC1, TOC2, TOC3, TOC4, TI4O5};
    for (int i = 0; i < 5; ++i) {
      uint8_t bit = static_cast<uint8_t>(0x80 >> i);
      if ((i == 4 && (m_regs[PACTL] & 0x04)) || (m_regs[TFLG1] & bit)) continue;
      uint16_t value = static_cast<uint16_t>((m_regs[kOc[i]] << 8) | m_regs[kOc[i] + 1]);
      if (NextMatch(value, m_timerDone) == at) m_regs[TFLG1] |= bit;
    }
    m_timerDone = at;
  }
  m_timerDone = std::max(m_timerDone, now);
}

// ---- interrupts ----

void Machine::UpdateIrq() {
  bool timer = (m_regs[TFLG1] & m_regs[TMSK1]) || (m_regs[TFLG2] & m_regs[TMSK2] & 0xF0);
  m_cpu.SetIrq(timer || m_sci.InterruptPending());
}

uint16_t Machine::InterruptVector() {
  const uint8_t f1 = m_regs[TFLG1] & m_regs[TMSK1];
  const uint8_t f2 = m_regs[TFLG2] & m_regs[TMSK2];
  // Fixed priority below IRQ (M68HC11 Reference Manual, interrupt priority);
  // HPRIO's PSEL bits lift one source to the top.
  struct Source {
    uint8_t psel;
    bool pending;
    uint16_t vector;
  };
  const Source sources[] = {
      {0x7, (f2 & 0x40) != 0, VEC_RTI},         {0x8, (f1 & 0x04) != 0, VEC_TIC1},
      {0x9, (f1 & 0x02) != 0, VEC_TIC2},        {0xA, (f1 & 0x01) != 0, VEC_TIC3},
      {0xB, (f1 & 0x80) != 0, VEC_TOC1},        {0xC, (f1 & 0x40) != 0, VEC_TOC2},
      {0xD, (f1 & 0x20) != 0, VEC_TOC3},        {0xE, (f1 & 0x10) != 0, VEC_TOC4},
      {0xF, (f1 & 0x08) != 0, VEC_TOC5},        {0x0, (f2 & 0x80) != 0, VEC_TOF},
      {0x1, (f2 & 0x20) != 0, VEC_PAOV},        {0x2, (f2 & 0x10) != 0, VEC_PAI},
      {0x4, m_sci.InterruptPending(), VEC_SCI},
  };
  const uint16_t base = Special() ? 0xBFC0 : 0xFFC0;
  const uint8_t psel = m_regs[HPRIO] & 0x0F;
  for (const Source& s : sources)
    if (s.pending && s.psel == psel) return static_cast<uint16_t>(base + s.vector);
  for (const Source& s : sources)
    if (s.pending) return static_cast<uint16_t>(base + s.vector);
  return static_cast<uint16_t>(base + VEC_IRQ);  // not reached: asked only while one is pending
}

void Machine::OnIllegalOpcode(uint16_t address, uint8_t page, uint8_t opcode) {
  ++m_stats.illegalOpcodes;
  // Reported once per run of traps, so a program trapping in a loop does not
  // flood the console.
  if (m_stats.illegalOpcodes <= 3) {
    char text[160];
    if (page)
      std::snprintf(text, sizeof text, "illegal opcode %02X %02X at 0x%04X: trap taken", page, opcode,
                    address);
    else
      std::snprintf(text, sizeof text, "illegal opcode %02X at 0x%04X: trap taken", opcode, address);
    Message(text);
  }
}

// ---- running ----

void Machine::HostByte(uint8_t byte, int baud, int tag) {
  double bit = m_eHz / std::max(1, baud);
  m_sci.HostFrame(byte, bit, tag, Now());
  m_cpu.EndBatch();
}

int Machine::SciBaud() const { return static_cast<int>(std::lround(m_eHz / m_sci.BitCycles())); }

uint64_t Machine::NextEvent() { return std::min({m_sci.NextEvent(), m_chip.NextEvent(), NextTimerEvent()}); }

void Machine::ProcessEvents() {
  const uint64_t now = Now();
  m_sci.Advance(now);
  if (m_chip.NextEvent() <= now) {
    m_chip.Advance(now);
    if (m_chip.ArrayMode() != m_chipArray) Remap();
  }
  AdvanceTimer(now);
  UpdateIrq();
}

Machine::RunStop Machine::Run(uint64_t limit) {
  m_idleNow = false;
  uint64_t idleWrites = 0;
  while (Now() < limit) {
    ProcessEvents();
    const uint64_t now = Now();
    const uint64_t next = std::min(NextEvent(), limit);
    CpuState state = m_cpu.State();
    if (state == CpuState::Running) {
      m_cpu.Run(next);
      uint64_t period = m_cpu.IdlePeriod();
      // The part-turn run after a skip, up to the limit, stays idle as long
      // as it wrote nothing.
      m_idleNow = period != 0 || (m_idleNow && m_cpu.Writes() == idleWrites);
      idleWrites = m_cpu.Writes();
      if (period && m_options.skipIdle) {
        // The loop can only change through an event: skip whole turns of it
        // up to the next one, so the event is still met at the same point.
        uint64_t at = m_cpu.Cycles();
        uint64_t event = NextEvent();
        if (event == NEVER && limit == NEVER) return RunStop::Idle;
        uint64_t until = std::min(event, limit);
        if (until > at + period) {
          uint64_t turns = (until - at) / period - 1;
          if (turns) {
            m_cpu.SkipTurns(turns);
            ++m_stats.idleSkips;
            m_stats.idleCyclesSkipped += turns * period;
            if (m_trace) {
              char text[96];
              std::snprintf(text, sizeof text, "... idle loop at 0x%04X: %llu turns of %llu cycles skipped",
                            m_cpu.Regs().pc, static_cast<unsigned long long>(turns),
                            static_cast<unsigned long long>(period));
              Message(text);
            }
          }
        }
      }
      continue;
    }
    m_idleNow = true;
    if (state == CpuState::Waiting || state == CpuState::Stopped) {
      if (next == NEVER) return RunStop::Idle;
      m_cpu.AddCycles(next - now);
      if (state == CpuState::Waiting) {
        ProcessEvents();
        m_cpu.Run(Now() + 1);  // wakes if an interrupt is now pending
      }
      continue;
    }
    // Halted: peripherals still finish their work.
    if (next == NEVER || NextEvent() == NEVER) {
      if (limit != NEVER) m_cpu.AddCycles(limit - now);
      return RunStop::Halted;
    }
    m_cpu.AddCycles(next - now);
  }
  ProcessEvents();
  return RunStop::Limit;
}

// ---- console support ----

void Machine::Message(const std::string& text) {
  // A trace runs far faster than any console: past this many lines between
  // two collections the rest are dropped, and the log says so.
  constexpr size_t kMaxMessages = 10000;
  if (m_messages.size() < kMaxMessages)
    m_messages.push_back(text);
  else if (m_messages.size() == kMaxMessages)
    m_messages.push_back("... further lines dropped until the console catches up");
}

std::vector<std::string> Machine::TakeMessages() {
  std::vector<std::string> out;
  out.swap(m_messages);
  return out;
}

void Machine::UpdateHooks() { m_cpu.SetHooks(m_trace || m_breakpoint >= 0); }

void Machine::SetTrace(bool on) {
  m_trace = on;
  UpdateHooks();
}

void Machine::SetBreakpoint(int address) {
  m_breakpoint = address;
  UpdateHooks();
}

void Machine::Continue() {
  if (!m_atBreakpoint) return;
  m_atBreakpoint = false;
  m_cpu.SkipHookOnce();
  m_cpu.Resume();
}

bool Machine::BeforeInstruction(uint16_t pc) {
  if (m_breakpoint >= 0 && pc == m_breakpoint) {
    m_atBreakpoint = true;
    char text[64];
    std::snprintf(text, sizeof text, "breakpoint at 0x%04X", pc);
    Message(text);
    Message(RegisterText());
    m_cpu.EndBatch();
    return false;
  }
  if (m_trace) {
    uint8_t bytes[5];
    for (int i = 0; i < 5; ++i) bytes[i] = Peek(static_cast<uint16_t>(pc + i));
    std::string text;
    int length = Disassemble(bytes, pc, text);
    char line[200];
    char hex[16] = "";
    for (int i = 0, at = 0; i < length; ++i)
      at += std::snprintf(hex + at, sizeof hex - at, "%02X ", bytes[i]);
    const Registers& r = m_cpu.Regs();
    std::snprintf(line, sizeof line, "%04X  %-13s %-28s A=%02X B=%02X X=%04X Y=%04X SP=%04X CCR=%02X", pc,
                  hex, text.c_str(), r.a, r.b, r.x, r.y, r.sp, r.ccr);
    Message(line);
  }
  return true;
}

std::string Machine::RegisterText() const {
  const Registers& r = m_cpu.Regs();
  static const char kFlags[] = "SXHINZVC";
  char flags[9];
  for (int i = 0; i < 8; ++i) flags[i] = (r.ccr & (0x80 >> i)) ? kFlags[i] : '-';
  flags[8] = 0;
  const char* state = "running";
  switch (m_cpu.State()) {
    case CpuState::Waiting:
      state = "waiting (WAI)";
      break;
    case CpuState::Stopped:
      state = "stopped (STOP)";
      break;
    case CpuState::Halted:
      state = m_atBreakpoint ? "at a breakpoint" : !m_crash.empty() ? "crashed" : "halted (TEST)";
      break;
    case CpuState::Running:
      break;
  }
  char text[240];
  std::snprintf(
      text, sizeof text,
      "PC=%04X A=%02X B=%02X D=%04X X=%04X Y=%04X SP=%04X CCR=%02X %s\ncycles %llu (%.6f s at E = %.0f Hz), "
      "%s mode, CPU %s",
      r.pc, r.a, r.b, (r.a << 8) | r.b, r.x, r.y, r.sp, r.ccr, flags, static_cast<unsigned long long>(Now()),
      static_cast<double>(Now()) / m_eHz, m_eHz, ModeName(Mode()), state);
  return text;
}

}  // namespace hc11
