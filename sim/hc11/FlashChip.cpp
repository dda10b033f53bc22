#include "sim/hc11/FlashChip.h"

#include <algorithm>
#include <cmath>

namespace hc11 {

namespace {
uint64_t Cycles(double eHz, double seconds) { return static_cast<uint64_t>(std::ceil(eHz * seconds - 1e-6)); }

constexpr uint8_t DQ7 = 0x80, DQ6 = 0x40, DQ5 = 0x20, DQ3 = 0x08;
constexpr uint32_t kSectorSize = 0x4000;  // Am29F010: eight uniform 16 KB sectors
constexpr uint32_t kPageSize = 128;       // SST29EE010: 128-byte pages
}  // namespace

FlashChip::FlashChip(Kind kind, double eHz, int chipEraseMs)
    : m_kind(kind), m_array(SIZE, 0xFF), m_sectors(SIZE / kSectorSize, false) {
  // Am29F010 data sheet: byte program about 9 us typical; the embedded erase
  // takes about a second (the chip erase time is a setting so tests need not
  // wait for it); sector erase commands are accepted for 50 us after each one.
  m_programCycles = std::max<uint64_t>(1, Cycles(eHz, 9e-6));
  m_chipEraseCycles = std::max<uint64_t>(1, Cycles(eHz, chipEraseMs / 1000.0));
  m_sectorWindowCycles = Cycles(eHz, 50e-6);
  // SST29EE010 data sheet: the page write starts once no byte has been loaded
  // for the byte-load cycle time-out (200 us); the write cycle takes 5 ms
  // typical (10 ms maximum).
  m_loadWindowCycles = Cycles(eHz, 200e-6);
  m_pageWriteCycles = Cycles(eHz, 5e-3);
}

bool FlashChip::ArrayMode() const {
  switch (m_state) {
    case State::Autoselect:
    case State::Busy:
    case State::Failed:
    case State::SectorWindow:
    case State::Load:
      return false;
    default:
      return true;
  }
}

bool FlashChip::Busy() const {
  return m_state == State::Busy || m_state == State::SectorWindow || m_state == State::Load;
}

uint8_t FlashChip::Status() {
  // Data polling: DQ7 reads the complement of the programmed bit (0 while
  // erasing); DQ6 toggles on every read while the algorithm runs.
  m_toggle = !m_toggle;
  uint8_t s = m_toggle ? DQ6 : 0;
  if (m_job == Job::Program || m_job == Job::PageWrite) s |= static_cast<uint8_t>(~m_jobData & DQ7);
  if (m_state == State::Failed) s |= DQ5;
  if (m_job == Job::SectorErase && m_state == State::Busy) s |= DQ3;  // the erase has begun
  return s;
}

uint8_t FlashChip::Read(uint32_t offset, uint64_t now) {
  Advance(now);
  offset %= SIZE;
  switch (m_state) {
    case State::Busy:
    case State::Failed:
    case State::SectorWindow:
    case State::Load:
      // The SST page write counts as under way from the first loaded byte:
      // a talker polling right after its last byte waits out the byte-load
      // window as well as the write.
      return Status();
    case State::Autoselect:
      // Am29F010 autoselect codes at A1:A0 = 00 manufacturer, 01 device,
      // 10 sector protection (0: not protected).
      switch (offset & 0x03) {
        case 0:
          return Manufacturer();
        case 1:
          return Device();
        default:
          return 0x00;
      }
    default:
      return m_array[offset];
  }
}

void FlashChip::Write(uint32_t offset, uint8_t value, uint64_t now) {
  Advance(now);
  offset %= SIZE;
  if (m_kind == Kind::Am29F010)
    WriteAmd(offset, value, now);
  else
    WriteSst(offset, value, now);
}

void FlashChip::WriteAmd(uint32_t offset, uint8_t value, uint64_t now) {
  // Am29F010 command definitions: A14-A0 decode the unlock addresses.
  const uint32_t cmd = offset & 0x7FFF;
  auto back = [&] { m_state = State::Read; };
  switch (m_state) {
    case State::Busy:
      return;  // ignored while the embedded algorithm runs
    case State::Failed:
      if (value == 0xF0) {
        m_state = State::Read;
        m_job = Job::None;
      }
      return;
    case State::Read:
    case State::Autoselect:
      if (value == 0xF0) {
        back();
      } else if (cmd == 0x5555 && value == 0xAA) {
        m_afterUnlock = m_state;
        m_state = State::Unlock1;
      } else {
        back();
      }
      return;
    case State::Unlock1:
      m_state = (cmd == 0x2AAA && value == 0x55) ? State::Unlock2 : State::Read;
      return;
    case State::Unlock2:
      if (cmd != 0x5555) return back();
      switch (value) {
        case 0xA0:
          m_state = State::Program;
          return;
        case 0x80:
          m_state = State::Erase1;
          return;
        case 0x90:
          m_state = State::Autoselect;
          return;
        default:
          return back();  // F0 and anything unknown
      }
    case State::Program: {
      uint8_t old = m_array[offset];
      m_jobAddress = offset;
      m_jobData = value;
      // Programming can only clear bits; asking for a 1 where the cell holds
      // a 0 makes the algorithm run out of time and raise DQ5.
      m_jobFails = (value & ~old) != 0;
      m_array[offset] = static_cast<uint8_t>(old & value);
      m_job = Job::Program;
      m_state = State::Busy;
      m_deadline = now + m_programCycles;
      return;
    }
    case State::Erase1:
      m_state = (cmd == 0x5555 && value == 0xAA) ? State::Erase2 : State::Read;
      return;
    case State::Erase2:
      m_state = (cmd == 0x2AAA && value == 0x55) ? State::Erase3 : State::Read;
      return;
    case State::Erase3:
      if (cmd == 0x5555 && value == 0x10) {
        m_job = Job::ChipErase;
        m_jobData = 0x00;
        m_state = State::Busy;
        m_deadline = now + m_chipEraseCycles;
        return;
      }
      if (value == 0x30) {
        std::fill(m_sectors.begin(), m_sectors.end(), false);
        m_sectors[offset / kSectorSize] = true;
        m_job = Job::SectorErase;
        m_jobData = 0x00;
        m_state = State::SectorWindow;
        m_deadline = now + m_sectorWindowCycles;
        return;
      }
      return back();
    case State::SectorWindow:
      if (value == 0x30) {
        m_sectors[offset / kSectorSize] = true;
        m_deadline = now + m_sectorWindowCycles;
      } else {
        // Any other command within the time-out abandons the erase.
        m_job = Job::None;
        m_deadline = NEVER;
        back();
      }
      return;
    default:
      return back();
  }
}

void FlashChip::WriteSst(uint32_t offset, uint8_t value, uint64_t now) {
  // SST29EE010 software data protection and software ID: AA at 5555, 55 at
  // 2AAA, then the command at 5555 (A14-A0 decoded).
  const uint32_t cmd = offset & 0x7FFF;
  auto back = [&] { m_state = State::Read; };
  switch (m_state) {
    case State::Busy:
      return;
    case State::Read:
    case State::Autoselect:
      if (cmd == 0x5555 && value == 0xAA) {
        m_afterUnlock = m_state;
        m_state = State::Unlock1;
      } else if (value == 0xF0 && m_state == State::Autoselect) {
        back();
      } else if (!m_sdp && m_state == State::Read) {
        // Unprotected: a plain write loads the page buffer.
        m_state = State::Load;
        m_pageOpen = false;
        WriteSst(offset, value, now);
      }
      return;
    case State::Unlock1:
      m_state = (cmd == 0x2AAA && value == 0x55) ? State::Unlock2 : m_afterUnlock;
      return;
    case State::Unlock2:
      if (cmd != 0x5555) return back();
      switch (value) {
        case 0xA0:  // protected write: the page load follows
          m_sdp = true;
          m_state = State::Load;
          m_pageOpen = false;
          m_deadline = now + m_loadWindowCycles;
          return;
        case 0x80:
          m_state = State::Unlock3;
          return;
        case 0x90:
          m_state = State::Autoselect;
          return;
        default:
          return back();  // F0: software ID exit
      }
    case State::Unlock3:
      m_state = (cmd == 0x5555 && value == 0xAA) ? State::Unlock4 : State::Read;
      return;
    case State::Unlock4:
      m_state = (cmd == 0x2AAA && value == 0x55) ? State::Unlock5 : State::Read;
      return;
    case State::Unlock5:
      if (cmd == 0x5555 && value == 0x20) {
        m_sdp = false;  // software data protection off
        return back();
      }
      if (cmd == 0x5555 && value == 0x60) {
        m_state = State::Autoselect;  // software ID entry, six-byte form
        return;
      }
      return back();
    case State::Load: {
      if (!m_pageOpen) {
        m_pageOpen = true;
        m_page = offset & ~(kPageSize - 1);
        std::fill(std::begin(m_pageLoaded), std::end(m_pageLoaded), false);
      }
      // The page is the one the first loaded byte chose; A6-A0 pick the byte.
      unsigned i = offset & (kPageSize - 1);
      m_pageData[i] = value;
      m_pageLoaded[i] = true;
      m_job = Job::PageWrite;
      m_jobData = value;
      m_deadline = now + m_loadWindowCycles;
      return;
    }
    default:
      return back();
  }
}

void FlashChip::StartPageWrite(uint64_t now) {
  m_job = Job::PageWrite;
  m_state = State::Busy;
  m_deadline = now + m_pageWriteCycles;
}

void FlashChip::Advance(uint64_t now) {
  while (m_deadline != NEVER && now >= m_deadline) {
    uint64_t at = m_deadline;
    if (m_state == State::Load) {
      if (!m_pageOpen) {  // the window closed with nothing loaded
        m_deadline = NEVER;
        m_state = State::Read;
        m_job = Job::None;
        continue;
      }
      StartPageWrite(at);
      continue;
    }
    if (m_state == State::SectorWindow) {
      // The time-out ran out: the erase of the queued sectors begins.
      unsigned count = static_cast<unsigned>(std::count(m_sectors.begin(), m_sectors.end(), true));
      m_state = State::Busy;
      m_deadline = at + std::max<uint64_t>(1, m_chipEraseCycles * count / m_sectors.size());
      continue;
    }
    m_deadline = NEVER;
    Finish();
  }
}

void FlashChip::Finish() {
  switch (m_job) {
    case Job::Program:
      if (m_jobFails) {
        ++m_stats.failedPrograms;
        m_state = State::Failed;
        return;  // stays in status mode until the reset command
      }
      ++m_stats.programs;
      break;
    case Job::ChipErase:
      std::fill(m_array.begin(), m_array.end(), 0xFF);
      ++m_stats.chipErases;
      break;
    case Job::SectorErase:
      for (size_t s = 0; s < m_sectors.size(); ++s) {
        if (!m_sectors[s]) continue;
        std::fill(m_array.begin() + static_cast<long>(s * kSectorSize),
                  m_array.begin() + static_cast<long>((s + 1) * kSectorSize), 0xFF);
        ++m_stats.sectorErases;
      }
      break;
    case Job::PageWrite:
      // The page write erases the whole page and writes what was loaded.
      for (unsigned i = 0; i < kPageSize; ++i) {
        if (!m_pageLoaded[i]) ++m_stats.pageBytesErased;
        m_array[m_page + i] = m_pageLoaded[i] ? m_pageData[i] : 0xFF;
      }
      ++m_stats.pageWrites;
      m_pageOpen = false;
      break;
    case Job::None:
      break;
  }
  m_job = Job::None;
  m_state = State::Read;
}

}  // namespace hc11
