// The M68HC11 CPU: registers, the four opcode pages, interrupts, WAI and
// STOP.  Memory goes through page tables for plain RAM and array reads, and
// through the CpuBus for everything with side effects (registers, EEPROM,
// the flash chip's command interface).  Time is counted in E cycles.
#pragma once

#include <array>
#include <cstdint>

namespace hc11 {

class CpuBus {
 public:
  virtual uint8_t BusRead(uint16_t address) = 0;
  virtual void BusWrite(uint16_t address, uint8_t value) = 0;
  // Opcode fetch through the slow path: lets the machine notice a program
  // that runs into space where no device answers.
  virtual uint8_t BusFetch(uint16_t address) { return BusRead(address); }
  // Vector address of the highest-priority pending I-maskable interrupt.
  virtual uint16_t InterruptVector() = 0;
  virtual void OnIllegalOpcode(uint16_t address, uint8_t page, uint8_t opcode) = 0;
  // Called before each instruction while hooks are on; false stops the CPU
  // before the instruction (a breakpoint).
  virtual bool BeforeInstruction(uint16_t pc) = 0;

 protected:
  ~CpuBus() = default;
};

enum class CpuState : uint8_t {
  Running,
  Waiting,  // WAI: registers stacked, waiting for an interrupt
  Stopped,  // STOP with S clear: clocks stopped until reset (no IRQ/XIRQ source here)
  Halted,   // TEST, a crash the machine reported, or a breakpoint
};

// CCR bits, M68HC11 Reference Manual, condition code register.
constexpr uint8_t CCR_C = 0x01, CCR_V = 0x02, CCR_Z = 0x04, CCR_N = 0x08, CCR_I = 0x10, CCR_H = 0x20,
                  CCR_X = 0x40, CCR_S = 0x80;

struct Registers {
  uint8_t a = 0, b = 0;
  uint16_t x = 0, y = 0, sp = 0, pc = 0;
  uint8_t ccr = 0;
  bool operator==(const Registers&) const = default;
};

class Cpu {
 public:
  explicit Cpu(CpuBus& bus);

  // Fast paths: `base` points at 256 bytes backing page `page` (address
  // bits 15-8), or nullptr for the bus.
  void MapReadPage(unsigned page, const uint8_t* base) { m_read[page & 0xFF] = base; }
  void MapWritePage(unsigned page, uint8_t* base) { m_write[page & 0xFF] = base; }
  void UnmapAll();

  // Reset: S, X and I set, PC from the reset vector at vectorBase + 0x3E.
  void Reset();
  void SetVectorBase(uint16_t base) { m_vectorBase = base; }  // 0xFFC0 normal, 0xBFC0 special modes
  void SetSpecialMode(bool special) { m_special = special; }  // TEST is legal only there

  // Executes instructions until the cycle count reaches `stop`, the CPU
  // leaves the Running state, EndBatch() is called, or an idle loop is
  // seen (IdlePeriod() then tells its length).
  void Run(uint64_t stop);
  // One instruction (or interrupt entry); returns the cycles it took.
  unsigned Step();
  void EndBatch() { m_endBatch = true; }

  // The machine raises this when an I-maskable source is pending.
  void SetIrq(bool pending) { m_irq = pending; }

  uint64_t Cycles() const { return m_cycles; }
  void AddCycles(uint64_t n) { m_cycles += n; }
  CpuState State() const { return m_state; }
  void Halt() { m_state = CpuState::Halted; }
  void Resume() {
    if (m_state == CpuState::Halted) m_state = CpuState::Running;
  }
  Registers& Regs() { return m_r; }
  const Registers& Regs() const { return m_r; }

  void SetHooks(bool on) { m_hooks = on; }
  void SkipHookOnce() { m_skipHook = true; }  // resume past a breakpoint

  // Loop detection: a backward branch or jump to the same place with every
  // register as it was last time, no write and no read of a free-running
  // counter in between, is a loop that can only end on an outside event.
  uint64_t IdlePeriod() const { return m_idlePeriod; }
  void ClearIdle() {
    m_idlePeriod = 0;
    m_loopPc = 0xFFFFFFFF;
  }
  void NoteVolatileRead() { m_volatile = true; }
  // Skips `turns` further turns of the idle loop just seen: they would have
  // left every register and memory cell as they are.
  void SkipTurns(uint64_t turns) {
    m_cycles += turns * m_idlePeriod;
    m_loopCycles += turns * m_idlePeriod;
  }
  uint64_t Writes() const { return m_writes; }

 private:
  uint8_t Rd(uint16_t a) {
    const uint8_t* p = m_read[a >> 8];
    return p ? p[a & 0xFF] : m_bus.BusRead(a);
  }
  void Wr(uint16_t a, uint8_t v) {
    ++m_writes;
    uint8_t* p = m_write[a >> 8];
    if (p)
      p[a & 0xFF] = v;
    else
      m_bus.BusWrite(a, v);
  }
  uint16_t Rd16(uint16_t a) { return static_cast<uint16_t>((Rd(a) << 8) | Rd(static_cast<uint16_t>(a + 1))); }
  void Wr16(uint16_t a, uint16_t v) {
    Wr(a, static_cast<uint8_t>(v >> 8));
    Wr(static_cast<uint16_t>(a + 1), static_cast<uint8_t>(v));
  }
  uint8_t Fetch8() { return Rd(m_r.pc++); }
  uint16_t Fetch16() {
    uint16_t v = Rd16(m_r.pc);
    m_r.pc = static_cast<uint16_t>(m_r.pc + 2);
    return v;
  }
  void Push8(uint8_t v) { Wr(m_r.sp--, v); }
  void Push16(uint16_t v) {
    Push8(static_cast<uint8_t>(v));
    Push8(static_cast<uint8_t>(v >> 8));
  }
  uint8_t Pull8() { return Rd(++m_r.sp); }
  uint16_t Pull16() {
    uint16_t hi = Pull8();
    return static_cast<uint16_t>((hi << 8) | Pull8());
  }
  uint16_t D() const { return static_cast<uint16_t>((m_r.a << 8) | m_r.b); }
  void SetD(uint16_t d) {
    m_r.a = static_cast<uint8_t>(d >> 8);
    m_r.b = static_cast<uint8_t>(d);
  }

  void Flags(uint8_t mask, uint8_t set) { m_r.ccr = static_cast<uint8_t>((m_r.ccr & ~mask) | set); }
  void NZ8(uint8_t r) {
    Flags(CCR_N | CCR_Z, static_cast<uint8_t>((r & 0x80 ? CCR_N : 0) | (r ? 0 : CCR_Z)));
  }
  void NZ16(uint16_t r) {
    Flags(CCR_N | CCR_Z, static_cast<uint8_t>((r & 0x8000 ? CCR_N : 0) | (r ? 0 : CCR_Z)));
  }
  void NZV0_8(uint8_t r) {
    NZ8(r);
    m_r.ccr &= static_cast<uint8_t>(~CCR_V);
  }
  void NZV0_16(uint16_t r) {
    NZ16(r);
    m_r.ccr &= static_cast<uint8_t>(~CCR_V);
  }
  uint8_t Add8(uint8_t a, uint8_t m, unsigned carry, bool half);
  uint8_t Sub8(uint8_t a, uint8_t m, unsigned borrow);
  uint16_t Add16(uint16_t a, uint16_t m);
  uint16_t Sub16(uint16_t a, uint16_t m);
  uint8_t Rmw(uint8_t op, uint8_t v);  // the 0x40-0x7F column operations

  void Execute(uint8_t first);
  void ExecMain(uint8_t op, uint16_t& ix, const struct OpInfo& info);
  void ExecPage3or4(int page, uint8_t op);
  void Branch(bool taken, int8_t offset, uint16_t from);
  void JumpTo(uint16_t target, uint16_t from);
  void Illegal(uint16_t at, uint8_t page, uint8_t op);
  void StackAll();
  void Vector(uint16_t vectorAddress);
  void TakeInterrupt();

  CpuBus& m_bus;
  std::array<const uint8_t*, 256> m_read{};
  std::array<uint8_t*, 256> m_write{};
  Registers m_r;
  uint64_t m_cycles = 0;
  CpuState m_state = CpuState::Running;
  uint16_t m_vectorBase = 0xFFC0;
  uint16_t m_instructionPc = 0;
  bool m_special = false;
  bool m_irq = false;
  bool m_endBatch = false;
  bool m_hooks = false;
  bool m_skipHook = false;

  uint64_t m_writes = 0;
  bool m_volatile = false;
  uint32_t m_loopPc = 0xFFFFFFFF;
  Registers m_loopRegs;
  uint64_t m_loopCycles = 0;
  uint64_t m_loopWrites = 0;
  uint64_t m_idlePeriod = 0;
};

// Vector offsets from the vector base (M68HC11 Reference Manual, interrupt
// vector assignments).
constexpr uint16_t VEC_SCI = 0x16, VEC_SPI = 0x18, VEC_PAI = 0x1A, VEC_PAOV = 0x1C, VEC_TOF = 0x1E,
                   VEC_TOC5 = 0x20, VEC_TOC4 = 0x22, VEC_TOC3 = 0x24, VEC_TOC2 = 0x26, VEC_TOC1 = 0x28,
                   VEC_TIC3 = 0x2A, VEC_TIC2 = 0x2C, VEC_TIC1 = 0x2E, VEC_RTI = 0x30, VEC_IRQ = 0x32,
                   VEC_XIRQ = 0x34, VEC_SWI = 0x36, VEC_ILLEGAL = 0x38, VEC_COP = 0x3A, VEC_CLM = 0x3C,
                   VEC_RESET = 0x3E;

}  // namespace hc11
