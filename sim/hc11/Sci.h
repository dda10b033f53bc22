// The serial communications interface (M68HC11 Reference Manual, SCI
// chapter) and the wire from the host.  The host's bytes are laid on the
// wire as frames at the host's own rate; the receiver finds start edges and
// samples each bit three times in the middle of its own bit time, so a byte
// sent at another rate arrives as the SCI would really see it (wrong value,
// noise flag, framing error, or a break).  Transmitted bytes reach the host
// when their stop bit has been sent.  Times are E cycles.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <utility>
#include <vector>

namespace hc11 {

class Sci {
 public:
  static constexpr uint64_t NEVER = std::numeric_limits<uint64_t>::max();

  // SCSR bits.
  static constexpr uint8_t TDRE = 0x80, TC = 0x40, RDRF = 0x20, IDLE = 0x10, OR = 0x08, NF = 0x04, FE = 0x02;
  // SCCR2 bits.
  static constexpr uint8_t TIE = 0x80, TCIE = 0x40, RIE = 0x20, ILIE = 0x10, TE = 0x08, RE = 0x04, RWU = 0x02,
                           SBK = 0x01;

  struct Received {  // a character the receiver assembled, for the line trace
    int tag;         // tag of the host frame its start edge fell in, -1 for none
    uint8_t value;
    bool framingError;
    bool noise;
  };

  void Reset(uint64_t now);

  // A frame of `byte` at `baud` bits per second of the host (bitCycles E
  // cycles per bit), starting at the later of `notBefore` and the end of the
  // previous frame.  Returns the cycle at which it ends.
  double HostFrame(uint8_t byte, double bitCycles, int tag, uint64_t notBefore);
  double LineFree() const { return m_lineFree; }
  bool FramesAfter(uint64_t t) const { return m_lineFree > static_cast<double>(t); }

  // Registers.
  uint8_t ReadBaud() const { return m_baud; }
  uint8_t ReadSccr1() const { return m_sccr1; }
  uint8_t ReadSccr2() const { return m_sccr2; }
  uint8_t ReadScsr();
  uint8_t ReadScdr();
  uint8_t PeekScsr() const { return m_scsr; }
  void WriteBaud(uint8_t value, uint64_t now);
  void WriteSccr1(uint8_t value) { m_sccr1 = static_cast<uint8_t>((m_sccr1 & 0x80) | (value & 0x58)); }
  void WriteSccr2(uint8_t value, uint64_t now);
  void WriteScdr(uint8_t value, uint64_t now);

  // E cycles per bit at the current BAUD setting: 16 x prescaler x rate select.
  unsigned BitCycles() const;

  void Advance(uint64_t now);
  uint64_t NextEvent() const;
  bool InterruptPending() const;

  struct Sent {  // a character the transmitter finished
    uint8_t byte;
    uint64_t end;        // E cycle at the end of its stop bit
    unsigned bitCycles;  // the rate it went out at, which BAUD may since have left
    bool operator==(const Sent&) const = default;
  };
  std::vector<Sent>& Output() { return m_output; }
  // Characters lost to an overrun since the machine was made: OR itself is
  // cleared by the program's next SCSR and SCDR reads, this count is not.
  unsigned Overruns() const { return m_overruns; }
  std::vector<Received>& ReceivedLog() { return m_received; }

 private:
  struct Frame {
    double start;
    double bit;
    uint8_t byte;
    int tag;
  };
  int Level(double t);  // 1 idle/mark, 0 space
  double NextFallingEdge(double t);
  void ScheduleReceive();
  void CompleteReceive();
  void StartShift(uint64_t now);
  unsigned FrameBits() const { return (m_sccr1 & 0x10) ? 11u : 10u; }
  void Prune(double before);

  uint8_t m_baud = 0, m_sccr1 = 0, m_sccr2 = 0, m_scsr = TDRE | TC;
  uint8_t m_rdr = 0, m_tdr = 0;
  uint8_t m_scsrSeen = 0;  // flags set when SCSR was last read (first half of the clearing sequence)

  std::deque<Frame> m_frames;
  double m_lineFree = 0;
  double m_rxFrom = 0;    // the receiver looks for a start edge from here
  double m_rxStart = -1;  // edge of the character being received, or -1
  uint64_t m_rxDone = NEVER;
  uint64_t m_idleAt = NEVER;  // when a full idle character after the last one sets IDLE

  bool m_shifting = false;
  bool m_shiftIsData = false;
  uint8_t m_shift = 0;
  uint64_t m_txDone = NEVER;

  unsigned m_overruns = 0;
  unsigned m_shiftBit = 0;  // bit time of the character in the shift register
  std::vector<Sent> m_output;
  std::vector<Received> m_received;
};

}  // namespace hc11
