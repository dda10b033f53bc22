// Write target RAM, Read Memory and Set Config /EEPROM.
#include "operations/MemoryTools.h"

#include <cstdio>
#include <string>

#include "link/Link.h"
#include "operations/EepromDlg.h"
#include "operations/OpsText.h"
#include "panes/MainFrame.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"
#include "target/Talker.h"

namespace {

void Remember(unsigned address, unsigned value) {
  MemoryToolParams& last = RememberedMemoryToolParams();
  last.lastAddress = address;
  last.lastValue = static_cast<uint8_t>(value);
}

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

int AskMemoryToolRun(CTalker& talker, MemoryTool /*tool*/, MemoryToolRun& run) {
  CEepromDlg dlg;
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

int ExecuteWriteTargetRam(CTalker& talker, const MemoryToolRun& run, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  talker.ClearFault();
  unsigned a = run.address & 0xFFFF;
  uint16_t n = run.length;
  // Every byte of the run gets the same value: this fills a range.  A lost
  // link fails the next write, so it ends in the failure texts.
  do {
    if (!talker.WriteTargetByte(a, static_cast<uint8_t>(run.value))) {
      AfxMessageBox("Ram write failed!");
      SetStatusText("Ram write failed!");
      result = Failure(talker, a);
      return 0;
    }
    Remember(a, run.value);
    SetStatusText(HexText(a));
    a = (a + 1) & 0xFFFF;
    --n;
  } while (n != 0);
  SetStatusText("Ram write Suceeded!");
  return 1;
}

int ExecuteReadMemory(CTalker& talker, const MemoryToolRun& run, std::vector<uint8_t>& bytes, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  talker.ClearFault();
  CListDisp* pane = g_pMainFrame ? g_pMainFrame->m_pDtcPane : nullptr;
  if (pane) {
    pane->SetTitle(" ");
    pane->AddLine("Address ");
    pane->AddLine(HexText(run.address));
  }
  unsigned a = run.address & 0xFFFF;
  uint16_t n = run.length;
  do {
    uint8_t byte = 0;
    if (!talker.ReadTargetByte(a, byte)) {
      SetStatusText("Read failed!");
      result = Failure(talker, a);
      if (result.outcome == Outcome::EchoMismatch) result.outcome = Outcome::CommandRejected;
      return 0;
    }
    bytes.push_back(byte);
    char text[8];
    std::snprintf(text, sizeof text, "%2x ", byte);
    if (pane) pane->AddLine(text);
    a = (a + 1) & 0xFFFF;
    --n;
  } while (n != 0 && talker.Connected());
  // The link went while bytes were still to come.
  if (n != 0) {
    SetStatusText("Read failed!");
    result = OpResult::With(Outcome::LinkLost, "", a);
    return 0;
  }
  return 1;
}

int ExecuteSetConfigEeprom(CTalker& talker, const MemoryToolRun& run, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  talker.ClearFault();
  unsigned a = run.address & 0xFFFF;
  uint8_t v = static_cast<uint8_t>(run.value);
  if (!WriteEepromByte(talker, a, v)) {
    EepromFailed();
    result = Failure(talker, a);
    if (talker.FaultOutcome() == Outcome::Ok && talker.Connected()) {
      result.outcome = Outcome::Refused;
      result.detail = "the address is not inside the EEPROM window of its page";
    }
    return 0;
  }
  if (a == REG_CONFIG) {
    Remember(a, v);
    SetStatusText("EEprom write Suceeded!");
    return 1;
  }
  // The first byte passed the window check; the rest of the run is written
  // without mapping, so it must stay inside that same window: beyond it lie
  // the register block, RAM and the flash chip, where an erase and program
  // sequence does damage.
  unsigned windowEnd = (a & 0xF000) + 0x0E00 + 0x200;
  uint16_t more = static_cast<uint16_t>(run.length - 1);
  while (more != 0) {
    ++a;
    if (a >= windowEnd) {
      EepromFailed();
      result = OpResult::With(Outcome::Refused, "the run leaves the EEPROM window", a);
      return 0;
    }
    if (!UpdateEepromByte(talker, a, v)) {
      EepromFailed();
      result = Failure(talker, a);
      return 0;
    }
    Remember(a, v);
    SetStatusText(HexText(a));
    --more;
  }
  SetStatusText("EEprom write Suceeded!");
  return 1;
}
