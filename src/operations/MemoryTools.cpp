// Write target RAM, Read Memory and Set Config /EEPROM: one address range at
// a time through the running talker, parameters from CEepromDlg.
#include <cstdio>
#include <string>

#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "link/ExchangeGuard.h"
#include "link/LinkState.h"
#include "operations/EepromDlg.h"
#include "operations/OpsText.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"
#include "target/Talker.h"

namespace {

struct ToolRun {
  unsigned address;
  unsigned value;
  uint16_t length;  // 0 stands for 65,536
};

// The opening the three tools share; false when the command ends here.
bool AskToolRun(ToolRun& run) {
  CEepromDlg dlg;
  if (!g_connected) {
    AfxMessageBox("Controller not Connected!");
    return false;
  }
  MemoryToolParams& last = RememberedMemoryToolParams();
  dlg.SetAddress(last.lastAddress != 0 ? last.lastAddress : 0x103F);
  dlg.SetValue(last.lastValue != 0 ? last.lastValue : 0x7B);
  dlg.SetLength(last.lastLength != 0 ? last.lastLength : 1);
  if (dlg.DoModal() != IDOK) return false;
  run.length = static_cast<uint16_t>(dlg.GetLength());
  run.address = dlg.GetAddress();
  run.value = dlg.GetValue();
  last.lastLength = run.length;
  return true;
}

void Remember(unsigned address, unsigned value) {
  MemoryToolParams& last = RememberedMemoryToolParams();
  last.lastAddress = address;
  last.lastValue = static_cast<uint8_t>(value);
}

void EepromFailed() {
  AfxMessageBox("EEprom write failed!");
  SetStatusText("EEprom write failed!");
}

}  // namespace

void CTrellisView::OnWriteTargetRam() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  ToolRun run{};
  if (!AskToolRun(run)) return;
  unsigned a = run.address;
  uint16_t n = run.length;
  // Every byte of the run gets the same value: this fills a range.  A lost
  // link fails the next write, so it ends in the failure texts.
  do {
    if (!WriteTargetByte(a, static_cast<uint8_t>(run.value))) {
      AfxMessageBox("Ram write failed!");
      SetStatusText("Ram write failed!");
      return;
    }
    Remember(a, run.value);
    SetStatusText(HexText(a));
    a = (a + 1) & 0xFFFF;
    --n;
  } while (n != 0);
  SetStatusText("Ram write Suceeded!");
}

void CTrellisView::OnReadMemory() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  ToolRun run{};
  if (!AskToolRun(run)) return;
  CListDisp* pane = g_pMainFrame ? g_pMainFrame->m_pDtcPane : nullptr;
  if (!pane) return;
  pane->SetTitle(" ");
  pane->AddLine("Address ");
  pane->AddLine(HexText(run.address));
  unsigned a = run.address;
  uint16_t n = run.length;
  do {
    uint8_t byte = 0;
    if (!ReadTargetByte(a, byte)) {
      SetStatusText("Read failed!");
      return;
    }
    char text[8];
    std::snprintf(text, sizeof text, "%2x ", byte);
    pane->AddLine(text);
    a = (a + 1) & 0xFFFF;
    --n;
  } while (n != 0 && g_connected);
  // The link went while bytes were still to come.
  if (n != 0) SetStatusText("Read failed!");
}

void CTrellisView::OnSetConfigEeprom() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  ToolRun run{};
  if (!AskToolRun(run)) return;
  unsigned a = run.address;
  uint8_t v = static_cast<uint8_t>(run.value);
  if (!WriteEepromByte(a, v)) {
    EepromFailed();
    return;
  }
  if (a == REG_CONFIG) {
    Remember(a, v);
    SetStatusText("EEprom write Suceeded!");
    return;
  }
  // The first byte passed the window check; the rest of the run is written
  // without mapping, so it must stay inside that same window: beyond it lie
  // the register block, RAM and the flash chip, where an erase and program
  // sequence does damage.
  unsigned windowEnd = (a & 0xF000) + 0x0E00 + 0x200;
  uint16_t more = static_cast<uint16_t>(run.length - 1);
  while (more != 0) {
    ++a;
    if (a >= windowEnd || !UpdateEepromByte(a, v)) {
      EepromFailed();
      return;
    }
    Remember(a, v);
    SetStatusText(HexText(a));
    --more;
  }
  SetStatusText("EEprom write Suceeded!");
}
