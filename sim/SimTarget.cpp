#include "sim/SimTarget.h"

#include <algorithm>
#include <limits>
#include <string>

namespace {

constexpr uint8_t CMD_READ = 0x01;
constexpr uint8_t CMD_WRITE = 0x41;
constexpr uint8_t CMD_EEPROM_WRITE = 0x31;
constexpr uint8_t CMD_FLASH_WRITE = 0x71;
constexpr uint8_t CMD_FLASH_BLOCK_WRITE = 0x51;
constexpr uint8_t CMD_FLASH_ID = 0xC8;
constexpr uint8_t CMD_CHIP_ERASE = 0xD1;
constexpr uint8_t ERASE_GO = 0x3F;

constexpr int CELL_NONE = -1;
constexpr int CELL_CONFIG = -2;

}  // namespace

SimTarget::SimTarget(const SimOptions& options)
    : m_options(options),
      m_ram(RAM_SIZE, 0),
      m_regs(REG_COUNT, 0),
      m_eeprom(EEPROM_SIZE, 0xFF),
      m_flash(0x10000, 0xFF) {
  // The bootstrap ROM ends a download after four character times of silence;
  // a pseudo-terminal's scheduling jitter must not look like silence, hence
  // the floor.
  m_gapSeconds = std::max(40.0 / std::max(1, m_options.bootstrapBaud), 0.020);
  Reset();
}

void SimTarget::Reset() {
  std::fill(m_regs.begin(), m_regs.end(), 0);
  m_regs[BPROT - REG_BASE] = 0x1F;
  m_regs[HPRIO - REG_BASE] = HPRIO_BOOT;
  m_latch.reset();
  m_mode = SimMode::Bootstrap;
  m_talkerRate = false;
  m_stalled = false;
  m_talk = Talk::Idle;
  m_busy = Busy::None;
  m_waiting.clear();
  m_corruptEchoAt = 0;
}

SimMode SimTarget::Mode() const { return m_stalled ? SimMode::Stalled : m_mode; }

int SimTarget::ListeningBaud() const { return m_talkerRate ? m_options.normalBaud : m_options.bootstrapBaud; }

void SimTarget::Receive(uint8_t byte, double t) {
  Advance(t);
  if (m_busy != Busy::None) {
    // The talker is polling a chip; the byte waits in the UART for it.
    m_waiting.emplace_back(byte, t);
    return;
  }
  Process(byte, t);
}

void SimTarget::Advance(double t) {
  if (m_mode == SimMode::Downloading && t >= m_lastDownloadByte + m_gapSeconds) EndDownload();
  while (m_busy != Busy::None && t >= m_busyUntil) {
    double done = m_busyUntil;
    FinishBusy();
    while (m_busy == Busy::None && !m_waiting.empty()) {
      auto [byte, at] = m_waiting.front();
      m_waiting.pop_front();
      Process(byte, std::max(at, done));
    }
  }
}

double SimTarget::NextDeadline() const {
  double next = std::numeric_limits<double>::infinity();
  if (m_mode == SimMode::Downloading) next = m_lastDownloadByte + m_gapSeconds;
  if (m_busy != Busy::None) next = std::min(next, m_busyUntil);
  return next;
}

void SimTarget::TakeOutput(std::vector<std::pair<uint8_t, double>>& into) {
  into.insert(into.end(), m_output.begin(), m_output.end());
  m_output.clear();  // keeps its capacity: this runs once per byte
}

void SimTarget::Emit(uint8_t byte, double t) {
  // A stall also swallows the answer to work that was under way.
  if (!m_stalled) m_output.emplace_back(byte, t);
}

void SimTarget::EndDownload() {
  m_talkerRate = true;
  const std::string& marker = m_options.talkerSignature;
  bool runs = marker.empty() ||
              std::search(m_loader.begin(), m_loader.end(), marker.begin(), marker.end()) != m_loader.end();
  m_mode = runs ? SimMode::Talker : SimMode::Silent;
  m_talk = Talk::Idle;
}

void SimTarget::Process(uint8_t byte, double t) {
  if (m_stalled) return;
  switch (m_mode) {
    case SimMode::Bootstrap:
      // Anything but the start byte leaves the ROM waiting.
      if (byte == 0xFF) {
        m_mode = SimMode::Downloading;
        m_loader.clear();
        m_lastDownloadByte = t;
      }
      break;
    case SimMode::Downloading:
      m_ram[m_loader.size()] = byte;
      m_loader.push_back(byte);
      m_lastDownloadByte = t;
      Emit(byte, t);
      if (m_loader.size() >= LOADER_MAX) EndDownload();
      break;
    case SimMode::Talker:
      TalkerByte(byte, t);
      break;
    default:
      break;
  }
}

void SimTarget::TalkerByte(uint8_t byte, double t) {
  switch (m_talk) {
    case Talk::Idle: {
      uint8_t reply = static_cast<uint8_t>(~byte);
      bool known = true;
      switch (byte) {
        case CMD_READ:
        case CMD_WRITE:
        case CMD_EEPROM_WRITE:
        case CMD_FLASH_WRITE:
        case CMD_FLASH_BLOCK_WRITE:
          m_command = byte;
          m_talk = Talk::Count;
          break;
        case CMD_FLASH_ID:
        case CMD_CHIP_ERASE:
          m_command = byte;
          break;
        default:
          known = false;  // a real talker ignores what it does not know
          break;
      }
      if (!known) return;
      if (m_wrongComplementArmed) {
        m_wrongComplementArmed = false;
        reply ^= 0x01;
      }
      Emit(reply, t);
      if (byte == CMD_FLASH_ID) {
        Emit(m_options.chip == SimChip::EraseFirst ? 0x01 : 0xBF, t);
        m_talk = Talk::IdAck;
      } else if (byte == CMD_CHIP_ERASE) {
        m_talk = Talk::EraseConfirm;
      }
      return;
    }
    case Talk::Count:
      m_count = byte == 0 ? 256 : byte;
      m_talk = Talk::AddrHi;
      return;
    case Talk::AddrHi:
      m_address = static_cast<unsigned>(byte) << 8;
      m_talk = Talk::AddrLo;
      return;
    case Talk::AddrLo:
      m_address |= byte;
      StartDataPhase(t);
      return;
    case Talk::WriteData:
      WriteDataByte(byte, t);
      return;
    case Talk::ReadAck:
      // The acknowledgement's value means nothing; one per data byte.
      if (--m_count == 0) {
        m_talk = Talk::Idle;
        return;
      }
      m_address = (m_address + 1) & 0xFFFF;
      Emit(Read(m_address), t);
      return;
    case Talk::IdAck:
      Emit(m_options.chip == SimChip::EraseFirst ? 0x20 : 0x07, t);
      m_talk = Talk::Idle;
      return;
    case Talk::EraseConfirm:
      m_talk = Talk::Idle;
      if (byte != ERASE_GO || m_options.chip != SimChip::EraseFirst) {
        Emit(ERASE_REFUSED, t);
        return;
      }
      m_busy = Busy::ChipErase;
      m_busyUntil = t + m_options.eraseTimeMs / 1000.0;
      return;
  }
}

void SimTarget::StartDataPhase(double t) {
  m_dataIndex = 0;
  if (m_command == CMD_READ) {
    m_talk = Talk::ReadAck;
    Emit(Read(m_address), t);
    return;
  }
  m_talk = Talk::WriteData;
  m_corruptEchoAt = m_corruptEchoArmed;
  m_corruptEchoArmed = 0;
}

void SimTarget::EmitEcho(uint8_t byte, double t) {
  if (m_corruptEchoAt > 0 && m_dataIndex == static_cast<unsigned>(m_corruptEchoAt)) byte ^= 0x80;
  Emit(byte, t);
}

void SimTarget::WriteDataByte(uint8_t byte, double t) {
  ++m_dataIndex;
  unsigned address = m_address;
  m_address = (m_address + 1) & 0xFFFF;
  if (--m_count == 0) m_talk = Talk::Idle;
  switch (m_command) {
    case CMD_WRITE:
      CpuWrite(address, byte, t);
      EmitEcho(byte, t);
      break;
    case CMD_FLASH_WRITE:
    case CMD_FLASH_BLOCK_WRITE:
      ProgramFlash(address, byte);
      // The talker reads the byte back, so programming over data that was
      // not erased shows up as a mismatch on the host.
      EmitEcho(Read(address), t);
      break;
    case CMD_EEPROM_WRITE:
      m_busy = Busy::EepromByte;
      m_busyUntil = t + m_options.eepromWriteMs / 1000.0;
      m_busyAddress = address;
      m_busyData = byte;
      break;
  }
}

void SimTarget::FinishBusy() {
  double t = m_busyUntil;
  Busy what = m_busy;
  m_busy = Busy::None;
  if (what == Busy::ChipErase) {
    std::fill(m_flash.begin(), m_flash.end(), 0xFF);
    Emit(0xFF, t);
  } else if (what == Busy::EepromByte) {
    int cell = CellOf(m_busyAddress);
    if (cell != CELL_NONE && !CellProtected(cell)) {
      EraseCell(cell);
      ProgramCell(cell, m_busyData);
    }
    EmitEcho(Read(m_busyAddress), t);
  }
}

void SimTarget::ProgramFlash(unsigned address, uint8_t value) {
  address &= 0xFFFF;
  if (m_options.chip == SimChip::EraseFirst)
    m_flash[address] &= value;  // programming can only clear bits
  else
    m_flash[address] = value;  // the block chip erases its page as it writes
}

// ---- memory map ----

int SimTarget::EepromIndex(unsigned address) const {
  if (!(m_config & 0x01)) return -1;
  unsigned base = (static_cast<unsigned>(m_config & 0xF0) << 8) + 0x0E00;
  if (address >= base && address < base + EEPROM_SIZE) return static_cast<int>(address - base);
  return -1;
}

int SimTarget::CellOf(unsigned address) const {
  address &= 0xFFFF;
  if (address == CONFIG) return CELL_CONFIG;
  if (address >= REG_BASE && address < REG_BASE + REG_COUNT) return CELL_NONE;
  if (address < RAM_SIZE) return CELL_NONE;
  int index = EepromIndex(address);
  return index >= 0 ? index : CELL_NONE;
}

uint8_t SimTarget::Read(unsigned address) const {
  address &= 0xFFFF;
  if (address >= REG_BASE && address < REG_BASE + REG_COUNT) {
    if (address == CONFIG) return m_config;
    return m_regs[address - REG_BASE];
  }
  if (address < RAM_SIZE) return m_ram[address];
  int index = EepromIndex(address);
  if (index >= 0) return m_eeprom[index];
  return m_flash[address];
}

void SimTarget::Poke(unsigned address, uint8_t value) {
  address &= 0xFFFF;
  if (address == CONFIG) {
    m_config = value;
  } else if (address >= REG_BASE && address < REG_BASE + REG_COUNT) {
    m_regs[address - REG_BASE] = value;
  } else if (address < RAM_SIZE) {
    m_ram[address] = value;
  } else if (int index = EepromIndex(address); index >= 0) {
    m_eeprom[index] = value;
  } else {
    m_flash[address] = value;
  }
}

void SimTarget::CpuWrite(unsigned address, uint8_t value, double t) {
  address &= 0xFFFF;
  if (address == PPROG) {
    WritePprog(value, t);
    return;
  }
  int cell = CellOf(address);
  if (cell != CELL_NONE) {
    uint8_t pprog = m_regs[PPROG - REG_BASE];
    if (pprog & PPROG_EELAT) {
      // While EPGM is on the latch is frozen.
      if (!(pprog & PPROG_EPGM)) m_latch.emplace(cell, value);
    } else if (cell == CELL_CONFIG) {
      // In bootstrap mode CONFIG is written directly and maps at once.
      m_config = value;
    }
    // A plain write to an EEPROM cell does nothing, as on the chip.
    return;
  }
  if (address == BPROT) {
    m_regs[BPROT - REG_BASE] = value & 0x1F;
  } else if (address >= REG_BASE && address < REG_BASE + REG_COUNT) {
    m_regs[address - REG_BASE] = value;
  } else if (address < RAM_SIZE) {
    m_ram[address] = value;
  }
  // Anything else is the flash chip, which a plain bus write leaves alone.
}

void SimTarget::WritePprog(uint8_t value, double t) {
  uint8_t old = m_regs[PPROG - REG_BASE];
  bool wasOn = old & PPROG_EPGM;
  bool turnsOn = value & PPROG_EPGM;
  if (!wasOn && turnsOn) {
    if (!(old & PPROG_EELAT) || !(value & PPROG_EELAT))
      value &= ~PPROG_EPGM;  // the programming voltage needs the latch set up first
    else
      m_epgmStart = t;
  } else if (wasOn && !turnsOn) {
    // A pulse shorter than the cells need leaves them unchanged.
    if (t - m_epgmStart >= EPGM_MIN_SECONDS) ApplyPprog(old);
  } else if (wasOn && turnsOn) {
    value = static_cast<uint8_t>((value & ~(PPROG_BYTE | PPROG_ROW | PPROG_ERASE)) |
                                 (old & (PPROG_BYTE | PPROG_ROW | PPROG_ERASE)));
  }
  if (!(value & PPROG_EELAT)) m_latch.reset();
  m_regs[PPROG - REG_BASE] = value;
}

bool SimTarget::CellProtected(int cell) const {
  uint8_t bprot = m_regs[BPROT - REG_BASE];
  if (cell == CELL_CONFIG) return bprot & BPROT_PTCON;
  // Four blocks of 32, 64, 128 and 288 bytes, each with its own bit.
  int block = cell < 0x20 ? 0 : cell < 0x60 ? 1 : cell < 0xE0 ? 2 : 3;
  return bprot & (1 << block);
}

void SimTarget::EraseCell(int cell) {
  if (cell == CELL_CONFIG)
    m_config = 0xFF;
  else
    m_eeprom[cell] = 0xFF;
}

void SimTarget::ProgramCell(int cell, uint8_t value) {
  if (cell == CELL_CONFIG)
    m_config &= value;
  else
    m_eeprom[cell] &= value;
}

void SimTarget::ApplyPprog(uint8_t pprog) {
  if (!m_latch) return;
  auto [cell, data] = *m_latch;
  if (!(pprog & PPROG_ERASE)) {
    if (!CellProtected(cell)) ProgramCell(cell, data);
    return;
  }
  if (pprog & PPROG_BYTE) {
    if (!CellProtected(cell)) EraseCell(cell);
    return;
  }
  if (pprog & PPROG_ROW) {
    if (cell == CELL_CONFIG) return;
    int first = cell & ~0x0F;
    for (int c = first; c < first + 16; ++c)
      if (!CellProtected(c)) m_eeprom[c] = 0xFF;
    return;
  }
  // Bulk: the whole array, and CONFIG too when CONFIG was the latched address.
  for (int c = 0; c < static_cast<int>(EEPROM_SIZE); ++c)
    if (!CellProtected(c)) m_eeprom[c] = 0xFF;
  if (cell == CELL_CONFIG && !CellProtected(CELL_CONFIG)) m_config = 0xFF;
}
