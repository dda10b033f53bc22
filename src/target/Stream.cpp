#include "target/Stream.h"

#include <chrono>
#include <cmath>
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

// Before a block is read again: a header byte lost on the way leaves the
// talker waiting for it, and it would take the next header's command byte
// for it and the rest for commands (an address byte can be one of its
// writes).  Three zeros complete any header it still waits for, which only
// makes it read, and are unknown commands otherwise; what it answers is let
// in and thrown away.
void CompleteReadHeader(CLink& link) {
  const uint8_t zeros[3] = {};
  if (link.WriteBytes(zeros, sizeof zeros)) Settle(link);
}

// What a block write's answer may take once the frame is on the line: a
// flash or memory block is written and read back in tens of milliseconds
// even at the slowest E clock the talker is built for; an EEPROM block may
// need 128 cells of two 10 ms pulses.  Both with room to spare.
constexpr int kBlockWorkMs = 1000;
constexpr int kEepromWorkMs = 6000;

int WorkMs(xproto::BlockKind kind) { return kind == xproto::BlockKind::Eeprom ? kEepromWorkMs : kBlockWorkMs; }

// The line time of `bytes` characters at the rate the port runs, rounded up.
int LineMs(const CLink& link, size_t bytes) {
  const long long rate = link.OpenRate() > 0 ? link.OpenRate() : 300;
  return static_cast<int>((static_cast<long long>(bytes) * 10 * 1000 + rate - 1) / rate);
}

const uint8_t kWriteCommand = xproto::CMD_XWRITE;

// The talker's standard writes take the bytes after their command as a
// count, an address and data to store there.
bool StoresWhatFollows(uint8_t command) {
  return command == CMD_WRITE || command == CMD_EEPROM_WRITE || command == CMD_FLASH_WRITE ||
         command == CMD_FLASH_BLOCK_WRITE;
}

// Puts the talker back to waiting for a command when it may still wait for
// bytes of a frame: a frame of zeros fails its CRC, so it writes nothing,
// and completes any frame the talker has begun (which it answers as
// spoiled); a talker that waits for a command takes each zero as an unknown
// one and answers its complement.  Everything it answers is let in and
// thrown away; `answerMs` is how long its first answer may take once the
// zeros are on the line.  Never to be sent to a talker that has taken one
// of its standard writes: that would store the zeros.
void SendZeroFrame(CLink& link, int answerMs) {
  const std::vector<uint8_t> zeros(xproto::kWriteFrameSize, 0x00);
  if (!link.WriteBytes(zeros.data(), static_cast<unsigned>(zeros.size()))) return;
  link.SleepMs(LineMs(link, zeros.size()));
  uint8_t byte = 0;
  ReceiveWithin(link, byte, answerMs);
  Settle(link);
}

// The command byte sent ahead for a block that will not be written (the
// user stopped, or the block before failed): the talker is left waiting
// for a command, not for a frame.
void CancelPendingWrite(CLink& link) {
  uint8_t reply = 0;
  if (ReceiveWithin(link, reply, kSilenceMs) && reply != static_cast<uint8_t>(~xproto::CMD_XWRITE) &&
      StoresWhatFollows(static_cast<uint8_t>(~reply))) {
    Settle(link);
    return;
  }
  SendZeroFrame(link, kSilenceMs);
}

// How a block write went.
enum class Sent {
  Written,    // the talker's answer says the block holds what was meant
  Failed,     // it does not (spoiled on the line, not written, read back otherwise, no answer): try again
  Elsewhere,  // the talker took the command for one of its standard writes: nothing more may go out
  LinkLost,
};

// One block write.  `commandOut` says whether the command byte has been
// sent ahead of this block; on return, whether it has been sent ahead of
// the next (`sendNext`), which is done as soon as this frame has gone so
// that the talker's complement follows its answer without another turn of
// the line.
Sent WriteOneBlock(CTalker& talker, unsigned address, unsigned count, xproto::BlockKind kind,
                   const std::function<uint8_t(unsigned)>& source, bool& commandOut, bool sendNext) {
  CLink& link = talker.Link();
  const bool sentAhead = commandOut;
  commandOut = false;
  if (!sentAhead) {
    talker.CountCommand();
    if (!link.WriteBytes(&kWriteCommand, 1)) return Sent::LinkLost;
  }
  uint8_t reply = 0;
  bool answered = ReceiveWithin(link, reply, kSilenceMs);
  if (!answered && sentAhead && link.Connected()) {
    // A frame that lost a byte on the way took the command sent ahead as
    // its last byte (and failed its CRC); or the command was lost, or its
    // complement was and the talker waits for our frame.  Zeros settle
    // which, and the command goes again.
    SendZeroFrame(link, kSilenceMs);
    talker.CountCommand();
    if (!link.WriteBytes(&kWriteCommand, 1)) return Sent::LinkLost;
    answered = ReceiveWithin(link, reply, kSilenceMs);
  }
  if (!answered) {
    if (!link.Connected()) return Sent::LinkLost;
    // The command or its complement was lost: the talker may be waiting
    // for our frame.
    SendZeroFrame(link, kSilenceMs);
    return link.Connected() ? Sent::Failed : Sent::LinkLost;
  }
  if (reply != static_cast<uint8_t>(~xproto::CMD_XWRITE)) {
    const uint8_t heard = static_cast<uint8_t>(~reply);
    if (StoresWhatFollows(heard)) {
      // Our command arrived as one of the standard writes, which waits for
      // an address and bytes to store: anything more we sent would be
      // stored somewhere.
      Settle(link);
      return Sent::Elsewhere;
    }
    // The complement spoiled on its way (the talker waits for our frame),
    // or our command arrived as a command that stores nothing.
    SendZeroFrame(link, kSilenceMs);
    return Sent::Failed;
  }
  const std::vector<uint8_t> frame = BlockWriteFrame(address, count, kind, source);
  if (!link.WriteBytes(frame.data(), static_cast<unsigned>(frame.size()))) return Sent::LinkLost;
  if (sendNext) {
    talker.CountCommand();
    if (!link.WriteBytes(&kWriteCommand, 1)) return Sent::LinkLost;
    commandOut = true;
  }
  uint8_t answer[3] = {};
  // The frame (and the command behind it) on the line, then the work.
  const int answerMs = LineMs(link, frame.size() + 1) + WorkMs(kind);
  for (unsigned i = 0; i < sizeof answer; ++i) {
    if (ReceiveWithin(link, answer[i], i == 0 ? answerMs : kSilenceMs)) continue;
    if (!link.Connected()) return Sent::LinkLost;
    // Bytes of the frame were lost on the way and the talker still waits
    // for them, or bytes of its answer were lost.  Zeros complete the
    // frame and the rest are taken as unknown commands; a talker still at
    // its work answers when done.
    SendZeroFrame(link, WorkMs(kind));
    commandOut = false;
    return link.Connected() ? Sent::Failed : Sent::LinkLost;
  }
  if (answer[0] != xproto::kWriteOk) return Sent::Failed;
  std::vector<uint8_t> meant(count);
  for (unsigned i = 0; i < count; ++i) meant[i] = source(address + i);
  const uint16_t crc = BlockWriteAnswerCrc(meant.data(), meant.size());
  return answer[1] == (crc >> 8) && answer[2] == (crc & 0xFF) ? Sent::Written : Sent::Failed;
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
  if (!talker.Extension().present) return "standard protocol";
  return "extended protocol (checked blocks)" + (talker.RateNote().empty() ? "" : ", " + talker.RateNote());
}

bool CheckedBlocksKnown(const CTalker& talker, uint8_t caps) {
  return !StandardProtocolForced() && talker.ExtensionKnown() && talker.Extension().present &&
         (talker.Extension().caps & caps) == caps;
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
      CompleteReadHeader(link);
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
    Sent got = WriteOneBlock(talker, address, count, kind, source, commandOut, more);
    // Once more: a byte spoiled on the line is not in the target.
    if (got == Sent::Failed) got = WriteOneBlock(talker, address, count, kind, source, commandOut, more);
    if (got == Sent::LinkLost) {
      talker.NoteFault(Outcome::LinkLost, address);
      return 0;
    }
    if (got == Sent::Elsewhere) {
      talker.NoteFault(Outcome::CommandRejected, address);
      return 0;
    }
    if (got == Sent::Failed) {
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

// ---- rate switch ----

namespace {

// The talker waits a quarter of a second for each of our bytes at the new
// rate; we wait less for its answer, and after a failure long enough for it
// to have gone back to its old rate whatever it heard.
constexpr int kRateAnswerMs = 200;
constexpr int kRateSettleMs = 700;

// The signature block read at the present rate with a checked block read:
// the rate is proven both ways by more than single bytes.
bool SignatureAnswers(CTalker& talker) {
  std::vector<uint8_t> bytes;
  if (ReadOneBlock(talker, xproto::kSignatureAddress, xproto::kSignatureSize, bytes) != 1) {
    Settle(talker.Link());
    return false;
  }
  TalkerExtension seen;
  return ParseSignature(bytes.data(), bytes.size(), seen);
}

}  // namespace

int BaudValueFor(int rate, int normalRate, uint8_t normalValue) {
  // SCI rate = E / (16 x prescaler x 2^SCR) (M68HC11 Reference Manual,
  // BAUD register): SCP1:SCP0 choose the prescaler, SCR2:SCR0 the divider.
  static const int kPrescaler[4] = {1, 3, 4, 13};
  if (rate <= 0 || normalRate <= 0) return -1;
  const double e16 =
      static_cast<double>(normalRate) * kPrescaler[(normalValue >> 4) & 3] * static_cast<double>(1 << (normalValue & 7));
  int best = -1;
  double bestError = 0.025;
  for (int scp = 0; scp < 4; ++scp) {
    for (int scr = 0; scr < 8; ++scr) {
      const double made = e16 / (kPrescaler[scp] * (1 << scr));
      const double error = std::fabs(made - rate) / rate;
      if (error <= bestError) {
        bestError = error;
        best = (scp << 4) | scr;
      }
    }
  }
  return best;
}

void ReturnToNormalRate(CTalker& talker) {
  CLink& link = talker.Link();
  const int normal = link.m_settings.normalBaud;
  if (!link.Connected() || link.OpenRate() == normal || !talker.ExtensionKnown() ||
      (talker.Extension().caps & xproto::kCapRateSwitch) == 0)
    return;
  std::string why;
  SwitchRate(talker, normal, why);
  talker.SetRateNote("");
}

int FastBaudSetting() { return GetProfileIntInRange("Comm", "Fast Baud", 0, 0, 4000000); }

int SwitchRate(CTalker& talker, int rate, std::string& why) {
  CLink& link = talker.Link();
  const int oldRate = link.OpenRate();
  if (!talker.ExtensionKnown() || (talker.Extension().caps & xproto::kCapRateSwitch) == 0) {
    why = "the talker has no rate switch";
    return 0;
  }
  if (rate == oldRate) {
    why = "the port runs at " + std::to_string(rate) + " baud already";
    return 0;
  }
  uint8_t current = 0;
  if (!talker.ReadTargetByte(xproto::kBaudRegister, current)) {
    why = "the talker did not answer";
    return -1;
  }
  const int value = BaudValueFor(rate, oldRate, current);
  if (value < 0) {
    why = "the controller's SCI cannot make " + std::to_string(rate) + " baud from its clock";
    return 0;
  }
  const uint8_t v = static_cast<uint8_t>(value);
  link.Queue().Clear();
  talker.CountCommand();
  if (!link.WriteBytes(&xproto::CMD_XRATE, 1)) {
    talker.NoteFault(Outcome::LinkLost);
    why = "the line went away";
    return -1;
  }
  // The value goes out only after the complement: a command spoiled into
  // one of the standard writes would take it, and whatever followed, for a
  // count, an address and bytes to store.
  uint8_t complement = 0, echo = 0;
  const bool answered = ReceiveWithin(link, complement, kSilenceMs);
  if (answered && complement != static_cast<uint8_t>(~xproto::CMD_XRATE) &&
      StoresWhatFollows(static_cast<uint8_t>(~complement))) {
    Settle(link);
    talker.NoteFault(Outcome::CommandRejected);
    why = "the talker took the rate switch for a write";
    return -1;
  }
  const bool asked = answered && complement == static_cast<uint8_t>(~xproto::CMD_XRATE) &&
                     link.WriteBytes(&v, 1) && ReceiveWithin(link, echo, kSilenceMs) && echo == v;
  bool heard = false;
  if (!asked) {
    why = "the talker did not take the rate switch";
  } else if (!link.SetRate(rate)) {
    why = "the port refused " + std::to_string(rate) + " baud";
  } else {
    // The talker runs at the new rate once our value's echo has gone out.
    const uint8_t probe = static_cast<uint8_t>(~v);
    uint8_t answer = 0;
    if (link.WriteBytes(&probe, 1) && ReceiveWithin(link, answer, kRateAnswerMs) && answer == probe)
      heard = link.WriteBytes(&v, 1);
    if (heard && SignatureAnswers(talker)) return 1;
    why = heard ? "the signature did not read back at " + std::to_string(rate) + " baud"
                : "no answer at " + std::to_string(rate) + " baud";
    link.SetRate(oldRate);
  }
  if (!link.Connected()) {
    talker.NoteFault(Outcome::LinkLost);
    return -1;
  }
  // Both back at the old rate: the talker goes back by itself when a byte
  // at the new rate did not come as expected.
  link.SleepMs(kRateSettleMs);
  Settle(link);
  if (SignatureAnswers(talker)) return 0;
  talker.NoteFault(Outcome::NoTalker);
  why += "; the talker no longer answers";
  return -1;
}
