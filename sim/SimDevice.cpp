#include "sim/SimDevice.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// A UART tolerates a few percent between the two ends' clocks.
bool RatesMatch(int sent, int listening) {
  if (sent <= 0 || listening <= 0) return false;
  return std::abs(sent - listening) <= listening * 0.02;
}

}  // namespace

CSimDevice::CSimDevice(const SimOptions& options, const std::string& name)
    : m_options(options), m_name(name), m_target(std::make_unique<SimTarget>(options)) {}

CSimDevice::~CSimDevice() = default;

bool CSimDevice::Open(const std::string& path) {
  m_lastError.clear();
  m_lastErrorCode = 0;
  if (m_open) {
    m_lastErrorCode = EBUSY;
    m_lastError = "Cannot open " + path + ": the port is in use by another program";
    return false;
  }
  if (path != m_name) {
    m_lastErrorCode = ENOENT;
    m_lastError = "Cannot open " + path + ": no such device";
    return false;
  }
  if (m_hungUp || !m_openFailure.empty()) {
    m_lastErrorCode = ENODEV;
    m_lastError = "Cannot open " + path + ": " + (m_openFailure.empty() ? "no such device" : m_openFailure);
    return false;
  }
  m_open = true;
  m_path = path;
  return true;
}

void CSimDevice::Close() {
  m_open = false;
  m_path.clear();
  // What was on its way to the host is lost with the port; the controller
  // still receives what the host had sent.
  m_out.clear();
}

bool CSimDevice::SetCommMask(uint32_t) { return m_open; }

bool CSimDevice::PurgeComm(unsigned flags) {
  if (!m_open) return false;
  if (flags & (serial::kPurgeRxAbort | serial::kPurgeRxClear)) {
    while (!m_out.empty() && m_out.front().at <= m_now) m_out.pop_front();
  }
  return true;
}

bool CSimDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
  m_timeouts = timeouts;
  return m_open;
}

bool CSimDevice::GetCommState(CommState& state) {
  if (!m_open) return false;
  state = m_state;
  state.baudRate = m_hostBaud;
  return true;
}

bool CSimDevice::SetCommState(const CommState& state) {
  if (!m_open) return false;
  if (state.baudRate <= 0) {
    m_lastErrorCode = EINVAL;
    m_lastError = "line rate " + std::to_string(state.baudRate) + " is not valid";
    return false;
  }
  m_state = state;
  const int previous = m_hostBaud;
  m_hostBaud = state.baudRate;
  // A host that opens the line at the bootstrap rate means to download: a
  // controller whose program is running gets the reset the user would give it.
  if (m_options.resetOnBootstrapRateOpen && previous != m_hostBaud &&
      RatesMatch(m_hostBaud, m_options.bootstrapBaud) &&
      !RatesMatch(m_options.normalBaud, m_options.bootstrapBaud) && m_target->Mode() != SimMode::Bootstrap) {
    m_target->Reset();
    m_out.clear();
  }
  return true;
}

bool CSimDevice::ClearCommError(uint32_t& errors, uint32_t& waiting, int& error) {
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
  waiting = static_cast<uint32_t>(Arrived());
  return true;
}

size_t CSimDevice::Arrived() const {
  size_t n = 0;
  while (n < m_out.size() && m_out[n].at <= m_now) ++n;
  return n;
}

int CSimDevice::Read(uint8_t* buffer, unsigned length, int& error) {
  error = 0;
  if (!m_open || m_hungUp) {
    error = m_open ? EIO : EBADF;
    return -1;
  }
  unsigned n = 0;
  while (n < length && !m_out.empty() && m_out.front().at <= m_now) {
    buffer[n++] = m_out.front().byte;
    m_out.pop_front();
  }
  return static_cast<int>(n);
}

unsigned CSimDevice::Write(const uint8_t* data, unsigned length, int& error) {
  error = 0;
  if (!m_open || m_hungUp) {
    error = m_open ? EIO : EBADF;
    return 0;
  }
  for (unsigned i = 0; i < length; ++i) {
    if (m_hangUpAfter != 0 && m_hostBytes.size() >= m_hangUpAfter) {
      m_hungUp = true;
      error = EIO;
      return i;
    }
    m_lineIn = std::max(m_now, m_lineIn) + 10.0 / m_hostBaud;
    const uint8_t byte = hostNoise ? hostNoise(m_hostBytes.size(), data[i]) : data[i];
    m_in.push_back({byte, m_lineIn, m_hostBaud});
    m_hostBytes.push_back(data[i]);
  }
  return length;
}

bool CSimDevice::WaitCommEvent(uint32_t& events, int& error) {
  // The link never waits here on a synchronous device.
  events = 0;
  error = m_open ? 0 : EBADF;
  return m_open;
}

void CSimDevice::WaitForInput(int ms) { RunUntil(m_now + std::max(ms, 1) / 1000.0, true); }

void CSimDevice::Sleep(int ms) {
  if (ms > 0) RunUntil(m_now + ms / 1000.0, false);
}

void CSimDevice::ResetTarget() {
  m_in.clear();
  m_out.clear();
  m_target->Reset();
  std::vector<std::pair<uint8_t, double>> stale;
  m_target->TakeOutput(stale);
}

void CSimDevice::ClearTrace() {
  m_hostBytes.clear();
  m_targetBytes.clear();
}

void CSimDevice::SetRandomCorruption(double rate, uint32_t seed) {
  m_randomRate = rate;
  m_random.seed(seed);
}

void CSimDevice::Deliver(const Timed& in) {
  uint8_t received = in.byte;
  const int listening = m_target->ListeningBaud();
  if (!RatesMatch(in.rate, listening)) received = SimGarbleByte(in.byte, in.rate, listening);
  if (m_dropCount > 0) {
    --m_dropCount;
    return;
  }
  if (m_randomRate > 0 && std::uniform_real_distribution<double>(0, 1)(m_random) < m_randomRate)
    received ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(m_random));
  m_target->Receive(received, in.at);
}

void CSimDevice::Collect() {
  m_produced.clear();
  m_target->TakeOutput(m_produced);
  for (auto [byte, at] : m_produced) {
    m_lineOut = std::max(at, m_lineOut) + 10.0 / m_target->ListeningBaud();
    const uint8_t heard = targetNoise ? targetNoise(m_targetBytes.size(), byte) : byte;
    m_targetBytes.push_back(byte);
    // A closed port hears nothing.
    // Behind a USB adapter the byte waits for the next tick of its latency timer.
    double heardAt = m_lineOut;
    if (m_options.adapterLatencyMs > 0) {
      const double period = m_options.adapterLatencyMs / 1000.0;
      heardAt = std::ceil(heardAt / period - 1e-9) * period;
    }
    if (m_open) m_out.push_back({heard, heardAt, m_target->ListeningBaud()});
  }
}

void CSimDevice::RunUntil(double limit, bool untilInput) {
  for (;;) {
    const double nextOut = untilInput && !m_out.empty() ? m_out.front().at : kInf;
    const double nextIn = m_in.empty() ? kInf : m_in.front().at;
    const double nextDue = m_target->NextDeadline();
    const double next = std::min({nextIn, nextDue, limit});
    if (nextOut <= next) {
      m_now = std::max(m_now, nextOut);
      return;
    }
    if (nextIn > limit && nextDue > limit) {
      m_target->Advance(limit);
      Collect();
      if (untilInput && !m_out.empty() && m_out.front().at <= limit) {
        m_now = std::max(m_now, m_out.front().at);
        return;
      }
      m_now = std::max(m_now, limit);
      return;
    }
    if (nextIn <= nextDue) {
      const Timed in = m_in.front();
      m_in.pop_front();
      m_target->Advance(in.at);
      Deliver(in);
    } else {
      m_target->Advance(nextDue);
    }
    Collect();
  }
}
