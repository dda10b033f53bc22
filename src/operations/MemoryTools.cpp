// Write target RAM, Read Memory and Set Config /EEPROM.
#include "operations/MemoryTools.h"

#include <cstdio>
#include <string>

#include "link/Link.h"
#include "image/Programmer.h"
#include "operations/Checks.h"
#include "operations/EepromDlg.h"
#include "operations/FlashPasses.h"
#include "operations/OpsText.h"
#include "panes/MainFrame.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"
#include "target/Stream.h"
#include "target/Talker.h"

namespace {

void Remember(unsigned address, unsigned value) {
  MemoryToolParams& last = RememberedMemoryToolParams();
  last.lastAddress = address;
  last.lastValue = static_cast<uint8_t>(value);
}

constexpr unsigned kRegisterBase = 0x1000;
constexpr unsigned kRegisterCount = 0x60;
// The MC68HC11F1's RAM, where the talker runs, ends here.
constexpr unsigned kTalkerRamEnd = 0x0400;

void EepromFailed() {
  AfxMessageBox("EEprom write failed!");
  SetStatusText("EEprom write failed!");
}

// The outcome of a failed run from what the talker saw.
OpResult Failure(const CTalker& talker, unsigned address) {
  OpResult r = talker.FaultResult();
  if (!talker.Connected()) r.outcome = Outcome::LinkLost;
  if (r.outcome == Outcome::Ok) r.outcome = Outcome::EchoMismatch;
  if (r.address == 0) r.address = address;
  return r;
}

}  // namespace

int AskMemoryToolRun(CTalker& talker, MemoryTool tool, MemoryToolRun& run) {
  CEepromDlg dlg;
  dlg.m_commandName = tool == MemoryTool::WriteTargetRam ? "Write target RAM"
                      : tool == MemoryTool::ReadMemory   ? "Read Memory"
                                                         : "Set Config /EEPROM";
  if (!talker.Connected()) {
    AfxMessageBox("Controller not Connected!");
    return 0;
  }
  MemoryToolParams& last = RememberedMemoryToolParams();
  dlg.SetAddress(last.lastAddress != 0 ? last.lastAddress : 0x103F);
  dlg.SetValue(last.lastValue != 0 ? last.lastValue : 0x7B);
  dlg.SetLength(last.lastLength != 0 ? last.lastLength : 1);
  if (dlg.DoModal() != IDOK) return 0;
  run.length = static_cast<uint16_t>(dlg.GetLength());
  run.address = dlg.GetAddress();
  run.value = dlg.GetValue();
  last.lastLength = run.length;
  return 1;
}

unsigned RunLength(const MemoryToolRun& run) { return run.length == 0 ? 0x10000u : run.length; }

int ExecuteWriteTargetRam(CTalker& talker, const MemoryToolRun& run, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  talker.ClearFault();
  const unsigned first = run.address & 0xFFFF;
  const unsigned n = RunLength(run);
  // Past ffff the target would wrap onto RAM at 0000, where the talker runs.
  if (first + n > 0x10000) {
    const std::string why = "the range " + HexText(first) + "-" + HexText((first + n - 1) & 0xFFFF) +
                            " runs past ffff; nothing was written";
    AfxMessageBox("Ram write failed!\n" + why);
    SetStatusText("Ram write failed!");
    result = OpResult::With(Outcome::Refused, why, first);
    return 0;
  }
  // Every byte of the run gets the same value: this fills a range.  A lost
  // link fails the next write, so it ends in the failure texts.
  // With the checked block write, stretches where a store reads back as
  // written (above the talker's RAM, outside the register block) go in
  // blocks; the rest byte by byte.
  auto blockable = [](unsigned a) { return a >= kTalkerRamEnd && (a < kRegisterBase || a >= kRegisterBase + 0x100); };
  for (unsigned i = 0; i < n; ++i) {
    const unsigned a = first + i;
    if (i != 0 && talker.StopHere()) {
      SetStatusText("Ram write stopped at " + HexText(a));
      result = OpResult::With(Outcome::Interrupted, "", a);
      return 0;
    }
    // (Asked only here: a run in the RAM or the registers never probes the talker.)
    if (blockable(a) && UseBlockWrite(talker)) {
      unsigned end = i + 1;
      while (end < n && blockable(first + end)) ++end;
      auto value = [&](unsigned) { return static_cast<uint8_t>(run.value); };
      if (!StreamWriteRange(talker, a, end - i - 1, xproto::BlockKind::Store, value)) {
        if (talker.FaultOutcome() == Outcome::Interrupted) {
          SetStatusText("Ram write stopped at or after " + HexText(a));
          result = OpResult::With(Outcome::Interrupted, "", a);
          return 0;
        }
        AfxMessageBox("Ram write failed!");
        SetStatusText("Ram write failed!");
        result = Failure(talker, a);
        return 0;
      }
      i = end - 1;
      Remember(first + i, run.value);
      SetStatusText(HexText(first + i));
      continue;
    }
    if (!talker.WriteTargetByte(a, static_cast<uint8_t>(run.value))) {
      AfxMessageBox("Ram write failed!");
      SetStatusText("Ram write failed!");
      result = Failure(talker, a);
      return 0;
    }
    Remember(a, run.value);
    SetStatusText(HexText(a));
  }
  // Read the run back: an echo proves only that the talker heard the byte.
  // The register block is left out, where a read need not give back what
  // was written (status flags, counters, ports).
  Difference difference;
  CProgrammer expected;
  expected.FillImage(static_cast<int>(run.value));
  const unsigned last = first + n - 1;
  auto wanted = [](unsigned a) { return a < kRegisterBase || a >= kRegisterBase + kRegisterCount; };
  if (!VerifyRange(talker, expected, first, last, wanted, difference)) {
    AfxMessageBox("Ram write failed!");
    SetStatusText("Ram write failed!");
    result = Failure(talker, first);
    return 0;
  }
  if (difference.count != 0) {
    AfxMessageBox("Ram write failed!\n" + DifferenceText(difference));
    SetStatusText("Ram write failed!\n" + DifferenceText(difference));
    result = OpResult::With(Outcome::VerifyMismatch, DifferenceText(difference), difference.first);
    result.count = difference.count;
    return 0;
  }
  SetStatusText("Ram write Suceeded!");
  return 1;
}

int ExecuteReadMemory(CTalker& talker, const MemoryToolRun& run, std::vector<uint8_t>& bytes, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  talker.ClearFault();
  // The pane shows what was read as hex-dump lines, sixteen bytes each, a
  // line as soon as it is complete (and the short last one at the end).
  CListDisp* pane = g_pMainFrame ? g_pMainFrame->m_pDtcPane : nullptr;
  if (pane) pane->SetTitle(" ");
  const size_t firstOfRun = bytes.size();
  auto flushLine = [&](bool partial) {
    const size_t have = bytes.size() - firstOfRun;
    const size_t lineStart = partial ? have - have % 16 : have - 16;
    const size_t count = have - lineStart;
    if (pane && count > 0)
      pane->AddLine(HexDumpLine(run.address + static_cast<unsigned>(lineStart), bytes.data() + firstOfRun + lineStart,
                                count));
  };
  const unsigned n = RunLength(run);
  // With the extended protocol the run is read in checked blocks, which need
  // no second read.  The register block is left to the standard read: a
  // streamed read of SCSR and SCDR would clear the SCI's flags under the
  // talker.
  const unsigned first = run.address & 0xFFFF;
  const bool touchesRegisters = first < kRegisterBase + kRegisterCount && first + n > kRegisterBase;
  if (first + n <= 0x10000 && !touchesRegisters && UseExtension(talker)) {
    CProgrammer image;
    const int ok = StreamReadBlock(talker, first, image, n - 1, "Reading Memory", Transfer::Read);
    for (unsigned i = 0; i < n && ok; ++i) {
      bytes.push_back(image.GetImageByte(first + i));
      if ((bytes.size() - firstOfRun) % 16 == 0) flushLine(false);
    }
    if ((bytes.size() - firstOfRun) % 16) flushLine(true);
    if (ok) return 1;
    SetStatusText("Read failed!");
    result = Failure(talker, first);
    if (result.outcome == Outcome::EchoMismatch) result.outcome = Outcome::ReadMismatch;
    return 0;
  }
  // The bytes, one read at a time; with readTwice each is read again at once
  // and a third time when the two differ, and kept when two reads agree.
  auto readOne = [&](unsigned a, uint8_t& byte) { return talker.ReadTargetByte(a, byte); };
  for (unsigned i = 0; i < n; ++i) {
    const unsigned a = (run.address + i) & 0xFFFF;
    if (i != 0 && talker.StopHere()) {
      if ((bytes.size() - firstOfRun) % 16) flushLine(true);
      result = OpResult::With(Outcome::Interrupted, "", a);
      SetStatusText("Read stopped at " + HexText(a));
      return 0;
    }
    uint8_t byte = 0, again = 0, third = 0;
    bool ok = readOne(a, byte);
    if (ok && run.readTwice) {
      ok = readOne(a, again);
      if (ok && again != byte) {
        ok = readOne(a, third);
        if (ok && third != byte) {
          if (third != again) {
            char text[96];
            std::snprintf(text, sizeof text, "three reads of %x gave %02x, %02x and %02x", a, byte, again, third);
            SetStatusText("Read failed!");
            result = OpResult::With(Outcome::ReadMismatch, text, a);
            return 0;
          }
          byte = again;
        }
      }
    }
    if (!ok) {
      if ((bytes.size() - firstOfRun) % 16) flushLine(true);
      SetStatusText("Read failed!");
      result = Failure(talker, a);
      if (result.outcome == Outcome::EchoMismatch) result.outcome = Outcome::CommandRejected;
      return 0;
    }
    bytes.push_back(byte);
    if ((bytes.size() - firstOfRun) % 16 == 0) flushLine(false);
    if (!talker.Connected() && i + 1 < n) {
      // The link went while bytes were still to come.
      if ((bytes.size() - firstOfRun) % 16) flushLine(true);
      SetStatusText("Read failed!");
      result = OpResult::With(Outcome::LinkLost, "", (a + 1) & 0xFFFF);
      return 0;
    }
  }
  if ((bytes.size() - firstOfRun) % 16) flushLine(true);
  return 1;
}

int ExecuteSetConfigEeprom(CTalker& talker, const MemoryToolRun& run, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  talker.ClearFault();
  const unsigned a = run.address & 0xFFFF;
  const uint8_t v = static_cast<uint8_t>(run.value);
  const bool config = a == REG_CONFIG;
  // CONFIG ends the run after its one byte.
  const unsigned n = config ? 1 : RunLength(run);
  // The whole run must lie in the EEPROM window of its page before the first
  // byte is sent: beyond it lie the register block, RAM and the flash chip,
  // where an erase and program sequence does damage, and a refusal found
  // half way would leave CONFIG changed and bytes written.
  if (!config) {
    const unsigned base = EepromWindowBase(a);
    if (a < base || a + n > base + 0x200) {
      const std::string why = (a < base ? "address " + HexText(a) + " is not in the EEPROM"
                                        : "the run " + HexText(a) + "-" + HexText((a + n - 1) & 0xFFFF) +
                                              " leaves the EEPROM") +
                              ": the " + EepromWindowText(a);
      AfxMessageBox("EEprom write failed!\n" + why + ".\nNothing was written.");
      SetStatusText("EEprom write failed!");
      result = OpResult::With(Outcome::Refused, why, a);
      return 0;
    }
  }
  if (!WriteEepromByte(talker, a, v)) {
    EepromFailed();
    result = Failure(talker, a);
    return 0;
  }
  if (config) {
    Remember(a, v);
  } else {
    for (unsigned i = 1; i < n; ++i) {
      const unsigned at = a + i;
      if (talker.StopHere()) {
        SetStatusText("EEprom write stopped at " + HexText(at));
        result = OpResult::With(Outcome::Interrupted, "", at);
        return 0;
      }
      if (!UpdateEepromByte(talker, at, v)) {
        EepromFailed();
        result = Failure(talker, at);
        return 0;
      }
      Remember(at, v);
      SetStatusText(HexText(at));
    }
  }
  // The cells (or CONFIG) read back: a pulse that did not take shows here.
  Difference difference;
  CProgrammer expected;
  expected.FillImage(v);
  if (!VerifyRange(talker, expected, a, a + n - 1, {}, difference)) {
    EepromFailed();
    result = Failure(talker, a);
    return 0;
  }
  if (difference.count != 0) {
    AfxMessageBox("EEprom write failed!\n" + DifferenceText(difference));
    SetStatusText("EEprom write failed!\n" + DifferenceText(difference));
    result = OpResult::With(Outcome::VerifyMismatch, DifferenceText(difference), difference.first);
    result.count = difference.count;
    return 0;
  }
  SetStatusText("EEprom write Suceeded!");
  return 1;
}
