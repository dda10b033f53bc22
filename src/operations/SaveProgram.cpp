// Save Program: read the controller's memory back and save it as S-records.
#include <string>

#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/ExchangeGuard.h"
#include "link/LinkState.h"
#include "operations/AddressRangeDlg.h"
#include "operations/FlashPasses.h"
#include "operations/SaveFile.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"
#include "target/Talker.h"

int CProgrammer::SaveProgram() {
  EnsureTalker(false);
  if (!g_connected) {
    AfxMessageBox("Can't write, not connected");
    return 0;
  }
  // Only pre-fill matters here: what is read lands at its own address.
  ApplyLoadSettings(true);
  m_loadOffset = 0;
  ClearWritten();

  CAddressRangeDlg dlg;
  if (m_lowest > m_highest) {
    dlg.SetFinish(0xFFFF);
    dlg.SetStart(0);
  } else {
    dlg.SetStart(m_lowest);
    dlg.SetFinish(m_highest);
  }
  if (dlg.DoModal() != IDOK) return 0;

  unsigned start = dlg.GetStart();
  unsigned finish = dlg.GetFinish();
  std::vector<AddressPass> passes =
      FormPasses(start, finish, dlg.m_bExcludeActive != 0, dlg.GetExcludeStart(), dlg.GetExcludeEnd());
  if (passes.empty()) {
    AfxMessageBox("Nothing to read: Starting is above Finish.");
    return 0;
  }

  // Map the internal EEPROM where the user wants to see it, or take it out
  // of the way so the flash underneath is read.
  if (dlg.m_bEnableEeprom) {
    SetStatusText("Positioning EEPROM");
    WriteTargetByte(REG_CONFIG, static_cast<uint8_t>(((dlg.GetEepromStart() & 0xF000) >> 8) + 0x0F));
  } else {
    uint8_t config = 0;
    ReadTargetByte(REG_CONFIG, config);
    WriteTargetByte(REG_CONFIG, config & 0x0E);
  }
  g_rxFifo.Clear();

  bool failed = false;
  for (const AddressPass& pass : passes) {
    if (!ReadTargetBlock(pass.first, *this, pass.last - pass.first)) {
      failed = true;
      break;
    }
  }
  // A link lost in the middle ends the block reads early without a failed
  // header; the image is incomplete all the same.
  if (!g_connected) failed = true;
  SetStatusText(failed ? "Memory written Failed!!!" : "Memory written correctly");

  SetStatusText("Getting File");
  bool saveFailed = false;
  // A failed read still offers the file: part of a program can be worth
  // keeping, but the user must be told it is incomplete.
  if (!SaveImageRange(*this, start, finish, &saveFailed)) {
    if (saveFailed) SetStatusText("Program not saved!");
    return 0;
  }
  if (failed) {
    SetStatusText("Read failed! The saved file is incomplete");
    return 1;
  }
  SetStatusText("Program Sucessfully Read!!");
  return 1;
}

void CTrellisView::OnSaveProgram() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  CProgrammer programmer;
  programmer.SaveProgram();
}
