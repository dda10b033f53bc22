// The external flash chip on the controller's bus, as its data sheet
// describes it to software: command cycles at 0x5555/0x2AAA, embedded
// program and erase algorithms with DQ7 data polling and the DQ6 toggle bit
// while busy, and the timings that a talker has to wait for.
//   Am29F010:    01/20, erase before programming, programming only clears
//                bits, 8 sectors of 16 KB, chip and sector erase, autoselect.
//   SST29EE010:  BF/07, 128-byte pages written whole (the page is erased
//                first), JEDEC software data protection, byte-load window.
// Times are E cycles on the machine's clock.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

namespace hc11 {

class FlashChip {
 public:
  enum class Kind { Am29F010, Sst29EE010 };
  static constexpr uint32_t SIZE = 0x20000;  // 128 KB; the CPU sees the lower 64 KB (A16 low)
  static constexpr uint64_t NEVER = std::numeric_limits<uint64_t>::max();

  struct Stats {
    unsigned programs = 0;        // bytes programmed (Am29F010)
    unsigned failedPrograms = 0;  // attempts to program a 0 back to 1: DQ5
    unsigned chipErases = 0;
    unsigned sectorErases = 0;
    unsigned pageWrites = 0;       // SST page write cycles
    unsigned pageBytesErased = 0;  // SST: bytes of written pages that were not loaded (now 0xFF)
  };

  FlashChip(Kind kind, double eHz, int chipEraseMs);

  Kind GetKind() const { return m_kind; }
  uint8_t Manufacturer() const { return m_kind == Kind::Am29F010 ? 0x01 : 0xBF; }
  uint8_t Device() const { return m_kind == Kind::Am29F010 ? 0x20 : 0x07; }

  std::vector<uint8_t>& Array() { return m_array; }
  const std::vector<uint8_t>& Array() const { return m_array; }
  const Stats& GetStats() const { return m_stats; }

  // Bus cycles.  A read may have a side effect (the toggle bit).
  uint8_t Read(uint32_t offset, uint64_t now);
  void Write(uint32_t offset, uint8_t value, uint64_t now);
  // Completes what fell due by `now`; NextEvent() is when that next happens.
  void Advance(uint64_t now);
  uint64_t NextEvent() const { return m_deadline; }
  // True while reads return the array as stored, so the CPU may read it directly.
  bool ArrayMode() const;
  bool Busy() const;

 private:
  enum class State {
    Read,
    Unlock1,       // AA seen
    Unlock2,       // AA 55 seen
    Program,       // AA 55 A0: the next write programs
    Erase1,        // AA 55 80
    Erase2,        // AA 55 80 AA
    Erase3,        // AA 55 80 AA 55
    SectorWindow,  // sector erase time-out: more sectors may be added
    Autoselect,
    Busy,    // embedded program or erase running
    Failed,  // DQ5: the embedded algorithm gave up; F0 resets
    // SST only
    Load,     // page load, byte-load window open
    Unlock3,  // AA 55 80
    Unlock4,  // AA 55 80 AA
    Unlock5,  // AA 55 80 AA 55
  };
  enum class Job { None, Program, ChipErase, SectorErase, PageWrite };

  uint8_t Status();
  void WriteAmd(uint32_t offset, uint8_t value, uint64_t now);
  void WriteSst(uint32_t offset, uint8_t value, uint64_t now);
  void Finish();
  void StartPageWrite(uint64_t now);

  Kind m_kind;
  uint64_t m_programCycles, m_chipEraseCycles, m_sectorWindowCycles, m_loadWindowCycles, m_pageWriteCycles;
  std::vector<uint8_t> m_array;
  State m_state = State::Read;
  State m_afterUnlock = State::Read;  // autoselect survives a command prefix
  Job m_job = Job::None;
  uint64_t m_deadline = NEVER;
  uint32_t m_jobAddress = 0;
  uint8_t m_jobData = 0;
  bool m_jobFails = false;
  bool m_toggle = false;
  std::vector<bool> m_sectors;  // sectors queued for erase
  // SST page buffer
  bool m_sdp = true;  // software data protection on, as a protected board keeps it
  uint32_t m_page = 0;
  bool m_pageOpen = false;
  uint8_t m_pageData[128] = {};
  bool m_pageLoaded[128] = {};
  Stats m_stats;
};

}  // namespace hc11
