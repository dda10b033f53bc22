// Flash Controller, Flash EEPROM CHIP and QuickFlash: load a program file and
// write CONFIG, the internal EEPROM and the external flash chip.
#include <cstdio>
#include <string>

#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/ExchangeGuard.h"
#include "link/LinkState.h"
#include "operations/AddressRangeDlg.h"
#include "operations/FlashPasses.h"
#include "operations/OpsText.h"
#include "operations/ThreadPriority.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/Talker.h"

std::vector<AddressPass> FormPasses(unsigned start, unsigned finish, bool excludeActive,
                                    unsigned excludeStart, unsigned excludeEnd) {
  start &= 0xFFFF;
  finish &= 0xFFFF;
  excludeStart &= 0xFFFF;
  excludeEnd &= 0xFFFF;
  // Starting above Finish (nothing loaded, or typed so) names no range at
  // all; counting it would wrap to most of the address space.
  if (start > finish) return {};
  if (excludeActive && start < excludeStart && excludeStart < finish) {
    std::vector<AddressPass> passes{{start, excludeStart - 1}};
    if (finish > excludeEnd) passes.push_back({excludeEnd + 1, finish});
    return passes;
  }
  return {{start, finish}};
}

bool ClipEepromRange(unsigned start, unsigned length, unsigned& first, unsigned& countMinusOne) {
  start &= 0xFFFF;
  length &= 0xFFFF;
  unsigned base = (start & 0xF000) + 0x0E00;
  unsigned windowEnd = base + 0x200;  // one past the window
  // Only the part of start .. start + length - 1 that lies in the window of
  // its page: bytes the user left out are not touched, and a length of 16
  // writes 16 bytes.
  unsigned lo = start > base ? start : base;
  unsigned hi = start + length < windowEnd ? start + length : windowEnd;
  if (length == 0 || lo >= hi) return false;
  first = lo;
  countMinusOne = hi - lo - 1;
  return true;
}

int CProgrammer::FlashController(bool eepromChip, bool quick) {
  EnsureTalker(quick);
  if (!g_connected) {
    AfxMessageBox("Can't write, not connected");
    return 0;
  }
  ClearWritten();
  ResetBounds();
  if (!LoadImageFromFile(quick ? 1 : 0)) return 0;
  if (m_badRecords != 0) {
    // The bytes of a damaged record are in the image already; writing them
    // into an engine controller must be the user's decision, never silent.
    if (quick) {
      AfxMessageBox(BadRecordsText(m_badRecords) + ".\nQuickFlash stopped; nothing was written.");
      return 0;
    }
    if (AfxMessageBox(BadRecordsText(m_badRecords) + ".\nWrite this file to the controller anyway?",
                      MB_OKCANCEL) != IDOK) {
      return 0;
    }
  }

  CAddressRangeDlg dlg;
  dlg.SetStart(m_lowest);
  dlg.SetFinish(m_highest);
  if (!quick && dlg.DoModal() != IDOK) return 0;

  // The chip decides the writer: the block chip is programmed only in
  // blocks, whichever of the flash commands the user picked.
  unsigned id = GetFlashId();
  char idText[32];
  std::snprintf(idText, sizeof idText, "M %x CH %x", (id >> 8) & 0xFF, id & 0xFF);
  SetStatusText(idText);
  bool blocks = eepromChip || id == kFlashEepromChipId;

  WriteTargetByte(REG_CONFIG, 0x7E);
  SetStatusText("Writing Ram Locations");
  g_rxFifo.Clear();

  bool ok = true;
  bool failed = false;
  if (dlg.m_bConfigEnabled && ok) {
    SetStatusText("Writing Config");
    if (!WriteEepromByte(REG_CONFIG, static_cast<uint8_t>(dlg.GetConfigValue()))) {
      SetStatusText("Config Failed");
      ok = false;
    }
  }
  if (dlg.m_bEnableEeprom && ok) {
    unsigned first = 0;
    unsigned countMinusOne = 0;
    if (ClipEepromRange(dlg.GetEepromStart(), dlg.GetEepromLength(), first, countMinusOne)) {
      // A failed block does not stop the flash passes, but it must not end
      // in "Memory written correctly".
      if (!WriteEepromBlock(first, *this, countMinusOne)) failed = true;
    }
  }
  bool nothingToFlash = false;
  if (ok) {
    std::vector<AddressPass> passes = FormPasses(dlg.GetStart(), dlg.GetFinish(), dlg.m_bExcludeActive != 0,
                                                 dlg.GetExcludeStart(), dlg.GetExcludeEnd());
    nothingToFlash = passes.empty();
    bool writeAll = dlg.m_bWriteAllRange != 0;
    for (const AddressPass& pass : passes) {
      unsigned count = pass.last - pass.first;
      int result = blocks ? WriteFlashBlocks(pass.first, *this, count, writeAll)
                          : WriteFlash(pass.first, *this, count, writeAll);
      if (!result) {
        failed = true;
        break;
      }
    }
    // The writers stop quietly when the link goes; what they skipped is not
    // in the chip.
    if (!g_connected) failed = true;
  }
  if (!ok) {
    SetStatusText("Config Failed");
  } else if (failed) {
    SetStatusText("Memory written Failed!!!");
  } else if (nothingToFlash) {
    SetStatusText("Nothing written to flash: Starting is above Finish");
  } else {
    SetStatusText("Memory written correctly");
  }
  return 1;
}

void CTrellisView::OnFlashController() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  CRaisedPriority raised;
  CProgrammer programmer;
  programmer.FlashController(false, false);
}

void CTrellisView::OnFlashEepromChip() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  CProgrammer programmer;
  programmer.FlashController(true, false);
}

void CTrellisView::OnQuickFlash() {
  CExchangeGuard guard;
  if (!guard.Acquired()) return;
  CRaisedPriority raised;
  CProgrammer programmer;
  programmer.FlashController(false, true);
}
