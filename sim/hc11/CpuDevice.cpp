#include "sim/hc11/CpuDevice.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "sim/SimTarget.h"

namespace {

// A UART pair copes with a few percent between the two ends' clocks.
bool RatesMatch(int a, int b) {
  if (a <= 0 || b <= 0) return false;
  return std::abs(a - b) <= b * 0.02;
}

}  // namespace

CCpuDevice::CCpuDevice(const hc11::MachineOptions& options, const std::string& name)
    : m_machine(std::make_unique<hc11::Machine>(options)), m_name(name) {
  m_origin = m_machine->Now();
  Settle();
}

CCpuDevice::~CCpuDevice() = default;

void CCpuDevice::Settle() {
  // The boot ROM sets the SCI up in its first few instructions; let it, so
  // that a host byte finds the receiver listening.
  m_machine->Run(m_machine->Now() + 64);
  m_lineIn = static_cast<double>(m_machine->Now());
}

uint64_t CCpuDevice::CyclesIn(double seconds) const {
  return static_cast<uint64_t>(std::llround(std::max(0.0, seconds) * m_machine->EHz()));
}

double CCpuDevice::Now() const { return static_cast<double>(m_machine->Now() - m_origin) / m_machine->EHz(); }

// ---- CSerialDevice ----

bool CCpuDevice::Open(const std::string& path) {
  m_lastError.clear();
  m_lastErrorCode = 0;
  if (m_open) {
    m_lastErrorCode = EBUSY;
    m_lastError = "Cannot open " + path + ": the port is in use by another program";
    return false;
  }
  if (path != m_name || m_hungUp) {
    m_lastErrorCode = ENOENT;
    m_lastError = "Cannot open " + path + ": no such device";
    return false;
  }
  m_open = true;
  m_path = path;
  return true;
}

void CCpuDevice::Close() {
  m_open = false;
  m_path.clear();
  // Answers on their way are lost with the port.
  m_out.clear();
  m_held.clear();
}

bool CCpuDevice::PurgeComm(unsigned flags) {
  if (!m_open) return false;
  if (flags & (serial::kPurgeRxAbort | serial::kPurgeRxClear)) {
    m_out.clear();
    m_held.clear();
  }
  if (flags & (serial::kPurgeTxAbort | serial::kPurgeTxClear)) {
    // Bytes that have not started are dropped; the one under way finishes.
    m_in.clear();
    m_lineIn = std::max(m_lineIn, static_cast<double>(m_machine->Now()));
  }
  return true;
}

bool CCpuDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
  m_timeouts = timeouts;
  return m_open;
}

bool CCpuDevice::GetCommState(CommState& state) {
  if (!m_open) return false;
  state = m_state;
  state.baudRate = m_hostBaud;
  return true;
}

bool CCpuDevice::SetCommState(const CommState& state) {
  if (!m_open) return false;
  if (state.baudRate <= 0) {
    m_lastErrorCode = EINVAL;
    m_lastError = "line rate " + std::to_string(state.baudRate) + " is not valid";
    return false;
  }
  m_state = state;
  m_hostBaud = state.baudRate;
  return true;
}

bool CCpuDevice::ClearCommError(uint32_t& errors, uint32_t& waiting, int& error) {
  errors = 0;
  waiting = 0;
  error = 0;
  if (!m_open) {
    error = EBADF;
    return false;
  }
  if (m_hungUp) {
    error = EIO;
    return false;
  }
  waiting = static_cast<uint32_t>(m_out.size());
  return true;
}

int CCpuDevice::Read(uint8_t* buffer, unsigned length, int& error) {
  error = 0;
  if (!m_open || m_hungUp) {
    error = m_open ? EIO : EBADF;
    return -1;
  }
  unsigned n = 0;
  while (n < length && !m_out.empty()) {
    buffer[n++] = m_out.front();
    m_out.pop_front();
  }
  return static_cast<int>(n);
}

unsigned CCpuDevice::Write(const uint8_t* data, unsigned length, int& error) {
  error = 0;
  if (!m_open || m_hungUp) {
    error = m_open ? EIO : EBADF;
    return 0;
  }
  const double bit = m_machine->EHz() / m_hostBaud;
  for (unsigned i = 0; i < length; ++i) {
    if (m_hangUpAfter != 0 && m_hostWritten.size() >= m_hangUpAfter) {
      m_hungUp = true;
      error = EIO;
      return i;
    }
    const double start = std::max(m_lineIn, static_cast<double>(m_machine->Now()));
    m_lineIn = start + 10 * bit;
    m_in.push_back({data[i], start, bit, m_hostBaud});
    m_hostWritten.push_back(data[i]);
  }
  return length;
}

bool CCpuDevice::WaitCommEvent(uint32_t& events, int& error) {
  // The link never waits here on a synchronous device.
  events = 0;
  error = m_open ? 0 : EBADF;
  return m_open;
}

void CCpuDevice::WaitForInput(int ms) {
  RunUntil(m_machine->Now() + CyclesIn(std::max(ms, 1) / 1000.0), true);
}

void CCpuDevice::Sleep(int ms) {
  if (ms > 0) RunUntil(m_machine->Now() + CyclesIn(ms / 1000.0), false);
}

void CCpuDevice::Run(double seconds) { RunUntil(m_machine->Now() + CyclesIn(seconds), false); }

// ---- time ----

void CCpuDevice::ReleaseHeld() {
  while (!m_held.empty() && m_held.front().second <= m_machine->Now()) {
    m_out.push_back(m_held.front().first);
    m_held.pop_front();
  }
}

void CCpuDevice::RunUntil(uint64_t limit, bool untilInput) {
  hc11::Machine& m = *m_machine;
  for (;;) {
    ReleaseHeld();
    if (untilInput && !m_out.empty()) return;
    const uint64_t now = m.Now();
    while (!m_in.empty() && m_in.front().start <= static_cast<double>(now)) {
      PutOnWire(m_in.front());
      m_in.pop_front();
    }
    if (now >= limit) return;
    uint64_t target = limit;
    if (!m_in.empty()) target = std::min(target, static_cast<uint64_t>(std::ceil(m_in.front().start)));
    // Waiting for an answer, the machine stops at each of its events, so an
    // answer is seen at the cycle it arrives.  An answer written during a
    // step is no event yet; it takes a character time on the wire, so steps
    // no longer than that stop before it arrives.
    if (untilInput) {
      const uint64_t character = 10ull * m.GetSci().BitCycles();
      target = std::min({target, std::max(m.NextEvent(), now + 1), now + character});
      if (!m_held.empty()) target = std::min(target, std::max(m_held.front().second, now + 1));
    }
    m.Run(std::max(target, now + 1));
    Collect();
  }
}

void CCpuDevice::PutOnWire(const Queued& q) {
  HostFrame f{q.byte, q.byte, false, static_cast<uint64_t>(std::ceil(q.start)), q.baud};
  if (m_dropCount > 0 && m_dropAfter > 0) {
    --m_dropAfter;
  } else if (m_dropCount > 0) {
    --m_dropCount;
    f.dropped = true;
    m_hostLog.push_back(f);
    return;
  }
  if (m_spoilHostAt > 0 && --m_spoilHostAt == 0) f.onWire ^= m_spoilHostMask;
  f.onWire = Noise(f.onWire);
  if (hostNoise) f.onWire = hostNoise(m_hostLog.size(), f.onWire);
  const int tag = m_tagBase + static_cast<int>(m_hostLog.size());
  m_hostLog.push_back(f);
  m_machine->GetSci().HostFrame(f.onWire, q.bit, tag, f.start);
  m_machine->GetCpu().EndBatch();
}

void CCpuDevice::Collect() {
  hc11::Machine& m = *m_machine;
  auto& received = m.GetSci().ReceivedLog();
  for (const auto& r : received) {
    hc11::Sci::Received copy = r;
    copy.tag -= m_tagBase;
    if (copy.tag < 0 || copy.tag >= static_cast<int>(m_hostLog.size())) copy.tag = -1;
    m_sciReceived.push_back(copy);
  }
  received.clear();
  auto& out = m.GetSci().Output();
  for (const auto& sent : out) {
    TargetFrame f{sent.byte, sent.byte, false, sent.end};
    const int sciBaud = static_cast<int>(std::lround(m.EHz() / sent.bitCycles));
    if (!m_stalled) {
      if (m_spoilTargetAt > 0 && --m_spoilTargetAt == 0) f.heard ^= m_spoilTargetMask;
      f.heard = Noise(f.heard);
      if (targetNoise) f.heard = targetNoise(m_targetLog.size(), f.heard);
      if (!RatesMatch(sciBaud, m_hostBaud)) f.heard = SimGarbleByte(f.heard, sciBaud, m_hostBaud);
      // A closed port hears nothing, nor does one whose byte was lost.
      f.delivered = m_open && !m_hungUp;
      if (m_dropTargetCount > 0 && m_dropTargetAfter > 0) {
        --m_dropTargetAfter;
      } else if (m_dropTargetCount > 0) {
        --m_dropTargetCount;
        f.delivered = false;
      }
      if (f.delivered) {
        if (m_latencyCycles == 0) {
          m_out.push_back(f.heard);
        } else {
          const uint64_t since = sent.end - m_origin;
          const uint64_t tick = (since + m_latencyCycles - 1) / m_latencyCycles * m_latencyCycles;
          m_held.emplace_back(f.heard, m_origin + tick);
        }
      }
    }
    m_targetLog.push_back(f);
  }
  out.clear();
}

uint8_t CCpuDevice::Noise(uint8_t byte) {
  if (m_noiseRate <= 0 || std::uniform_real_distribution<double>(0, 1)(m_random) >= m_noiseRate) return byte;
  return static_cast<uint8_t>(byte ^ std::uniform_int_distribution<int>(1, 255)(m_random));
}

// ---- the controller ----

void CCpuDevice::ResetTarget() {
  m_in.clear();
  m_out.clear();
  m_held.clear();
  m_stalled = false;
  m_machine->Reset(hc11::McuMode::Bootstrap);
  Settle();
  Collect();
}

bool CCpuDevice::LoaderRunning() const {
  const hc11::Machine& m = *m_machine;
  const bool romMapped = m.Register(hc11::Machine::HPRIO) & hc11::Machine::HPRIO_RBOOT;
  return !(romMapped && m.GetCpu().Regs().pc >= 0xBF00) && m.Crash().empty();
}

std::vector<uint8_t> CCpuDevice::TargetBytes() const {
  std::vector<uint8_t> bytes;
  bytes.reserve(m_targetLog.size());
  for (const auto& f : m_targetLog) bytes.push_back(f.byte);
  return bytes;
}

void CCpuDevice::ClearTrace() {
  m_tagBase += static_cast<int>(m_hostLog.size());
  m_hostLog.clear();
  m_targetLog.clear();
  m_sciReceived.clear();
  m_hostWritten.clear();
}

// ---- faults ----

void CCpuDevice::SpoilHostByte(int nth, uint8_t mask) {
  m_spoilHostAt = std::max(0, nth);
  m_spoilHostMask = mask;
}

void CCpuDevice::SpoilTargetByte(int nth, uint8_t mask) {
  m_spoilTargetAt = std::max(0, nth);
  m_spoilTargetMask = mask;
}

void CCpuDevice::SetRandomCorruption(double rate, uint32_t seed) {
  m_noiseRate = rate;
  m_random.seed(seed);
}

void CCpuDevice::Replug() {
  m_hungUp = false;
  m_hangUpAfter = 0;
}

void CCpuDevice::Stall() {
  m_stalled = true;
  m_machine->GetCpu().Halt();
}
