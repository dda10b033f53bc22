#include "sim/hc11/Cpu.h"

#include "sim/hc11/Opcodes.h"

namespace hc11 {

namespace {
// Entering an interrupt stacks nine bytes and fetches the two-byte vector;
// the reference manual's SWI figure (14 cycles) includes the opcode fetch
// and one internal cycle that a hardware request does not spend.
constexpr unsigned kInterruptEntryCycles = 12;
// The illegal-opcode trap stacks and vectors like SWI.
constexpr unsigned kIllegalTrapCycles = 14;
// Leaving WAI only fetches the vector: the registers are stacked already.
constexpr unsigned kWaiWakeCycles = 2;
}  // namespace

Cpu::Cpu(CpuBus& bus) : m_bus(bus) {}

void Cpu::UnmapAll() {
  m_read.fill(nullptr);
  m_write.fill(nullptr);
}

void Cpu::Reset() {
  m_r = Registers{};
  m_r.ccr = CCR_S | CCR_X | CCR_I;
  m_r.pc = Rd16(static_cast<uint16_t>(m_vectorBase + VEC_RESET));
  m_state = CpuState::Running;
  m_irq = false;
  m_skipHook = false;
  ClearIdle();
}

unsigned Cpu::Step() {
  uint64_t before = m_cycles;
  Run(m_cycles + 1);
  return static_cast<unsigned>(m_cycles - before);
}

void Cpu::Run(uint64_t stop) {
  m_endBatch = false;
  m_idlePeriod = 0;
  while (m_cycles < stop && !m_endBatch) {
    if (m_state != CpuState::Running) {
      if (m_state == CpuState::Waiting && m_irq && !(m_r.ccr & CCR_I)) {
        m_state = CpuState::Running;
        Vector(m_bus.InterruptVector());
        m_cycles += kWaiWakeCycles;
        continue;
      }
      return;
    }
    if (m_irq && !(m_r.ccr & CCR_I)) {
      TakeInterrupt();
      continue;
    }
    if (m_hooks) {
      if (m_skipHook) {
        m_skipHook = false;
      } else if (!m_bus.BeforeInstruction(m_r.pc)) {
        m_state = CpuState::Halted;
        return;
      }
    }
    m_instructionPc = m_r.pc;
    const uint8_t* page = m_read[m_r.pc >> 8];
    uint8_t first = page ? page[m_r.pc & 0xFF] : m_bus.BusFetch(m_r.pc);
    ++m_r.pc;
    Execute(first);
    if (m_idlePeriod) return;
  }
}

void Cpu::StackAll() {
  Push16(m_r.pc);
  Push16(m_r.y);
  Push16(m_r.x);
  Push8(m_r.a);
  Push8(m_r.b);
  Push8(m_r.ccr);
}

void Cpu::Vector(uint16_t vectorAddress) {
  m_r.ccr |= CCR_I;
  m_r.pc = Rd16(vectorAddress);
}

void Cpu::TakeInterrupt() {
  StackAll();
  Vector(m_bus.InterruptVector());
  m_cycles += kInterruptEntryCycles;
}

void Cpu::Illegal(uint16_t at, uint8_t page, uint8_t op) {
  // M68HC11 Reference Manual, illegal opcode trap: the stacked return address
  // is the first byte of the illegal opcode, prebyte included.
  m_r.pc = at;
  StackAll();
  Vector(static_cast<uint16_t>(m_vectorBase + VEC_ILLEGAL));
  m_cycles += kIllegalTrapCycles + (page ? 1 : 0);
  m_bus.OnIllegalOpcode(at, page, op);
}

void Cpu::JumpTo(uint16_t target, uint16_t from) {
  if (target <= from) {
    if (target == m_loopPc && m_writes == m_loopWrites && !m_volatile) {
      Registers now = m_r;
      now.pc = target;
      if (now == m_loopRegs) {
        m_idlePeriod = m_cycles - m_loopCycles;
        m_loopCycles = m_cycles;  // the next turn is measured from here
        m_r.pc = target;
        return;
      }
    }
    m_loopPc = target;
    m_loopRegs = m_r;
    m_loopRegs.pc = target;
    m_loopCycles = m_cycles;
    m_loopWrites = m_writes;
    m_volatile = false;
  }
  m_r.pc = target;
}

void Cpu::Branch(bool taken, int8_t offset, uint16_t from) {
  if (taken) JumpTo(static_cast<uint16_t>(m_r.pc + offset), from);
}

uint8_t Cpu::Add8(uint8_t a, uint8_t m, unsigned carry, bool half) {
  unsigned r = a + m + carry;
  uint8_t res = static_cast<uint8_t>(r);
  uint8_t f = static_cast<uint8_t>((res & 0x80 ? CCR_N : 0) | (res ? 0 : CCR_Z) |
                                   ((~(a ^ m) & (a ^ res) & 0x80) ? CCR_V : 0) | (r & 0x100 ? CCR_C : 0));
  uint8_t mask = CCR_N | CCR_Z | CCR_V | CCR_C;
  if (half) {
    mask |= CCR_H;
    if ((a ^ m ^ res) & 0x10) f |= CCR_H;
  }
  Flags(mask, f);
  return res;
}

uint8_t Cpu::Sub8(uint8_t a, uint8_t m, unsigned borrow) {
  int r = static_cast<int>(a) - static_cast<int>(m) - static_cast<int>(borrow);
  uint8_t res = static_cast<uint8_t>(r);
  Flags(CCR_N | CCR_Z | CCR_V | CCR_C,
        static_cast<uint8_t>((res & 0x80 ? CCR_N : 0) | (res ? 0 : CCR_Z) |
                             (((a ^ m) & (a ^ res) & 0x80) ? CCR_V : 0) | (r < 0 ? CCR_C : 0)));
  return res;
}

uint16_t Cpu::Add16(uint16_t a, uint16_t m) {
  uint32_t r = static_cast<uint32_t>(a) + m;
  uint16_t res = static_cast<uint16_t>(r);
  Flags(CCR_N | CCR_Z | CCR_V | CCR_C,
        static_cast<uint8_t>((res & 0x8000 ? CCR_N : 0) | (res ? 0 : CCR_Z) |
                             ((~(a ^ m) & (a ^ res) & 0x8000) ? CCR_V : 0) | (r & 0x10000 ? CCR_C : 0)));
  return res;
}

uint16_t Cpu::Sub16(uint16_t a, uint16_t m) {
  int32_t r = static_cast<int32_t>(a) - static_cast<int32_t>(m);
  uint16_t res = static_cast<uint16_t>(r);
  Flags(CCR_N | CCR_Z | CCR_V | CCR_C,
        static_cast<uint8_t>((res & 0x8000 ? CCR_N : 0) | (res ? 0 : CCR_Z) |
                             (((a ^ m) & (a ^ res) & 0x8000) ? CCR_V : 0) | (r < 0 ? CCR_C : 0)));
  return res;
}

// Shift and rotate V is N xor C after the operation (reference manual,
// LSR/ASR/ASL/ROL/ROR condition codes).
uint8_t Cpu::Rmw(uint8_t op, uint8_t v) {
  uint8_t r = v;
  bool c = m_r.ccr & CCR_C;
  auto shiftFlags = [&](uint8_t res, bool carry) {
    bool n = res & 0x80;
    Flags(CCR_N | CCR_Z | CCR_V | CCR_C,
          static_cast<uint8_t>((n ? CCR_N : 0) | (res ? 0 : CCR_Z) | ((n != carry) ? CCR_V : 0) |
                               (carry ? CCR_C : 0)));
  };
  switch (op & 0x0F) {
    case 0x0:  // NEG
      r = static_cast<uint8_t>(0 - v);
      Flags(CCR_N | CCR_Z | CCR_V | CCR_C, static_cast<uint8_t>((r & 0x80 ? CCR_N : 0) | (r ? 0 : CCR_Z) |
                                                                (r == 0x80 ? CCR_V : 0) | (r ? CCR_C : 0)));
      break;
    case 0x3:  // COM
      r = static_cast<uint8_t>(~v);
      NZV0_8(r);
      m_r.ccr |= CCR_C;
      break;
    case 0x4:  // LSR
      r = static_cast<uint8_t>(v >> 1);
      shiftFlags(r, v & 1);
      break;
    case 0x6:  // ROR
      r = static_cast<uint8_t>((v >> 1) | (c ? 0x80 : 0));
      shiftFlags(r, v & 1);
      break;
    case 0x7:  // ASR
      r = static_cast<uint8_t>((v >> 1) | (v & 0x80));
      shiftFlags(r, v & 1);
      break;
    case 0x8:  // ASL
      r = static_cast<uint8_t>(v << 1);
      shiftFlags(r, v & 0x80);
      break;
    case 0x9:  // ROL
      r = static_cast<uint8_t>((v << 1) | (c ? 1 : 0));
      shiftFlags(r, v & 0x80);
      break;
    case 0xA:  // DEC
      r = static_cast<uint8_t>(v - 1);
      Flags(CCR_N | CCR_Z | CCR_V,
            static_cast<uint8_t>((r & 0x80 ? CCR_N : 0) | (r ? 0 : CCR_Z) | (r == 0x7F ? CCR_V : 0)));
      break;
    case 0xC:  // INC
      r = static_cast<uint8_t>(v + 1);
      Flags(CCR_N | CCR_Z | CCR_V,
            static_cast<uint8_t>((r & 0x80 ? CCR_N : 0) | (r ? 0 : CCR_Z) | (r == 0x80 ? CCR_V : 0)));
      break;
    case 0xD:  // TST
      NZV0_8(v);
      m_r.ccr &= static_cast<uint8_t>(~CCR_C);
      break;
    case 0xF:  // CLR
      r = 0;
      Flags(CCR_N | CCR_Z | CCR_V | CCR_C, CCR_Z);
      break;
  }
  return r;
}

void Cpu::Execute(uint8_t first) {
  int page = PageOf(first);
  uint8_t op = first;
  if (page) op = Fetch8();
  const OpInfo& info = Op(page, op);
  if (info.mode == Mode::None) {
    Illegal(m_instructionPc, static_cast<uint8_t>(page ? first : 0), op);
    return;
  }
  m_cycles += info.cycles;
  if (page == 0)
    ExecMain(op, m_r.x, info);
  else if (page == 1)
    ExecMain(op, m_r.y, info);
  else
    ExecPage3or4(page, op);
}

void Cpu::ExecPage3or4(int page, uint8_t op) {
  uint16_t& ix = page == 2 ? m_r.x : m_r.y;
  uint16_t ea;
  switch (op) {
    case 0x83:
      ea = m_r.pc;
      m_r.pc = static_cast<uint16_t>(m_r.pc + 2);
      break;
    case 0x93:
      ea = Fetch8();
      break;
    case 0xB3:
      ea = Fetch16();
      break;
    default:
      ea = static_cast<uint16_t>(ix + Fetch8());
      break;
  }
  switch (op) {
    case 0x83:
    case 0x93:
    case 0xA3:
    case 0xB3:
      Sub16(D(), Rd16(ea));
      break;
    case 0xAC:  // CPY through X, CPX through Y: the register not used as index
      Sub16(page == 2 ? m_r.y : m_r.x, Rd16(ea));
      break;
    case 0xEE: {
      uint16_t& dst = page == 2 ? m_r.y : m_r.x;
      dst = Rd16(ea);
      NZV0_16(dst);
      break;
    }
    case 0xEF: {
      uint16_t src = page == 2 ? m_r.y : m_r.x;
      Wr16(ea, src);
      NZV0_16(src);
      break;
    }
  }
}

void Cpu::ExecMain(uint8_t op, uint16_t& ix, const OpInfo& info) {
  const uint16_t at = m_instructionPc;
  if (op >= 0x80 && op != 0x8D && op != 0x8F && op != 0xCF) {
    uint16_t ea;
    switch (info.mode) {
      case Mode::Imm8:
        ea = m_r.pc++;
        break;
      case Mode::Imm16:
        ea = m_r.pc;
        m_r.pc = static_cast<uint16_t>(m_r.pc + 2);
        break;
      case Mode::Dir:
        ea = Fetch8();
        break;
      case Mode::Ext:
        ea = Fetch16();
        break;
      default:  // Idx
        ea = static_cast<uint16_t>(ix + Fetch8());
        break;
    }
    const bool isB = op & 0x40;
    uint8_t& acc = isB ? m_r.b : m_r.a;
    switch (op & 0x0F) {
      case 0x0:
        acc = Sub8(acc, Rd(ea), 0);
        break;
      case 0x1:
        Sub8(acc, Rd(ea), 0);
        break;
      case 0x2:
        acc = Sub8(acc, Rd(ea), m_r.ccr & CCR_C);
        break;
      case 0x3:
        SetD(isB ? Add16(D(), Rd16(ea)) : Sub16(D(), Rd16(ea)));
        break;
      case 0x4:
        acc &= Rd(ea);
        NZV0_8(acc);
        break;
      case 0x5:
        NZV0_8(static_cast<uint8_t>(acc & Rd(ea)));
        break;
      case 0x6:
        acc = Rd(ea);
        NZV0_8(acc);
        break;
      case 0x7:
        Wr(ea, acc);
        NZV0_8(acc);
        break;
      case 0x8:
        acc ^= Rd(ea);
        NZV0_8(acc);
        break;
      case 0x9:
        acc = Add8(acc, Rd(ea), m_r.ccr & CCR_C, true);
        break;
      case 0xA:
        acc |= Rd(ea);
        NZV0_8(acc);
        break;
      case 0xB:
        acc = Add8(acc, Rd(ea), 0, true);
        break;
      case 0xC:
        if (isB) {
          SetD(Rd16(ea));
          NZV0_16(D());
        } else {
          Sub16(ix, Rd16(ea));  // CPX / CPY
        }
        break;
      case 0xD:
        if (isB) {
          Wr16(ea, D());
          NZV0_16(D());
        } else {  // JSR
          Push16(m_r.pc);
          m_r.pc = ea;
        }
        break;
      case 0xE:
        if (isB) {
          ix = Rd16(ea);
          NZV0_16(ix);
        } else {
          m_r.sp = Rd16(ea);
          NZV0_16(m_r.sp);
        }
        break;
      case 0xF:
        if (isB) {
          Wr16(ea, ix);
          NZV0_16(ix);
        } else {
          Wr16(ea, m_r.sp);
          NZV0_16(m_r.sp);
        }
        break;
    }
    return;
  }

  if (op >= 0x40 && op < 0x80) {
    if (op < 0x50) {
      m_r.a = Rmw(op, m_r.a);
      return;
    }
    if (op < 0x60) {
      m_r.b = Rmw(op, m_r.b);
      return;
    }
    uint16_t ea = op < 0x70 ? static_cast<uint16_t>(ix + Fetch8()) : Fetch16();
    if ((op & 0x0F) == 0x0E) {  // JMP
      JumpTo(ea, at);
      return;
    }
    uint8_t v = Rd(ea);
    uint8_t r = Rmw(op, v);
    if ((op & 0x0F) != 0x0D) Wr(ea, r);
    return;
  }

  if (op >= 0x20 && op < 0x30) {
    int8_t offset = static_cast<int8_t>(Fetch8());
    const uint8_t c = m_r.ccr;
    const bool C = c & CCR_C, Z = c & CCR_Z, N = c & CCR_N, V = c & CCR_V;
    bool taken = false;
    switch (op) {
      case 0x20:
        taken = true;
        break;
      case 0x21:
        taken = false;
        break;
      case 0x22:
        taken = !(C || Z);
        break;
      case 0x23:
        taken = C || Z;
        break;
      case 0x24:
        taken = !C;
        break;
      case 0x25:
        taken = C;
        break;
      case 0x26:
        taken = !Z;
        break;
      case 0x27:
        taken = Z;
        break;
      case 0x28:
        taken = !V;
        break;
      case 0x29:
        taken = V;
        break;
      case 0x2A:
        taken = !N;
        break;
      case 0x2B:
        taken = N;
        break;
      case 0x2C:
        taken = N == V;
        break;
      case 0x2D:
        taken = N != V;
        break;
      case 0x2E:
        taken = !Z && N == V;
        break;
      case 0x2F:
        taken = Z || N != V;
        break;
    }
    Branch(taken, offset, at);
    return;
  }

  switch (op) {
    case 0x00:  // TEST
      if (!m_special) {
        Illegal(at, 0, op);
        return;
      }
      // Only for factory test: the address bus counts up until reset.
      m_r.pc = at;
      m_state = CpuState::Halted;
      return;
    case 0x01:
      return;
    case 0x02: {  // IDIV
      uint16_t n = D(), d = ix;
      if (d == 0) {
        // Reference manual: quotient $FFFF, remainder indeterminate.
        ix = 0xFFFF;
        Flags(CCR_Z | CCR_V | CCR_C, CCR_C);
      } else {
        ix = static_cast<uint16_t>(n / d);
        SetD(static_cast<uint16_t>(n % d));
        Flags(CCR_Z | CCR_V | CCR_C, ix ? 0 : CCR_Z);
      }
      return;
    }
    case 0x03: {  // FDIV
      uint16_t n = D(), d = ix;
      uint8_t f = 0;
      if (d <= n) f |= CCR_V;  // also covers d == 0
      if (d == 0) f |= CCR_C;
      if (f) {
        ix = 0xFFFF;
      } else {
        uint32_t num = static_cast<uint32_t>(n) << 16;
        ix = static_cast<uint16_t>(num / d);
        SetD(static_cast<uint16_t>(num % d));
        if (!ix) f |= CCR_Z;
      }
      Flags(CCR_Z | CCR_V | CCR_C, f);
      return;
    }
    case 0x04: {  // LSRD
      uint16_t d = D();
      bool c = d & 1;
      d = static_cast<uint16_t>(d >> 1);
      SetD(d);
      Flags(CCR_N | CCR_Z | CCR_V | CCR_C, static_cast<uint8_t>((d ? 0 : CCR_Z) | (c ? CCR_V | CCR_C : 0)));
      return;
    }
    case 0x05: {  // ASLD
      uint16_t d = D();
      bool c = d & 0x8000;
      d = static_cast<uint16_t>(d << 1);
      SetD(d);
      bool n = d & 0x8000;
      Flags(CCR_N | CCR_Z | CCR_V | CCR_C,
            static_cast<uint8_t>((n ? CCR_N : 0) | (d ? 0 : CCR_Z) | (n != c ? CCR_V : 0) | (c ? CCR_C : 0)));
      return;
    }
    case 0x06:  // TAP: X can be cleared but not set
      m_r.ccr = static_cast<uint8_t>((m_r.a & ~CCR_X) | (m_r.a & m_r.ccr & CCR_X));
      return;
    case 0x07:
      m_r.a = m_r.ccr;
      return;
    case 0x08:
      ++ix;
      Flags(CCR_Z, ix ? 0 : CCR_Z);
      return;
    case 0x09:
      --ix;
      Flags(CCR_Z, ix ? 0 : CCR_Z);
      return;
    case 0x0A:
      m_r.ccr &= static_cast<uint8_t>(~CCR_V);
      return;
    case 0x0B:
      m_r.ccr |= CCR_V;
      return;
    case 0x0C:
      m_r.ccr &= static_cast<uint8_t>(~CCR_C);
      return;
    case 0x0D:
      m_r.ccr |= CCR_C;
      return;
    case 0x0E:
      m_r.ccr &= static_cast<uint8_t>(~CCR_I);
      return;
    case 0x0F:
      m_r.ccr |= CCR_I;
      return;
    case 0x10:
      m_r.a = Sub8(m_r.a, m_r.b, 0);
      return;
    case 0x11:
      Sub8(m_r.a, m_r.b, 0);
      return;
    case 0x12:
    case 0x13:
    case 0x1E:
    case 0x1F: {  // BRSET / BRCLR
      uint16_t ea = op < 0x1E ? Fetch8() : static_cast<uint16_t>(ix + Fetch8());
      uint8_t mask = Fetch8();
      int8_t offset = static_cast<int8_t>(Fetch8());
      uint8_t v = Rd(ea);
      bool set = (op & 1) == 0;  // 0x12, 0x1E: BRSET
      bool taken = set ? (static_cast<uint8_t>(~v) & mask) == 0 : (v & mask) == 0;
      Branch(taken, offset, at);
      return;
    }
    case 0x14:
    case 0x15:
    case 0x1C:
    case 0x1D: {  // BSET / BCLR
      uint16_t ea = op < 0x1C ? Fetch8() : static_cast<uint16_t>(ix + Fetch8());
      uint8_t mask = Fetch8();
      uint8_t v = Rd(ea);
      v = (op & 1) == 0 ? static_cast<uint8_t>(v | mask) : static_cast<uint8_t>(v & ~mask);
      Wr(ea, v);
      NZV0_8(v);
      return;
    }
    case 0x16:
      m_r.b = m_r.a;
      NZV0_8(m_r.b);
      return;
    case 0x17:
      m_r.a = m_r.b;
      NZV0_8(m_r.a);
      return;
    case 0x19: {  // DAA, reference manual DAA correction table
      uint8_t a = m_r.a;
      unsigned lo = a & 0x0F, hi = a >> 4, correction = 0;
      bool carry = m_r.ccr & CCR_C;
      if ((m_r.ccr & CCR_H) || lo > 9) correction |= 0x06;
      if (carry || hi > 9 || (hi >= 9 && lo > 9)) {
        correction |= 0x60;
        carry = true;
      }
      m_r.a = static_cast<uint8_t>(a + correction);
      NZ8(m_r.a);
      Flags(CCR_C, carry ? CCR_C : 0);  // V is not defined by the manual; left alone
      return;
    }
    case 0x1B:
      m_r.a = Add8(m_r.a, m_r.b, 0, true);
      return;
    case 0x30:
      ix = static_cast<uint16_t>(m_r.sp + 1);
      return;
    case 0x31:
      ++m_r.sp;
      return;
    case 0x32:
      m_r.a = Pull8();
      return;
    case 0x33:
      m_r.b = Pull8();
      return;
    case 0x34:
      --m_r.sp;
      return;
    case 0x35:
      m_r.sp = static_cast<uint16_t>(ix - 1);
      return;
    case 0x36:
      Push8(m_r.a);
      return;
    case 0x37:
      Push8(m_r.b);
      return;
    case 0x38:
      ix = Pull16();
      return;
    case 0x39:
      m_r.pc = Pull16();
      return;
    case 0x3A:
      ix = static_cast<uint16_t>(ix + m_r.b);
      return;
    case 0x3B: {  // RTI: X can be cleared but not set
      uint8_t ccr = Pull8();
      m_r.b = Pull8();
      m_r.a = Pull8();
      m_r.x = Pull16();
      m_r.y = Pull16();
      m_r.pc = Pull16();
      m_r.ccr = static_cast<uint8_t>((ccr & ~CCR_X) | (ccr & m_r.ccr & CCR_X));
      return;
    }
    case 0x3C:
      Push16(ix);
      return;
    case 0x3D: {  // MUL: C is bit 7 of the result, for rounding into A
      uint16_t d = static_cast<uint16_t>(m_r.a * m_r.b);
      SetD(d);
      Flags(CCR_C, d & 0x80 ? CCR_C : 0);
      return;
    }
    case 0x3E:
      StackAll();
      m_state = CpuState::Waiting;
      return;
    case 0x3F:
      StackAll();
      Vector(static_cast<uint16_t>(m_vectorBase + VEC_SWI));
      return;
    case 0x8D: {  // BSR
      int8_t offset = static_cast<int8_t>(Fetch8());
      Push16(m_r.pc);
      m_r.pc = static_cast<uint16_t>(m_r.pc + offset);
      return;
    }
    case 0x8F: {  // XGDX / XGDY
      uint16_t d = D();
      SetD(ix);
      ix = d;
      return;
    }
    case 0xCF:  // STOP is a NOP while S is set
      if (!(m_r.ccr & CCR_S)) m_state = CpuState::Stopped;
      return;
  }
}

}  // namespace hc11
