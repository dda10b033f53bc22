#include "sim/hc11/Sci.h"

#include <algorithm>
#include <cmath>

namespace hc11 {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

// Level of bit k of an 8N1 frame: 0 start, 1-8 data (LSB first), 9 stop.
int FrameBit(uint8_t byte, int k) {
  if (k <= 0) return 0;
  if (k >= 9) return 1;
  return (byte >> (k - 1)) & 1;
}

uint64_t CeilCycle(double t) { return t <= 0 ? 0 : static_cast<uint64_t>(std::ceil(t)); }
}  // namespace

void Sci::Reset(uint64_t now) {
  // M68HC11 Reference Manual, SCI registers: SCSR resets to TDRE and TC set.
  m_baud = 0;
  m_sccr1 = 0;
  m_sccr2 = 0;
  m_scsr = TDRE | TC;
  m_scsrSeen = 0;
  m_rxStart = -1;
  m_rxDone = NEVER;
  m_idleAt = NEVER;
  m_shifting = false;
  m_txDone = NEVER;
  // The wire keeps whatever the host is sending; the receiver starts afresh.
  m_rxFrom = static_cast<double>(now);
  ScheduleReceive();
}

unsigned Sci::BitCycles() const {
  // Reference manual, BAUD register: prescaler SCP1:SCP0 divides by 1, 3, 4
  // or 13; SCR2:SCR0 divides by 1 to 128; one bit is 16 receiver clocks.
  static constexpr unsigned kPrescale[4] = {1, 3, 4, 13};
  return 16u * kPrescale[(m_baud >> 4) & 3] * (1u << (m_baud & 7));
}

double Sci::HostFrame(uint8_t byte, double bitCycles, int tag, uint64_t notBefore) {
  double start = std::max(static_cast<double>(notBefore), m_lineFree);
  m_frames.push_back({start, bitCycles, byte, tag});
  m_lineFree = start + 10 * bitCycles;
  if (m_rxStart < 0) ScheduleReceive();
  return m_lineFree;
}

int Sci::Level(double t) {
  for (const Frame& f : m_frames) {
    if (t < f.start) return 1;
    double end = f.start + 10 * f.bit;
    if (t < end) return FrameBit(f.byte, static_cast<int>((t - f.start) / f.bit));
  }
  return 1;
}

double Sci::NextFallingEdge(double t) {
  for (const Frame& f : m_frames) {
    if (f.start + 8 * f.bit < t) continue;  // no boundary left in this frame
    for (int k = 0; k <= 8; ++k) {
      double edge = f.start + k * f.bit;
      if (edge < t) continue;
      // The frame's start follows the previous stop bit or an idle line.
      if (k == 0 || (FrameBit(f.byte, k - 1) == 1 && FrameBit(f.byte, k) == 0)) return edge;
    }
  }
  return kInf;
}

void Sci::Prune(double before) {
  while (!m_frames.empty() && m_frames.front().start + 10 * m_frames.front().bit < before)
    m_frames.pop_front();
}

void Sci::ScheduleReceive() {
  m_rxStart = -1;
  m_rxDone = NEVER;
  double edge = NextFallingEdge(m_rxFrom);
  if (edge == kInf) return;
  m_rxStart = edge;
  unsigned dataBits = (m_sccr1 & 0x10) ? 9 : 8;
  double b = BitCycles();
  // The stop bit's last sample (RT10) closes the character.
  m_rxDone = CeilCycle(edge + (1 + dataBits) * b + b * 10.0 / 16.0);
}

void Sci::CompleteReceive() {
  const double e = m_rxStart, b = BitCycles();
  unsigned dataBits = (m_sccr1 & 0x10) ? 9 : 8;
  bool noise = false;
  // Reference manual, SCI receiver: three samples (RT8, RT9, RT10) in the
  // middle of each bit; the majority decides and disagreement is noise.
  auto sample = [&](unsigned bit) {
    double centre = e + (bit + 0.5) * b;
    int s1 = Level(centre - b / 16), s2 = Level(centre), s3 = Level(centre + b / 16);
    if (s1 != s2 || s2 != s3) noise = true;
    return s1 + s2 + s3 >= 2 ? 1 : 0;
  };
  if (sample(0) == 1) {
    // A false start bit: keep looking after it.
    m_rxFrom = e + b / 2;
    ScheduleReceive();
    return;
  }
  unsigned value = 0;
  for (unsigned k = 0; k < dataBits; ++k) value |= static_cast<unsigned>(sample(1 + k)) << k;
  bool framingError = sample(1 + dataBits) == 0;

  int tag = -1;
  for (const Frame& f : m_frames) {
    if (e >= f.start && e < f.start + 10 * f.bit) {
      tag = f.tag;
      break;
    }
  }
  m_received.push_back({tag, static_cast<uint8_t>(value), framingError, noise});

  if (m_sccr2 & RE) {
    if (m_scsr & RDRF) {
      m_scsr |= OR;  // the new character is lost
      ++m_overruns;
    } else {
      m_rdr = static_cast<uint8_t>(value);
      if (dataBits == 9) m_sccr1 = static_cast<uint8_t>((m_sccr1 & 0x7F) | ((value >> 1) & 0x80));
      m_scsr =
          static_cast<uint8_t>((m_scsr & ~(NF | FE)) | RDRF | (noise ? NF : 0) | (framingError ? FE : 0));
    }
    m_idleAt = m_rxDone + FrameBits() * static_cast<uint64_t>(b);
  }
  m_rxFrom = e + (1.5 + dataBits) * b;
  Prune(std::min(m_rxFrom, e));
  ScheduleReceive();
}

void Sci::StartShift(uint64_t now) {
  if (m_scsr & TDRE) return;  // nothing waiting
  m_shift = m_tdr;
  m_scsr |= TDRE;
  m_shifting = true;
  m_shiftIsData = true;
  m_shiftBit = BitCycles();
  m_txDone = now + static_cast<uint64_t>(FrameBits()) * m_shiftBit;
}

void Sci::Advance(uint64_t now) {
  for (;;) {
    uint64_t t = std::min({m_rxDone, m_txDone, m_idleAt});
    if (t > now) return;
    if (t == m_rxDone) {
      CompleteReceive();
    } else if (t == m_txDone) {
      if (m_shiftIsData) m_output.push_back({m_shift, t, m_shiftBit});
      m_shifting = false;
      m_txDone = NEVER;
      if ((m_sccr2 & TE) && !(m_scsr & TDRE))
        StartShift(t);
      else if (m_scsr & TDRE)
        m_scsr |= TC;
    } else {
      // A whole idle character since the last one, unless another began.
      if (m_rxStart < 0 || m_rxStart >= static_cast<double>(m_idleAt)) m_scsr |= IDLE;
      m_idleAt = NEVER;
    }
  }
}

uint64_t Sci::NextEvent() const { return std::min({m_rxDone, m_txDone, m_idleAt}); }

bool Sci::InterruptPending() const {
  return ((m_sccr2 & TIE) && (m_scsr & TDRE)) || ((m_sccr2 & TCIE) && (m_scsr & TC)) ||
         ((m_sccr2 & RIE) && (m_scsr & (RDRF | OR))) || ((m_sccr2 & ILIE) && (m_scsr & IDLE));
}

uint8_t Sci::ReadScsr() {
  m_scsrSeen = m_scsr;
  return m_scsr;
}

uint8_t Sci::ReadScdr() {
  // Second half of the clearing sequence: the receive flags seen set by the
  // last SCSR read are cleared.
  m_scsr = static_cast<uint8_t>(m_scsr & ~(m_scsrSeen & (RDRF | IDLE | OR | NF | FE)));
  m_scsrSeen = 0;
  return m_rdr;
}

void Sci::WriteBaud(uint8_t value, uint64_t now) {
  (void)now;
  m_baud = value;
  if (m_rxStart >= 0) {
    unsigned dataBits = (m_sccr1 & 0x10) ? 9 : 8;
    double b = BitCycles();
    m_rxDone = CeilCycle(m_rxStart + (1 + dataBits) * b + b * 10.0 / 16.0);
  }
}

void Sci::WriteSccr2(uint8_t value, uint64_t now) {
  bool wasOn = m_sccr2 & TE;
  m_sccr2 = value;
  if (!wasOn && (value & TE) && !m_shifting) {
    // Enabling the transmitter sends a preamble: one idle character.
    m_shifting = true;
    m_shiftIsData = false;
    m_scsr &= static_cast<uint8_t>(~TC);
    m_shiftBit = BitCycles();
    m_txDone = now + static_cast<uint64_t>(FrameBits()) * m_shiftBit;
  }
}

void Sci::WriteScdr(uint8_t value, uint64_t now) {
  m_tdr = value;
  m_scsr &= static_cast<uint8_t>(~(TDRE | TC));
  m_scsrSeen = 0;
  if ((m_sccr2 & TE) && !m_shifting) StartShift(now);
}

}  // namespace hc11
