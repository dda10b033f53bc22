#include "target/Stream.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "image/Programmer.h"
#include "link/Link.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "target/ProgressDlg.h"
#include "target/TargetRange.h"

namespace {

// How long a block read may stay silent before it is given up and read
// again: far beyond a character time at any rate the program opens.
constexpr int kSilenceMs = 500;

// The next byte within `ms` of silence (no limit when `ms` is negative): 1
// with the byte, 0 when nothing came (or the link went).  UI events are
// served meanwhile, as CLink::ReceiveByte does.
int ReceiveWithin(CLink& link, uint8_t& byte, int ms) {
  const bool synchronous = link.Device().Synchronous();
  const auto start = std::chrono::steady_clock::now();
  int waited = 0;
  while (link.Queue().Count() == 0) {
    if (!link.Connected()) return 0;
    if (g_shell && g_shell->DispatchPendingEvent()) continue;
    if (synchronous) {
      // The device's own time passes only while we wait on it.
      if (ms >= 0 && waited >= ms) return 0;
      link.SleepMs(1);
      ++waited;
    } else {
      const auto now = std::chrono::steady_clock::now();
      if (ms >= 0 && std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count() >= ms) return 0;
      link.DataEvent().Wait(5);
      link.DataEvent().Reset();
    }
  }
  byte = link.Queue().GetByte();
  return 1;
}

// After a block that went wrong: whatever is still on its way is let in and
// thrown away, so the next command starts on a quiet line.
void Settle(CLink& link) {
  uint8_t byte = 0;
  while (ReceiveWithin(link, byte, 50)) {
  }
  link.Queue().Clear();
}

// One block read: 1 when its CRC holds (bytes in `data`), 0 when it does not
// or the talker fell silent, -1 when the link went away.
int ReadOneBlock(CTalker& talker, unsigned address, unsigned count, std::vector<uint8_t>& data,
                 int firstByteMs = kSilenceMs) {
  CLink& link = talker.Link();
  const uint8_t frame[4] = {xproto::CMD_XREAD, static_cast<uint8_t>(count & 0xFF),
                            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address & 0xFF)};
  talker.CountCommand();
  if (!link.WriteBytes(frame, sizeof frame)) {
    talker.NoteFault(Outcome::LinkLost, address);
    return -1;
  }
  std::vector<uint8_t> answer(count + 3);
  for (size_t i = 0; i < answer.size(); ++i) {
    if (!ReceiveWithin(link, answer[i], i == 0 ? firstByteMs : kSilenceMs)) return link.Connected() ? 0 : -1;
  }
  if (answer[0] != static_cast<uint8_t>(~xproto::CMD_XREAD)) return 0;
  if (!BlockReadAnswerGood(address, count, answer.data() + 1, answer.size() - 1)) return 0;
  data.assign(answer.begin() + 1, answer.begin() + 1 + count);
  return 1;
}

// The longest a block write's answer may take after the frame has gone out:
// the frame's own line time at the slowest rate the program opens, and 128
// EEPROM cells at two 10 ms pulses each, with room to spare.
constexpr int kWriteAnswerMs = 6000;

const uint8_t kWriteCommand = xproto::CMD_XWRITE;

// Lets in the answer to a frame the talker cannot take as meant (the
// command byte sent ahead, which must not start a real write), then leaves
// the line quiet.
void CancelPendingWrite(CLink& link) {
  const std::vector<uint8_t> zeros(xproto::kWriteFrameSize, 0x00);
  // A frame of zeros fails its CRC, so nothing is written.
  link.WriteBytes(zeros.data(), static_cast<unsigned>(zeros.size()));
  uint8_t byte = 0;
  if (ReceiveWithin(link, byte, kSilenceMs)) ReceiveWithin(link, byte, kWriteAnswerMs);
  Settle(link);
}

// One block write.  1 when the talker's answer says the block holds what
// was meant; 0 when it does not (spoiled on the line, not written, read back
// otherwise, no answer); -1 when the link went.  `commandOut` says whether
// the command byte has been sent ahead of this block; on return, whether it
// has been sent ahead of the next (`sendNext`), which is done as soon as
// this frame has gone so that the talker's complement follows its answer
// without another turn of the line.
int WriteOneBlock(CTalker& talker, unsigned address, unsigned count, xproto::BlockKind kind,
                  const std::function<uint8_t(unsigned)>& source, bool& commandOut, bool sendNext) {
  CLink& link = talker.Link();
  const bool sentAhead = commandOut;
  commandOut = false;
  if (!sentAhead) {
    talker.CountCommand();
    if (!link.WriteBytes(&kWriteCommand, 1)) return -1;
  }
  uint8_t reply = 0;
  bool answered = ReceiveWithin(link, reply, kSilenceMs);
  if (!answered && sentAhead && link.Connected()) {
    // A frame that lost a byte on the way took the command sent ahead as
    // its last byte (and failed its CRC): the command goes again.
    Settle(link);
    talker.CountCommand();
    if (!link.WriteBytes(&kWriteCommand, 1)) return -1;
    answered = ReceiveWithin(link, reply, kSilenceMs);
  }
  if (!answered) return link.Connected() ? 0 : -1;
  if (reply != static_cast<uint8_t>(~xproto::CMD_XWRITE)) {
    // Not our complement: the talker did not take the command as ours and
    // waits for another.  Nothing more goes out for this block.
    Settle(link);
    return 0;
  }
  const std::vector<uint8_t> frame = BlockWriteFrame(address, count, kind, source);
  if (!link.WriteBytes(frame.data(), static_cast<unsigned>(frame.size()))) return -1;
  if (sendNext) {
    talker.CountCommand();
    if (!link.WriteBytes(&kWriteCommand, 1)) return -1;
    commandOut = true;
  }
  uint8_t answer[3] = {};
  for (unsigned i = 0; i < sizeof answer; ++i) {
    if (ReceiveWithin(link, answer[i], i == 0 ? kWriteAnswerMs : kSilenceMs)) continue;
    if (!link.Connected()) return -1;
    // Bytes of the frame were lost on the way: the talker still waits for
    // them.  Zeros complete the frame (its CRC fails, nothing is written)
    // and the rest are taken as unknown commands; all of it is let in.
    const std::vector<uint8_t> zeros(xproto::kWriteFrameSize, 0x00);
    link.WriteBytes(zeros.data(), static_cast<unsigned>(zeros.size()));
    uint8_t byte = 0;
    ReceiveWithin(link, byte, kWriteAnswerMs);
    Settle(link);
    commandOut = false;
    return 0;
  }
  if (answer[0] != xproto::kWriteOk) return 0;
  std::vector<uint8_t> meant(count);
  for (unsigned i = 0; i < count; ++i) meant[i] = source(address + i);
  const uint16_t crc = BlockWriteAnswerCrc(meant.data(), meant.size());
  return answer[1] == (crc >> 8) && answer[2] == (crc & 0xFF) ? 1 : 0;
}

// The signature block through the standard read, as any talker answers it.
bool ProbeSignature(CTalker& talker, TalkerExtension& out) {
  out = TalkerExtension();
  talker.Link().Queue().Clear();
  uint8_t bytes[xproto::kSignatureSize] = {};
  if (!talker.SendCommandHeader(CMD_READ, xproto::kSignatureAddress, xproto::kSignatureSize)) return false;
  for (unsigned i = 0; i < xproto::kSignatureSize; ++i) {
    if (!talker.ReceiveByteChecked(bytes[i])) return false;
    // The acknowledgement's value means nothing to the talker.
    if (!talker.SendByte(bytes[i])) return false;
  }
  return ParseSignature(bytes, sizeof bytes, out);
}

}  // namespace

bool SignatureInLoader(const CProgrammer& loader, TalkerExtension& out) {
  uint8_t bytes[xproto::kSignatureSize];
  for (unsigned i = 0; i < xproto::kSignatureSize; ++i) {
    const unsigned a = xproto::kSignatureAddress + i;
    if (loader.m_written[a] == 0) {
      out = TalkerExtension();
      return false;
    }
    bytes[i] = loader.m_image[a];
  }
  return ParseSignature(bytes, sizeof bytes, out);
}


std::vector<uint8_t> BlockWriteFrame(unsigned address, unsigned count, xproto::BlockKind kind,
                                     const std::function<uint8_t(unsigned)>& source) {
  std::vector<uint8_t> frame(xproto::kWriteFrameSize, 0xFF);
  frame[0] = static_cast<uint8_t>(count & 0xFF);
  frame[1] = static_cast<uint8_t>((address >> 8) & 0xFF);
  frame[2] = static_cast<uint8_t>(address & 0xFF);
  frame[3] = static_cast<uint8_t>(kind);
  const unsigned offset = address & (xproto::kRun - 1);
  for (unsigned i = 0; i < count && offset + i < xproto::kRun; ++i) frame[4 + offset + i] = source(address + i);
  const uint16_t crc = Crc16(frame.data(), 4 + xproto::kRun);
  frame[4 + xproto::kRun] = static_cast<uint8_t>(crc >> 8);
  frame[5 + xproto::kRun] = static_cast<uint8_t>(crc & 0xFF);
  return frame;
}

uint16_t BlockWriteAnswerCrc(const uint8_t* data, size_t n) { return Crc16(data, n, 0x0000); }

bool StandardProtocolForced() { return GetProfileInt("Comm", "Standard Protocol", 0) != 0; }

bool UseExtension(CTalker& talker) {
  if (StandardProtocolForced() || !talker.Connected() || !talker.Link().BootMode()) return false;
  if (!talker.ExtensionKnown()) {
    TalkerExtension found;
    ProbeSignature(talker, found);
    // A probe the line spoiled proves nothing: the standard protocol for now,
    // and the talker is asked again next time.  Its fault stays, so that the
    // operation reports a talker out of step as on its own first command.
    if (found.present || talker.FaultOutcome() == Outcome::Ok) talker.SetExtension(found);
  }
  return talker.Extension().present;
}

std::string ProtocolModeText(const CTalker& talker) {
  if (StandardProtocolForced()) return "standard protocol (chosen)";
  if (!talker.ExtensionKnown()) return "protocol not yet known";
  return talker.Extension().present ? "extended protocol (checked blocks)" : "standard protocol";
}

std::string ProtocolModeShort(const CTalker& talker) {
  if (StandardProtocolForced()) return "standard (chosen)";
  if (!talker.ExtensionKnown()) return "";
  return talker.Extension().present ? "checked" : "standard";
}

int StreamReadBlock(CTalker& talker, unsigned first, CProgrammer& programmer, unsigned countMinusOne,
                    const std::string& label, Transfer transfer) {
  CProgressDlg progress;
  progress.Begin(label, first, countMinusOne, programmer.GetImageByte(first), transfer);
  if (!talker.Connected()) {
    talker.NoteFault(Outcome::NotConnected);
    return 0;
  }
  if (!RangeFits(first, countMinusOne)) return 0;
  CLink& link = talker.Link();
  link.Queue().Clear();
  const unsigned blockMax = talker.Extension().readMax ? talker.Extension().readMax : 256;
  unsigned address = first;
  unsigned remaining = countMinusOne + 1;
  std::vector<uint8_t> data;
  while (remaining > 0) {
    if (talker.StopHere()) return 0;
    const unsigned count = remaining < blockMax ? remaining : blockMax;
    int got = ReadOneBlock(talker, address, count, data);
    if (got == 0) {
      // Once more: a byte spoiled on the line is not in the target.  A
      // talker that says nothing at all this time is waited for as the
      // standard read waits, until it answers or the user disconnects (or
      // keston-cli's time-out ends the run), not reported as a mismatch.
      Settle(link);
      got = ReadOneBlock(talker, address, count, data, -1);
    }
    if (got < 0) {
      talker.NoteFault(Outcome::LinkLost, address);
      return 0;
    }
    if (got == 0) {
      Settle(link);
      talker.NoteFault(Outcome::ReadMismatch, address);
      return 0;
    }
    for (unsigned i = 0; i < count; ++i) programmer.SetImageByte(address + i, data[i]);
    address += count;
    remaining -= count;
    progress.SetPos(address - 1);
    progress.SetAddress(address - 1, true);
    progress.SetValue(data[count - 1], true);
    progress.SetDone(address - first);
  }
  return 1;
}

bool UseBlockWrite(CTalker& talker) {
  return UseExtension(talker) && (talker.Extension().caps & xproto::kCapBlockWrite) != 0;
}

int StreamWriteRange(CTalker& talker, unsigned first, unsigned countMinusOne, xproto::BlockKind kind,
                     const std::function<uint8_t(unsigned)>& source, const std::function<bool(unsigned)>& skip,
                     const std::function<void(unsigned)>& done) {
  if (!talker.Connected()) {
    talker.NoteFault(Outcome::NotConnected);
    return 0;
  }
  if (!RangeFits(first, countMinusOne)) return 0;
  CLink& link = talker.Link();
  link.Queue().Clear();
  bool commandOut = false;
  unsigned address = first;
  unsigned remaining = countMinusOne + 1;
  while (remaining > 0) {
    if (talker.StopHere()) {
      // The talker is left waiting for a command, not for a frame.
      if (commandOut) CancelPendingWrite(link);
      return 0;
    }
    if (skip) {
      while (remaining > 1 && skip(address)) {
        ++address;
        --remaining;
      }
    }
    const unsigned runLeft = xproto::kRun - (address & (xproto::kRun - 1));
    const unsigned count = remaining < runLeft ? remaining : runLeft;
    const bool more = remaining > count;
    int got = WriteOneBlock(talker, address, count, kind, source, commandOut, more);
    // Once more: a byte spoiled on the line is not in the target.
    if (got == 0) got = WriteOneBlock(talker, address, count, kind, source, commandOut, more);
    if (got < 0) {
      talker.NoteFault(Outcome::LinkLost, address);
      return 0;
    }
    if (got == 0) {
      if (commandOut) CancelPendingWrite(link);
      Settle(link);
      talker.NoteFault(Outcome::EchoMismatch, address);
      return 0;
    }
    address += count;
    remaining -= count;
    if (done) done(address);
  }
  return 1;
}

int ReadRange(CTalker& talker, unsigned first, CProgrammer& programmer, unsigned countMinusOne,
              const std::string& label, Transfer transfer) {
  if (UseExtension(talker)) return StreamReadBlock(talker, first, programmer, countMinusOne, label, transfer);
  return talker.ReadTargetBlock(first, programmer, countMinusOne, label, transfer);
}
