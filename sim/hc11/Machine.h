// The MC68HC11F1 on the controller board: CPU, 1 KB RAM, the 96-byte
// register block (SCI, timer, EEPROM programming, HPRIO, INIT, CONFIG), 512
// bytes of EEPROM, the boot ROM in bootstrap mode and the external flash
// chip on the expanded bus.  Nothing here knows of threads or terminals:
// the caller hands it the host's bytes with the host's rate and runs it
// for a number of E cycles at a time.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/hc11/Cpu.h"
#include "sim/hc11/FlashChip.h"
#include "sim/hc11/Sci.h"

namespace hc11 {

// Operating modes by SMOD and MDA (M68HC11 Reference Manual, HPRIO).
enum class McuMode { SingleChip, Expanded, Bootstrap, SpecialTest };

struct MachineOptions {
  double crystalHz = 8e6;  // E = crystal / 4
  FlashChip::Kind chip = FlashChip::Kind::Am29F010;
  int chipEraseMs = 1000;
  uint8_t config = 0x0F;  // CONFIG cell out of the box: EEPROM on at 0x0E00
  // Skip the turns of loops that only an event can end.  Off only to prove
  // that skipping changes nothing.
  bool skipIdle = true;
};

class Machine : public CpuBus {
 public:
  static constexpr uint64_t NEVER = Sci::NEVER;
  static constexpr unsigned RAM_SIZE = 0x400, REG_SIZE = 0x60, EEPROM_SIZE = 0x200;

  // Register offsets in the block (MC68HC11F1 technical data, register map).
  enum Reg : uint8_t {
    TCNT = 0x0E,
    TOC1 = 0x16,
    TOC2 = 0x18,
    TOC3 = 0x1A,
    TOC4 = 0x1C,
    TI4O5 = 0x1E,
    TMSK1 = 0x22,
    TFLG1 = 0x23,
    TMSK2 = 0x24,
    TFLG2 = 0x25,
    PACTL = 0x26,
    BAUD = 0x2B,
    SCCR1 = 0x2C,
    SCCR2 = 0x2D,
    SCSR = 0x2E,
    SCDR = 0x2F,
    BPROT = 0x35,
    OPTION = 0x39,
    PPROG = 0x3B,
    HPRIO = 0x3C,
    INIT = 0x3D,
    CONFIG = 0x3F,
  };
  static constexpr uint8_t PPROG_BYTE = 0x10, PPROG_ROW = 0x08, PPROG_ERASE = 0x04, PPROG_EELAT = 0x02,
                           PPROG_EPGM = 0x01;
  static constexpr uint8_t HPRIO_RBOOT = 0x80, HPRIO_SMOD = 0x40, HPRIO_MDA = 0x20, HPRIO_IRV = 0x10;

  enum class RunStop {
    Limit,   // reached the limit
    Idle,    // nothing can happen before an outside event (a host byte)
    Halted,  // the CPU is halted (crash, TEST, breakpoint) and no peripheral is busy
  };

  struct Stats {
    unsigned eepromPulses = 0;  // EPGM pulses that changed the array
    unsigned shortPulses = 0;   // EPGM pulses too short to program or erase
    unsigned illegalOpcodes = 0;
    unsigned idleSkips = 0;
    uint64_t idleCyclesSkipped = 0;
  };

  explicit Machine(const MachineOptions& options);
  // The CPU holds a reference to its machine: never copied or moved.
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Reset into `mode`; RAM, EEPROM, the CONFIG cell and the flash keep their
  // contents, as across a real reset.
  void Reset(McuMode mode = McuMode::Bootstrap);
  McuMode Mode() const;
  double EHz() const { return m_eHz; }
  uint64_t Now() const { return m_cpu.Cycles(); }

  RunStop Run(uint64_t limit);
  // True when the last Run ended with the CPU in a loop that only an event
  // can end, waiting, stopped or halted: nothing to compute until an event.
  bool IdleNow() const { return m_idleNow; }
  // Earliest internal event (SCI, timer, flash chip); NEVER when none.
  uint64_t NextEvent();

  // The host's side of the wire: one byte at the host's rate, starting no
  // earlier than now.  `tag` comes back in the SCI's received log.
  void HostByte(uint8_t byte, int baud, int tag);
  int SciBaud() const;  // the SCI's rate now, bit/s

  // Memory as the CPU would read it now, without side effects, and a back
  // door that writes the storage behind an address.
  uint8_t Peek(uint16_t address) const;
  void Poke(uint16_t address, uint8_t value);

  Cpu& GetCpu() { return m_cpu; }
  const Cpu& GetCpu() const { return m_cpu; }
  Sci& GetSci() { return m_sci; }
  FlashChip& Chip() { return m_chip; }
  const FlashChip& Chip() const { return m_chip; }
  std::array<uint8_t, RAM_SIZE>& Ram() { return m_ram; }
  std::array<uint8_t, EEPROM_SIZE>& Eeprom() { return m_eeprom; }
  uint8_t ConfigCell() const { return m_configCell; }
  void SetConfigCell(uint8_t value) {
    m_configCell = value;
    m_config = value;
    Remap();
  }
  uint8_t Register(uint8_t offset) const { return m_regs[offset % REG_SIZE]; }
  const Stats& GetStats() const { return m_stats; }
  // Bytes the boot ROM has written to SCDR since reset: its echoes.
  unsigned BootRomTransmits() const { return m_romTransmits; }

  // Crash: the CPU ran into space where nothing answers.  Empty when none.
  const std::string& Crash() const { return m_crash; }
  // Things worth telling the console, in order (crash, traps, short EEPROM
  // pulses, breakpoints, trace lines when tracing).
  std::vector<std::string> TakeMessages();
  void SetTrace(bool on);
  bool Tracing() const { return m_trace; }
  void SetBreakpoint(int address);  // -1: none
  int Breakpoint() const { return m_breakpoint; }
  bool AtBreakpoint() const { return m_atBreakpoint; }
  void Continue();
  std::string RegisterText() const;

  // CpuBus
  uint8_t BusRead(uint16_t address) override;
  void BusWrite(uint16_t address, uint8_t value) override;
  uint8_t BusFetch(uint16_t address) override;
  uint16_t InterruptVector() override;
  void OnIllegalOpcode(uint16_t address, uint8_t page, uint8_t opcode) override;
  bool BeforeInstruction(uint16_t pc) override;

 private:
  enum class Area { Regs, Ram, BootRom, Eeprom, External, None };
  Area Decode(uint16_t address, unsigned& offset) const;
  void Remap();
  void UpdateHooks();
  uint8_t ReadReg(uint8_t offset);
  void WriteReg(uint8_t offset, uint8_t value);
  void WritePprog(uint8_t value);
  void EepromWrite(int cell, uint8_t value);
  void ApplyPulse(uint8_t pprog);
  bool CellProtected(int cell) const;
  int CellOf(uint16_t address) const;  // EEPROM index, CELL_CONFIG, or -1
  bool Special() const { return m_regs[HPRIO] & HPRIO_SMOD; }
  bool Expanded() const { return m_regs[HPRIO] & HPRIO_MDA; }
  bool EarlyOrSpecial() const { return Special() || Now() - m_resetAt < 64; }

  void ProcessEvents();
  void UpdateIrq();
  // Timer (M68HC11 Reference Manual, main timer): TCNT, output compares,
  // overflow and the real-time interrupt.
  unsigned TimerPrescale() const;
  uint16_t Tcnt(uint64_t at) const;
  uint64_t NextMatch(uint16_t value, uint64_t after) const;  // first cycle > after where TCNT becomes value
  uint64_t RtiPeriod() const;
  uint64_t NextTimerEvent() const;
  void AdvanceTimer(uint64_t now);
  void Message(const std::string& text);

  MachineOptions m_options;
  double m_eHz;
  Cpu m_cpu;
  Sci m_sci;
  FlashChip m_chip;
  std::array<uint8_t, RAM_SIZE> m_ram{};
  std::array<uint8_t, REG_SIZE> m_regs{};
  std::array<uint8_t, EEPROM_SIZE> m_eeprom;
  std::array<uint8_t, 256> m_bootRom{};
  uint8_t m_configCell;
  uint8_t m_config;  // the working copy that maps the EEPROM
  uint16_t m_ramBase = 0, m_regBase = 0x1000;
  uint64_t m_resetAt = 0;

  // EEPROM programming
  int m_latchCell = -1;  // -1 none, else EEPROM index or CELL_CONFIG
  uint8_t m_latchData = 0xFF;
  uint64_t m_epgmStart = 0;

  // Timer
  uint64_t m_tcntCycle = 0;  // TCNT was m_tcntValue at this cycle
  uint16_t m_tcntValue = 0;
  uint64_t m_rtiBase = 0;
  uint64_t m_timerDone = 0;  // events up to here have been applied

  bool m_chipArray = true;  // the chip was in array mode at the last remap
  std::string m_crash;
  std::vector<std::string> m_messages;
  bool m_trace = false;
  int m_breakpoint = -1;
  bool m_atBreakpoint = false;
  bool m_idleNow = false;
  unsigned m_romTransmits = 0;
  Stats m_stats;
};

const char* ModeName(McuMode mode);

}  // namespace hc11
