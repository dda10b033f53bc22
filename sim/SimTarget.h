// The controller behind its serial port: the 68HC11's memory map with the
// register block, the EEPROM and CONFIG physics, the external flash chip, the
// bootstrap ROM and the talker's byte protocol.  It knows nothing of
// pseudo-terminals or threads: the serving thread hands it each byte with the
// time the UART received it and collects what it sends, so paced and unpaced
// runs follow the same logic.  Times are seconds on one monotonic scale and
// must not go backwards between calls.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "sim/VirtualController.h"

class SimTarget {
 public:
  static constexpr unsigned RAM_SIZE = 0x400;
  static constexpr unsigned REG_BASE = 0x1000;
  static constexpr unsigned REG_COUNT = 0x40;
  static constexpr unsigned EEPROM_SIZE = 0x200;
  static constexpr unsigned LOADER_MAX = 1024;

  static constexpr unsigned BPROT = 0x1035;
  static constexpr unsigned PPROG = 0x103B;
  static constexpr unsigned HPRIO = 0x103C;
  static constexpr unsigned CONFIG = 0x103F;

  static constexpr uint8_t PPROG_BYTE = 0x10;
  static constexpr uint8_t PPROG_ROW = 0x08;
  static constexpr uint8_t PPROG_ERASE = 0x04;
  static constexpr uint8_t PPROG_EELAT = 0x02;
  static constexpr uint8_t PPROG_EPGM = 0x01;
  static constexpr uint8_t BPROT_PTCON = 0x10;

  // HPRIO out of reset in bootstrap mode: boot ROM on, special mode.
  static constexpr uint8_t HPRIO_BOOT = 0xE5;
  // The block chip's answer to an erase request it cannot carry out.
  static constexpr uint8_t ERASE_REFUSED = 0x00;
  static constexpr double EPGM_MIN_SECONDS = 0.010;

  explicit SimTarget(const SimOptions& options);

  void Reset();  // into bootstrap mode; RAM, EEPROM, CONFIG and flash survive
  SimMode Mode() const;
  int ListeningBaud() const;

  // One byte as the UART delivered it at time t.
  void Receive(uint8_t byte, double t);
  // Completes whatever fell due by t: the download's idle gap, an erase, an
  // EEPROM byte, and any bytes that waited for them.
  void Advance(double t);
  // When Advance next has something to do; infinity when nothing is pending.
  double NextDeadline() const;
  // Moves the bytes sent since the last call, each with the time it was
  // produced, to the end of `into`.
  void TakeOutput(std::vector<std::pair<uint8_t, double>>& into);

  uint8_t Read(unsigned address) const;        // as the CPU sees it now
  void Poke(unsigned address, uint8_t value);  // back door, no physics
  std::vector<uint8_t>& FlashArray() { return m_flash; }
  std::vector<uint8_t>& EepromArray() { return m_eeprom; }
  uint8_t Config() const { return m_config; }
  void SetConfig(uint8_t value) { m_config = value; }
  const std::vector<uint8_t>& LoaderBytes() const { return m_loader; }

  void CorruptEcho(int nthDataByte) { m_corruptEchoArmed = nthDataByte; }
  void WrongComplementNextCommand() { m_wrongComplementArmed = true; }
  void Stall() { m_stalled = true; }

 private:
  enum class Talk { Idle, Count, AddrHi, AddrLo, WriteData, ReadAck, IdAck, EraseConfirm };
  enum class Busy { None, ChipErase, EepromByte };

  void EndDownload();
  void Process(uint8_t byte, double t);
  void TalkerByte(uint8_t byte, double t);
  void StartDataPhase(double t);
  void WriteDataByte(uint8_t byte, double t);
  void FinishBusy();
  void Emit(uint8_t byte, double t);
  void EmitEcho(uint8_t byte, double t);

  void CpuWrite(unsigned address, uint8_t value, double t);
  void WritePprog(uint8_t value, double t);
  void ApplyPprog(uint8_t pprog);
  int EepromIndex(unsigned address) const;  // -1 when not in the mapped window
  bool CellProtected(int cell) const;       // cell: array index, or -2 for CONFIG
  void EraseCell(int cell);
  void ProgramCell(int cell, uint8_t value);
  int CellOf(unsigned address) const;  // array index, -2 for CONFIG, -1 for neither
  void ProgramFlash(unsigned address, uint8_t value);

  SimOptions m_options;
  std::vector<uint8_t> m_ram;
  std::vector<uint8_t> m_regs;
  std::vector<uint8_t> m_eeprom;
  std::vector<uint8_t> m_flash;
  uint8_t m_config = 0x0F;  // page 0 (0x0E00), EEPROM on
  std::vector<uint8_t> m_loader;

  SimMode m_mode = SimMode::Bootstrap;
  bool m_talkerRate = false;  // listening at the normal rate
  bool m_stalled = false;
  double m_lastDownloadByte = 0;
  double m_gapSeconds = 0;

  // EEPROM programming latch: the cell and data written while EELAT was set.
  std::optional<std::pair<int, uint8_t>> m_latch;
  double m_epgmStart = 0;

  Talk m_talk = Talk::Idle;
  uint8_t m_command = 0;
  unsigned m_count = 0;
  unsigned m_address = 0;
  unsigned m_dataIndex = 0;
  int m_corruptEchoArmed = 0;  // 0: no fault waiting for the next write
  int m_corruptEchoAt = 0;     // data byte of the current write whose echo is spoiled
  bool m_wrongComplementArmed = false;

  Busy m_busy = Busy::None;
  double m_busyUntil = 0;
  unsigned m_busyAddress = 0;
  uint8_t m_busyData = 0;
  std::deque<std::pair<uint8_t, double>> m_waiting;  // bytes received while busy

  std::vector<std::pair<uint8_t, double>> m_output;
};

// What a UART listening at `listening` bit/s makes of `byte` sent at `sent`.
uint8_t SimGarbleByte(uint8_t byte, int sent, int listening);
