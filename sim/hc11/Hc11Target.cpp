#include "sim/hc11/Hc11Target.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

hc11::MachineOptions MachineOptionsFor(const SimOptions& o) {
  hc11::MachineOptions m;
  m.crystalHz = o.crystalHz;
  m.chip =
      o.chip == SimChip::EraseFirst ? hc11::FlashChip::Kind::Am29F010 : hc11::FlashChip::Kind::Sst29EE010;
  m.chipEraseMs = o.eraseTimeMs;
  return m;
}

bool InBootRom(const hc11::Machine& m) {
  uint16_t pc = m.GetCpu().Regs().pc;
  return (m.Register(hc11::Machine::HPRIO) & hc11::Machine::HPRIO_RBOOT) && pc >= 0xBF00;
}

// A machine slice between looks at the line: long enough to be efficient,
// short enough that the lock is released often (about a millisecond of host
// time at full speed).
constexpr uint64_t kSliceCycles = 100000;

}  // namespace

Hc11Target::Hc11Target(const SimOptions& options)
    : m_machine(MachineOptionsFor(options)), m_paced(options.pace) {
  m_output.reserve(1024);
  SettleBootRom();
}

void Hc11Target::SettleBootRom() {
  // The boot ROM sets the SCI up in its first few instructions; let it, so
  // the rate it listens at is known from the moment of the reset.
  m_machine.Run(m_machine.Now() + 64);
}

void Hc11Target::Reset() {
  m_machine.Reset(hc11::McuMode::Bootstrap);
  SettleBootRom();
  m_stalled = false;
  m_leftRom = false;
  m_syncSeen = false;
  m_loader.clear();
  m_output.clear();
}

void Hc11Target::SetHostOrigin() {
  m_originCycle = m_machine.Now();
  m_lastInputHost = 0;
  m_lineEndCycle = static_cast<double>(m_machine.Now());
}

SimMode Hc11Target::Mode() const {
  if (m_stalled) return SimMode::Stalled;
  if (!m_machine.Crash().empty()) return SimMode::Crashed;
  if (!m_leftRom) return m_syncSeen ? SimMode::Downloading : SimMode::Bootstrap;
  return SimMode::Talker;
}

double Hc11Target::HostTimeOf(uint64_t cycle) const {
  return static_cast<double>(static_cast<int64_t>(cycle - m_originCycle)) / m_machine.EHz();
}

void Hc11Target::HostByte(uint8_t byte, int baud, int tag, double hostSeconds) {
  if (m_paced) {
    // The byte is on the wire from now on the host's clock.
    Serve(hostSeconds);
  }
  m_machine.HostByte(byte, baud, tag);
  m_lineEndCycle = m_machine.GetSci().LineFree();
  m_lastInputHost = hostSeconds;
}

double Hc11Target::Serve(double hostSeconds) {
  hc11::Machine& m = m_machine;
  const double e = m.EHz();
  const uint64_t now = m.Now();
  double wait = 0;
  bool throttled = false;  // unpaced, but held to the host's clock now
  uint64_t limit;
  if (m_paced) {
    double due = static_cast<double>(m_originCycle) + hostSeconds * e;
    limit = due <= static_cast<double>(now) ? now : static_cast<uint64_t>(due);
    if (limit - now > kSliceCycles * 20) {
      // Far behind (the host's thread was held up): catch up in bounded steps.
      limit = now + kSliceCycles * 20;
    }
  } else {
    // Three character times past the last byte: room for the program to
    // take it and answer, and still short of the boot ROM's four-character
    // silence that ends a download.
    const double charCycles = 10.0 * m.GetSci().BitCycles();
    const double quietFor = hostSeconds - m_lastInputHost;
    const double holdAt = m_lineEndCycle + 3 * charCycles;
    if (m.GetSci().FramesAfter(now)) {
      limit = std::min<uint64_t>(now + kSliceCycles, static_cast<uint64_t>(holdAt));
    } else if (quietFor < kQuietSeconds) {
      limit = std::max<uint64_t>(now, static_cast<uint64_t>(holdAt));
      wait = kQuietSeconds - quietFor;
    } else {
      double allowed = holdAt + (kFreeRunSeconds + (quietFor - kQuietSeconds)) * e;
      limit = std::max<uint64_t>(
          now, static_cast<uint64_t>(std::min(allowed, static_cast<double>(now) + kSliceCycles)));
      throttled = allowed <= static_cast<double>(now) + kSliceCycles;
      if (throttled) wait = 0.002;
    }
  }
  hc11::Machine::RunStop stop = limit > now ? m.Run(limit) : hc11::Machine::RunStop::Limit;
  Note();
  if (stop != hc11::Machine::RunStop::Limit ||
      (m.IdleNow() && m.NextEvent() == hc11::Machine::NEVER && !m.GetSci().FramesAfter(m.Now()))) {
    // Nothing happens until the host sends: the line wakes the caller.
    return 1.0;
  }
  if (m_paced) {
    // A character the SCI is sending is due on the line when its stop bit
    // ends: wake exactly then, so it leaves on time.
    const uint64_t sciNext = m.GetSci().NextEvent();
    const double sciWait = sciNext == hc11::Machine::NEVER ? 1.0 : HostTimeOf(sciNext) - hostSeconds;
    if (m.IdleNow()) {
      uint64_t next = m.NextEvent();
      if (next == hc11::Machine::NEVER) return 1.0;
      return std::clamp(HostTimeOf(next) - hostSeconds, 0.0, 1.0);
    }
    // A running program may start a character at any moment; looking at it
    // twice a character time finds it in the shift register, its end known,
    // before it is due.
    const double halfCharacter = 5.0 * m.GetSci().BitCycles() / e;
    return std::clamp(std::min({0.001, halfCharacter, sciWait}), 0.0, 1.0);
  }
  if (throttled && m.IdleNow()) {
    // An idle loop reached the limit that follows the host's clock: sleep
    // until that limit has moved on to the next event.
    uint64_t next = m.NextEvent();
    if (next == hc11::Machine::NEVER) return 1.0;
    wait = std::clamp(static_cast<double>(next - m.Now()) / e, 0.0005, 1.0);
  }
  return wait;
}

void Hc11Target::Note() {
  auto& out = m_machine.GetSci().Output();
  if (m_stalled) out.clear();  // a stall swallows answers under way too
  for (const auto& sent : out) {
    uint8_t byte = sent.byte;
    // The boot ROM echoes exactly the bytes it stores, and its transmits
    // come out first.
    if (m_loader.size() < m_machine.BootRomTransmits()) m_loader.push_back(byte);
    if (m_corruptAt > 0 && --m_corruptAt == 0) byte ^= m_corruptMask;
    m_output.emplace_back(byte, sent.end);
  }
  out.clear();
  if (!m_leftRom) {
    if (!m_machine.GetSci().ReceivedLog().empty()) m_syncSeen = true;
    if (!InBootRom(m_machine)) m_leftRom = true;
  }
}

void Hc11Target::TakeOutput(std::vector<std::pair<uint8_t, uint64_t>>& into) {
  Note();
  into.insert(into.end(), m_output.begin(), m_output.end());
  m_output.clear();
}

void Hc11Target::TakeReceived(std::vector<hc11::Sci::Received>& into) {
  auto& log = m_machine.GetSci().ReceivedLog();
  if (!log.empty()) m_syncSeen = true;
  into.insert(into.end(), log.begin(), log.end());
  log.clear();
}

std::vector<std::string> Hc11Target::TakeMessages() { return m_machine.TakeMessages(); }

std::vector<uint8_t> Hc11Target::Flash() const {
  const auto& chip = m_machine.Chip().Array();
  return std::vector<uint8_t>(chip.begin(), chip.begin() + 0x10000);
}

void Hc11Target::LoadFlash(const std::vector<uint8_t>& bytes, unsigned address) {
  auto& chip = m_machine.Chip().Array();
  for (size_t i = 0; i < bytes.size() && address + i < 0x10000; ++i) chip[address + i] = bytes[i];
}

void Hc11Target::CorruptTargetByte(int nth, uint8_t mask) {
  m_corruptAt = std::max(0, nth);
  m_corruptMask = mask;
}

std::string Hc11Target::Status() const {
  const auto& stats = m_machine.GetStats();
  const auto& chip = m_machine.Chip().GetStats();
  char text[700];
  std::snprintf(text, sizeof text,
                "cpu: %s\nmachine time %.3f s, E = %.0f Hz, SCI at %d bit/s\n"
                "illegal-opcode traps %u, EEPROM pulses %u, too-short EEPROM pulses %u\n"
                "idle loops: %u skips, %llu cycles skipped\n"
                "flash: %u bytes programmed, %u failed (DQ5), %u chip and %u sector erases, %u page writes "
                "(%u unloaded page bytes left 0xFF)%s%s",
                m_machine.RegisterText().c_str(), MachineSeconds(), m_machine.EHz(), m_machine.SciBaud(),
                stats.illegalOpcodes, stats.eepromPulses, stats.shortPulses, stats.idleSkips,
                static_cast<unsigned long long>(stats.idleCyclesSkipped), chip.programs, chip.failedPrograms,
                chip.chipErases, chip.sectorErases, chip.pageWrites, chip.pageBytesErased,
                m_machine.Crash().empty() ? "" : "\n", m_machine.Crash().c_str());
  return text;
}
