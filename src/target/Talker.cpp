#include "target/Talker.h"

#include "shell/Shell.h"

#include "image/Programmer.h"
#include "link/Link.h"
#include "panes/MainFrame.h"
#include "target/HexFormat.h"
#include "target/ProgressDlg.h"
#include "target/TargetRange.h"

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok:
      return "done";
    case Outcome::Cancelled:
      return "cancelled";
    case Outcome::NotConnected:
      return "not connected";
    case Outcome::LinkLost:
      return "link lost";
    case Outcome::Interrupted:
      return "interrupted";
    case Outcome::FileError:
      return "file error";
    case Outcome::BadRecords:
      return "bad records";
    case Outcome::NothingToDo:
      return "nothing to do";
    case Outcome::Refused:
      return "refused";
    case Outcome::BootFailed:
      return "boot load failed";
    case Outcome::NoTalker:
      return "no talker";
    case Outcome::CommandRejected:
      return "command rejected";
    case Outcome::EchoMismatch:
      return "echo mismatch";
    case Outcome::VerifyMismatch:
      return "verify mismatch";
    case Outcome::ReadMismatch:
      return "read mismatch";
    case Outcome::ChipFailed:
      return "chip failed";
  }
  return "unknown";
}

bool CTalker::Connected() const { return m_link.Connected(); }

void CTalker::NoteFault(Outcome outcome, unsigned address) {
  if (m_fault != Outcome::Ok || outcome == Outcome::Ok) return;
  m_fault = outcome;
  m_faultAddress = address & 0xFFFF;
  m_faultCommand = m_openSeen == m_link.OpenCount() ? m_commands : 0;
}

void CTalker::CountCommand() {
  if (m_openSeen != m_link.OpenCount()) {
    m_openSeen = m_link.OpenCount();
    m_commands = 0;
  }
  ++m_commands;
}

bool CTalker::StopHere() {
  if (!g_shell || !g_shell->StopRequested()) return false;
  NoteFault(Outcome::Interrupted);
  return true;
}

OpResult CTalker::FaultResult() const {
  OpResult r;
  r.outcome = m_fault;
  r.address = m_faultAddress;
  return r;
}

int CTalker::SendByte(uint8_t byte) {
  if (!m_link.Connected()) {
    NoteFault(Outcome::LinkLost);
    return 0;
  }
  if (m_link.WriteBytes(&byte, 1)) return 1;
  NoteFault(Outcome::LinkLost);
  return 0;
}

int CTalker::ReceiveByteChecked(uint8_t& byte, int waitMs) {
  if (m_link.ReceiveByte(byte, waitMs)) return 1;
  NoteFault(Outcome::LinkLost);
  return 0;
}

uint8_t CTalker::ReceiveByteWait(int waitMs) {
  uint8_t byte = 0;
  ReceiveByteChecked(byte, waitMs);
  return byte;
}

uint8_t CTalker::ReceiveByte() { return ReceiveByteWait(50); }

int CTalker::SendCommandHeader(uint8_t command, unsigned address, uint8_t count) {
  // A command byte that never left the host gets no reply; waiting for one
  // would hold the UI until the user disconnects.
  CountCommand();
  if (!SendByte(command)) return 0;
  uint8_t reply = 0;
  const bool answered = ReceiveByteChecked(reply);
  const bool ok = answered && reply == static_cast<uint8_t>(~command);
  if (answered && !ok) NoteFault(Outcome::CommandRejected, address);
  // The talker expects the whole header whatever its reply was.
  bool sent = SendByte(count);
  sent = SendByte(static_cast<uint8_t>(address >> 8)) && sent;
  sent = SendByte(static_cast<uint8_t>(address & 0xFF)) && sent;
  return ok && sent ? 1 : 0;
}

bool CTalker::SendDataPhase(unsigned& address, uint8_t count, const std::function<uint8_t(unsigned)>& source,
                            EchoPacing pacing, int waitMs, int& result,
                            const std::function<void(unsigned)>& sent) {
  // count is an 8-bit counter: 0 first runs 256 times.
  const unsigned n = count == 0 ? 256u : count;
  // A sliding window of two: the next byte goes out as soon as the oldest
  // echo is in, so the line never idles while the host waits, and the
  // talker never has more than two bytes it has not echoed (a third would
  // overrun its receiver).  Whether byte i may go out while another is
  // still unechoed is the pacing's choice: memory writes always, flash
  // writes except the chunk's last two, EEPROM writes never (the talker
  // programs each cell before it reads the next byte).
  auto mayOverlap = [&](unsigned i) {
    switch (pacing) {
      case EchoPacing::Pairs:
        return true;
      case EchoPacing::PairsButLastTwo:
        return n - i > 2;
      case EchoPacing::OneAtATime:
        break;
    }
    return false;
  };
  struct Outstanding {
    uint8_t byte;
    unsigned at;
  };
  Outstanding window[2];
  unsigned queued = 0;  // entries of window in use, oldest first
  unsigned next = 0;    // index in the chunk of the next byte to send
  while (next < n || queued > 0) {
    while (next < n && (queued == 0 || (queued == 1 && mayOverlap(next)))) {
      const unsigned at = address;
      const uint8_t byte = source(at);
      if (!SendByte(byte)) return false;
      window[queued++] = {byte, at};
      ++address;
      ++next;
      if (sent) sent(address);
    }
    uint8_t echo = 0;
    if (!ReceiveByteChecked(echo, waitMs)) return false;
    if (echo != window[0].byte) {
      result = 0;
      NoteFault(Outcome::EchoMismatch, window[0].at);
    }
    window[0] = window[1];
    --queued;
  }
  return true;
}

int CTalker::WriteTargetBlock(unsigned address, const uint8_t* data, unsigned countMinusOne) {
  if (!m_link.Connected()) {
    NoteFault(Outcome::NotConnected);
    return 0;
  }
  if (!RangeFits(address, countMinusOne)) return 0;
  m_link.Queue().Clear();
  const unsigned base = address;
  unsigned remaining = countMinusOne + 1;
  int result = 1;
  bool firstChunk = true;
  while (remaining > 0) {
    // A single byte is never cut off: it may be one step of a register
    // sequence (an EEPROM pulse) that must not stop half way.
    if (!firstChunk && StopHere()) return 0;
    firstChunk = false;
    uint8_t count = CountByte(remaining);
    if (!SendCommandHeader(CMD_WRITE, address & 0xFFFF, count)) result = 0;
    auto source = [&](unsigned a) { return data[a - base]; };
    if (!SendDataPhase(address, count, source, EchoPacing::Pairs, 50, result)) return 0;
  }
  return result;
}

int CTalker::WriteTargetByte(unsigned address, uint8_t value) { return WriteTargetBlock(address, &value, 0); }

int CTalker::ReadTargetByte(unsigned address, uint8_t& byte) {
  if (!m_link.Connected()) {
    NoteFault(Outcome::NotConnected);
    return 0;
  }
  // A stale byte left from an earlier exchange would otherwise pass for the
  // complement and shift the real answer into the value; callers write
  // registers such as CONFIG back from what this returns.
  m_link.Queue().Clear();
  int result = SendCommandHeader(CMD_READ, address & 0xFFFF, 1);
  uint8_t received = 0;
  // The acknowledgement's value means nothing to the talker.
  if (!SendByte(byte) || !ReceiveByteChecked(received)) return 0;
  byte = received;
  SetStatusText(HexPairText(address, byte));
  return result;
}

int CTalker::ReadTargetBlock(unsigned address, CProgrammer& programmer, unsigned countMinusOne) {
  return ReadTargetBlock(address, programmer, countMinusOne, "Reading Memory", Transfer::Read);
}

int CTalker::ReadTargetBlock(unsigned address, CProgrammer& programmer, unsigned countMinusOne,
                             const std::string& label, Transfer transfer) {
  CProgressDlg progress;
  progress.Begin(label, address, countMinusOne, programmer.GetImageByte(address), transfer);
  if (!m_link.Connected()) {
    NoteFault(Outcome::NotConnected);
    return 0;
  }
  if (!RangeFits(address, countMinusOne)) return 0;

  m_link.Queue().Clear();
  const unsigned first = address;
  unsigned remaining = countMinusOne + 1;
  int result = 1;
  while (remaining > 0) {
    if (StopHere()) return 0;
    uint8_t count = CountByte(remaining);
    if (!SendCommandHeader(CMD_READ, address & 0xFFFF, count)) result = 0;
    uint8_t last = 0;
    // The talker sends the first byte after the header and each further one
    // when the previous one is acknowledged.  One acknowledgement is kept
    // ahead: the next byte's goes out as soon as a byte arrives, so the
    // talker never waits for the host to see a byte before it may send the
    // next, and never holds more than two unread acknowledgements.  Their
    // values mean nothing to the talker; the first echoes its byte, the
    // others repeat what the image held.  Only bytes that really arrived
    // reach the image; a lost link ends the read as a failure.
    const unsigned n = count == 0 ? 256u : count;
    for (unsigned i = 0; i < n; ++i) {
      if (!ReceiveByteChecked(last)) return 0;
      programmer.SetImageByte(address + i, last);
      if (i == 0 && !SendByte(last)) return 0;
      if (i + 1 < n && !SendByte(programmer.GetImageByte(address + i + 1))) return 0;
    }
    address += n;
    progress.SetPos(address - 1);
    progress.SetAddress(address - 1, true);
    progress.SetValue(last, true);
    progress.SetDone(address - first);
  }
  return result;
}
