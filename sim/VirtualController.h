// The virtual controller: a simulated 68HC11 target with an external flash
// chip, served behind the master side of a pseudo-terminal from its own
// thread.  The program under test opens the slave side like any serial port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class SimChip {
  EraseFirst,  // identity 0x01/0x20: erase before programming, programming only clears bits
  Block,       // identity 0xBF/0x07: programmed in blocks, refuses chip erase
};

struct SimOptions {
  SimChip chip = SimChip::EraseFirst;
  int bootstrapBaud = 1200;  // rate the bootstrap ROM listens at
  int normalBaud = 9600;     // rate the talker listens at
  int eraseTimeMs = 1000;    // chip erase time of the erase-first chip
  bool pace = false;         // deliver each byte after ten bit times, both ways
  // A USB serial adapter's latency timer: what the target sends reaches the
  // host in batches, one every this many milliseconds (0: as soon as sent).
  int adapterLatencyMs = 0;
  // The host opening the line at the bootstrap rate while the talker runs
  // resets the target into bootstrap mode (keston-sim turns this on).
  bool resetOnBootstrapRateOpen = false;
  // The talker runs after a download only when the loader holds this marker
  // (the example loader does); any other loader leaves the target silent, as
  // a real 68HC11 running foreign code would be.  Empty: any loader runs.
  std::string talkerSignature = "KESTON-VC-TALKER";
  std::string symlinkPath;  // when set, a symlink to the slave is kept here
  // Time the talker spends on each byte of CMD_EEPROM_WRITE (erase, then
  // program the cell) before it echoes the cell.
  int eepromWriteMs = 20;
  // How many entries each trace (line trace, host bytes, target bytes) keeps
  // at the most: past it the older half goes, so a controller serving for
  // hours keeps a bounded memory.
  size_t traceLimit = size_t(1) << 18;
  // Run the downloaded loader on the emulated 68HC11F1 (sim/hc11) instead of
  // the built-in talker model.  The boot ROM's rates then follow from the
  // crystal (7812 and 1202 bit/s at 8 MHz); bootstrapBaud and normalBaud only
  // decide when opening the line asks for a reset.
  bool cpu = false;
  double crystalHz = 8e6;  // E clock = crystal / 4
};

// With the emulated CPU, Talker means the downloaded loader is running and
// Crashed that it ran into space where nothing answers.
enum class SimMode { Bootstrap, Downloading, Talker, Silent, Stalled, HungUp, Crashed };

struct SimTraceEntry {
  double seconds;  // since Start(); with the emulated CPU, the machine's own time
  bool fromHost;   // true: host to target
  uint8_t byte;
  bool garbled;  // the byte arrived at a rate the target was not listening at
  // Host bytes only: what the target's UART made of the byte (differs from
  // `byte` when garbled or corrupted at random), and whether it was lost.
  uint8_t received = 0;
  bool dropped = false;
  // Target bytes only: when the byte was written to the host's side, on the
  // controller's clock (seconds since Start), or -1 while it has not been.
  // Paced, `seconds` is when it was due and the difference is the
  // controller's own lateness.
  double delivered = -1;
};

class VirtualController {
 public:
  explicit VirtualController(const SimOptions& options = SimOptions());
  ~VirtualController();  // stops the thread, closes the pseudo-terminal
  VirtualController(const VirtualController&) = delete;
  VirtualController& operator=(const VirtualController&) = delete;

  bool Start();  // creates the pseudo-terminal and the serving thread
  void Stop();
  std::string SlavePath() const;  // e.g. /dev/pts/7 (or the symlink when kept)

  // Registers, PPROG latch, talker state and pending line bytes start afresh;
  // RAM, EEPROM, CONFIG and flash keep their contents, as across a real reset.
  // After HangUp the line stays gone until Stop and Start.
  void ResetIntoBootstrap();
  SimMode Mode() const;
  // Waits until the mode is `mode` (true) or the time runs out (false).
  bool WaitForMode(SimMode mode, int timeoutMs) const;

  // Memory as the CPU sees it now (RAM, registers, EEPROM while mapped, flash).
  uint8_t Read(unsigned address) const;
  void Write(unsigned address, uint8_t value);  // as a test's back door, no physics
  std::vector<uint8_t> Flash() const;           // 65,536 bytes, index = address
  void LoadFlash(const std::vector<uint8_t>& bytes, unsigned address = 0);  // stops at 0xFFFF
  std::vector<uint8_t> Eeprom() const;                                      // the 512 cells
  void SetEeprom(const std::vector<uint8_t>& cells);
  uint8_t Config() const;
  void SetConfig(uint8_t value);
  std::vector<uint8_t> LoaderBytes() const;  // what the last download stored from address 0
  int ListeningBaud() const;                 // bootstrap or normal rate
  int HostBaud() const;                      // the rate the host last set on the line

  std::vector<SimTraceEntry> Trace() const;
  std::vector<uint8_t> HostBytes() const;    // every byte the host sent, in order
  std::vector<uint8_t> TargetBytes() const;  // every byte the target sent, in order
  void ClearTrace();
  // Bytes each way since Start (the trace keeps only the latest of them).
  void TrafficCounts(size_t& fromHost, size_t& toHost) const;
  // Entries held in the traces now; bounded however long the controller serves.
  size_t TraceSize() const;

  // Paced only: how late each byte the target sent reached the line, from
  // its due time (the end of its stop bit) to the write to the host's side,
  // in seconds, oldest first; bounded like the traces, emptied by ClearTrace.
  std::vector<double> Lateness() const;

  // Faults.
  void DropHostBytes(int count);      // the next `count` host bytes are lost
  void CorruptEcho(int nthDataByte);  // the echo of the nth data byte (1-based) of the next write is wrong
  void WrongComplementNextCommand();  // the next command byte is answered with a wrong complement
  void Stall();                       // stop answering until reset
  void HangUp();                      // close the master side
  void SetRandomCorruption(double rate, uint32_t seed);  // garble host bytes at random
  // On the emulated CPU the echo and complement faults spoil the nth byte
  // the target sends from now on (bit 7) and the next one (bit 0): the CPU
  // path has no talker protocol of its own to aim at.

  // The emulated CPU (SimOptions::cpu); harmless no-ops with the talker model.
  bool UsesCpu() const;
  std::string CpuRegisters() const;  // registers, cycle count, mode
  std::string CpuStatus() const;     // registers, traps, EEPROM and flash counts, crash
  void SetCpuTrace(bool on);         // one message per instruction
  void SetBreakpoint(int address);   // -1 clears it; the CPU halts before executing it
  void ContinueCpu();                // past the breakpoint
  // Crash reports, traps, short EEPROM pulses, breakpoints and trace lines
  // since the last call.
  std::vector<std::string> TakeCpuMessages();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
