// The controller served by the emulated CPU: a Machine reset into bootstrap
// mode, whatever loader the host downloads running on it, and the policy
// that ties the machine's E cycles to the host's time.
//
// Time.  The machine only moves by executing instructions, or by skipping
// turns of a loop that nothing but an event can end (see Cpu::IdlePeriod);
// WAI and STOP skip straight to the next event.  Every event (a host byte's
// stop bit, a transmitted byte, a timer flag, the end of a flash operation)
// lands on its exact cycle, so the order and spacing of line, chip and
// EEPROM events are those of the real controller whatever the pace.
//  * Paced: the machine's clock follows the host's clock.  A busy CPU runs
//    in slices a millisecond apart (a few percent of a core); an idle one
//    sleeps until its next event or a host byte.
//  * Unpaced: the machine runs ahead of the host's clock, as fast as it
//    can, while host bytes are on the wire.  When the last one has been
//    received it runs on only three character times, and holds there until
//    the host has been quiet for kQuietSeconds of its own time: a byte
//    delayed by the pseudo-terminal must not look like silence (which ends
//    a bootstrap download) or a late byte.  After that the machine may run
//    kFreeRunSeconds of its time ahead at full speed (a chip erase, an EEPROM
//    delay loop, a page write), and then no faster than the host's clock,
//    so a loader spinning in a busy loop costs a few percent of one core
//    and an idle one costs nothing.  An idle CPU with nothing scheduled does
//    not move its clock at all; the next host byte starts where it stopped.
//    The price of the hold: a reply that takes the program longer than about
//    two character times after the host's last byte (an EEPROM write with
//    its 10 ms pulses, say) comes after kQuietSeconds of host time, as fast
//    as on a real line but no faster.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/VirtualController.h"
#include "sim/hc11/Machine.h"

class Hc11Target {
 public:
  static constexpr double kQuietSeconds = 0.020;
  static constexpr double kFreeRunSeconds = 2.0;

  explicit Hc11Target(const SimOptions& options);

  void Reset();  // into bootstrap mode; memories survive
  // Host time 0 is now (the line has just been made).
  void SetHostOrigin();
  SimMode Mode() const;
  int ListeningBaud() const { return m_machine.SciBaud(); }
  hc11::Machine& Machine() { return m_machine; }
  const hc11::Machine& Machine() const { return m_machine; }

  // A host byte, read from the line at host time `hostSeconds`.
  void HostByte(uint8_t byte, int baud, int tag, double hostSeconds);
  // Runs the machine as the policy allows at host time `hostSeconds`;
  // returns how long the caller may wait before calling again (it calls
  // sooner when a host byte arrives).
  double Serve(double hostSeconds);
  double MachineSeconds() const { return static_cast<double>(m_machine.Now()) / m_machine.EHz(); }
  // When a machine time is due on the host's clock (paced), in host seconds.
  double HostTimeOf(uint64_t cycle) const;

  // Bytes the target sent, with the machine cycle their stop bit ended.
  void TakeOutput(std::vector<std::pair<uint8_t, uint64_t>>& into);
  // Characters the SCI assembled, for the line trace.
  void TakeReceived(std::vector<hc11::Sci::Received>& into);
  std::vector<std::string> TakeMessages();

  uint8_t Read(unsigned address) const { return m_machine.Peek(static_cast<uint16_t>(address)); }
  void Poke(unsigned address, uint8_t value) { m_machine.Poke(static_cast<uint16_t>(address), value); }
  std::vector<uint8_t> Flash() const;
  void LoadFlash(const std::vector<uint8_t>& bytes, unsigned address);
  const std::vector<uint8_t>& LoaderBytes() const { return m_loader; }

  // Line faults counted in target bytes from now on.
  void CorruptTargetByte(int nth, uint8_t mask);
  // The CPU freezes and nothing more goes out until reset; the line and
  // the SCI carry on.
  void Stall() {
    m_stalled = true;
    m_machine.GetCpu().Halt();
  }
  std::string Status() const;

 private:
  void Note();
  void SettleBootRom();

  hc11::Machine m_machine;
  bool m_paced;
  bool m_stalled = false;
  bool m_leftRom = false;  // the loader (or the EEPROM) has taken over from the boot ROM
  bool m_syncSeen = false;
  std::vector<uint8_t> m_loader;
  uint64_t m_originCycle = 0;  // machine cycle at host time 0 (paced)
  double m_lastInputHost = 0;
  double m_lineEndCycle = 0;
  int m_corruptAt = 0;  // 0: none; else the nth target byte from now
  uint8_t m_corruptMask = 0;
  std::vector<std::pair<uint8_t, uint64_t>> m_output;
  std::vector<std::string> m_messages;
};
