// Flash Controller, Flash EEPROM CHIP and QuickFlash: load a program file and
// write CONFIG, the internal EEPROM and the external flash chip.
#include <cstdio>
#include <string>

#include "image/Programmer.h"
#include "link/Link.h"
#include "operations/AddressRangeDlg.h"
#include "operations/Checks.h"
#include "operations/Connection.h"
#include "operations/FileChoice.h"
#include "operations/Flash.h"
#include "operations/FlashPasses.h"
#include "operations/OpsText.h"
#include "panes/MainFrame.h"
#include "shell/Paths.h"
#include "shell/Shell.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/ProgressDlg.h"
#include "target/Stream.h"
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
  if (!excludeActive) return {{start, finish}};
  // An exclusion turned round would be read as everything outside it; the
  // user said not to touch those bytes, so nothing is the only safe answer.
  if (excludeEnd < excludeStart) return {};
  const unsigned lo = excludeStart > start ? excludeStart : start;
  const unsigned hi = excludeEnd < finish ? excludeEnd : finish;
  if (lo > hi) return {{start, finish}};  // the exclusion lies outside the range
  std::vector<AddressPass> passes;
  if (start < lo) passes.push_back({start, lo - 1});
  if (hi < finish) passes.push_back({hi + 1, finish});
  return passes;
}

std::string ExclusionProblem(bool excludeActive, unsigned excludeStart, unsigned excludeEnd) {
  if (!excludeActive || (excludeEnd & 0xFFFF) >= (excludeStart & 0xFFFF)) return std::string();
  return "Exclude End " + HexText(excludeEnd & 0xFFFF) + " is below Exclude Start " + HexText(excludeStart & 0xFFFF) +
         ".\nEnter an end at or above the start.";
}

unsigned EepromWindowBase(unsigned address) { return (address & 0xF000) + 0x0E00; }

std::string EepromWindowText(unsigned address) {
  char text[64];
  const unsigned base = EepromWindowBase(address & 0xFFFF);
  std::snprintf(text, sizeof text, "EEPROM window of page %X is %04X-%04X", (address >> 12) & 0xF, base,
                base + 0x1FF);
  return text;
}

std::string EepromRangeProblem(unsigned start, unsigned length) {
  start &= 0xFFFF;
  const unsigned base = EepromWindowBase(start);
  if (start < base)
    return "EEprom Start " + HexText(start) + " is not in the EEPROM: the " + EepromWindowText(start) + ".";
  if ((length & 0xFFFF) == 0) return "EEprom Length is 0: nothing would be written to the EEPROM.";
  return std::string();
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

FlashOptions FlashOptionsFromDialog(const CAddressRangeDlg& dlg) {
  FlashOptions o;
  o.start = dlg.GetStart();
  o.finish = dlg.GetFinish();
  o.excludeActive = dlg.m_bExcludeActive != 0;
  o.excludeStart = dlg.GetExcludeStart();
  o.excludeEnd = dlg.GetExcludeEnd();
  o.configEnabled = dlg.m_bConfigEnabled != 0;
  o.configValue = dlg.GetConfigValue();
  o.enableEeprom = dlg.m_bEnableEeprom != 0;
  o.eepromStart = dlg.GetEepromStart();
  o.eepromLength = dlg.GetEepromLength();
  o.writeAll = dlg.m_bWriteAllRange != 0;
  o.verify = dlg.m_bVerify != 0;
  return o;
}

void FlashOptionsToDialog(const FlashOptions& o, CAddressRangeDlg& dlg) {
  dlg.SetStart(o.start);
  dlg.SetFinish(o.finish);
  dlg.m_bExcludeActive = o.excludeActive ? 1 : 0;
  dlg.SetExcludeStart(o.excludeStart);
  dlg.SetExcludeEnd(o.excludeEnd);
  dlg.m_bConfigEnabled = o.configEnabled ? 1 : 0;
  dlg.SetConfigValue(o.configValue);
  dlg.m_bEnableEeprom = o.enableEeprom ? 1 : 0;
  dlg.SetEepromStart(o.eepromStart);
  dlg.SetEepromLength(o.eepromLength);
  dlg.m_bWriteAllRange = o.writeAll ? 1 : 0;
  dlg.m_bVerify = o.verify ? 1 : 0;
}

std::string FlashOptionsProblem(const FlashOptions& o) {
  std::string problem = ExclusionProblem(o.excludeActive, o.excludeStart, o.excludeEnd);
  if (problem.empty() && o.enableEeprom) problem = EepromRangeProblem(o.eepromStart, o.eepromLength);
  return problem;
}

int GatherFlashJob(bool eepromChip, bool quick, FlashJob& job, OpResult* out, const CTalker* talker) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  job.image.ClearWritten();
  job.image.ResetBounds();
  if (!LoadImageFromFile(job.image, quick, &job.fileName)) {
    result = OpResult::With(Outcome::FileError, "no program file was loaded");
    return 0;
  }
  if (job.image.m_badRecords != 0) {
    // The bytes of a damaged record are in the image already; writing them
    // into an engine controller must be the user's decision, never silent.
    const std::string text = BadRecordsText(job.image.m_badRecords);
    if (quick) {
      AfxMessageBox(text + ".\nQuickFlash stopped; nothing was written.");
      result = OpResult::With(Outcome::BadRecords, text);
      return 0;
    }
    if (AfxMessageBox(text + ".\nWrite this file to the controller anyway?", MB_OKCANCEL) != IDOK) {
      result = OpResult::With(Outcome::Cancelled, text);
      return 0;
    }
  }

  CAddressRangeDlg dlg;
  dlg.m_checkedBlocks = talker && CheckedBlocksKnown(*talker, xproto::kCapBlockRead | xproto::kCapBlockWrite);
  dlg.SetStart(job.image.m_lowest);
  dlg.SetFinish(job.image.m_highest);
  if (!quick && dlg.DoModal() != IDOK) {
    result = OpResult::With(Outcome::Cancelled, "Address Range");
    return 0;
  }
  job.options = FlashOptionsFromDialog(dlg);
  job.options.blocks = eepromChip;
  job.options.noPrompt = quick;
  return 1;
}

int ExecuteFlash(CTalker& talker, FlashJob& job, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  const FlashOptions& o = job.options;
  CProgrammer& image = job.image;

  // Options that would write where the user said not to, or report success
  // for an EEPROM left untouched, are refused before anything is sent.
  const std::string problem = FlashOptionsProblem(o);
  if (!problem.empty()) {
    AfxMessageBox(problem + "\nNothing was written.");
    result = OpResult::With(Outcome::Refused, problem);
    return 0;
  }
  if (!RequireTalker(talker, o.noPrompt, result)) return 0;
  // Every progress window of this flash names the file it writes.
  CProgressSubject subject(FileNameOf(job.fileName));

  talker.ClearFault();
  // The chip decides the writer: the block chip is programmed only in
  // blocks, whichever of the flash commands the user picked.
  unsigned id = GetFlashId(talker);
  result.chipId = id;
  char idText[32];
  std::snprintf(idText, sizeof idText, "M %x CH %x", (id >> 8) & 0xFF, id & 0xFF);
  SetStatusText(idText);
  bool blocks = o.blocks || id == kFlashEepromChipId;

  talker.WriteTargetByte(REG_CONFIG, 0x7E);
  SetStatusText("Writing Ram Locations");
  talker.Link().Queue().Clear();
  // What the identification and the plain CONFIG write made of the line is
  // not the flash's outcome.
  talker.ClearFault();

  bool ok = true;
  bool failed = false;
  Difference difference;
  // Our talker's checked block write reads every block back after writing it
  // and answers with the CRC of what it read: a block that differs fails
  // the write itself.  A second pass reading the same bytes again would
  // only repeat that check, so verifying costs nothing extra then.
  const bool checkedAsWritten = o.verify && UseBlockWrite(talker);
  if (o.configEnabled && ok) {
    SetStatusText("Writing Config");
    if (!WriteEepromByte(talker, REG_CONFIG, static_cast<uint8_t>(o.configValue))) {
      SetStatusText("Config Failed");
      ok = false;
    }
  }
  if (o.enableEeprom && ok) {
    unsigned first = 0;
    unsigned countMinusOne = 0;
    if (ClipEepromRange(o.eepromStart, o.eepromLength, first, countMinusOne)) {
      // A failed block does not stop the flash passes, but it must not end
      // in "Memory written correctly".
      if (!WriteEepromBlock(talker, first, image, countMinusOne)) failed = true;
      // The EEPROM is still mapped where it was written: check it now.
      if (!failed && o.verify && !checkedAsWritten &&
          !VerifyRange(talker, image, first, first + countMinusOne, {}, difference))
        failed = true;
    }
  }
  bool nothingToFlash = false;
  std::vector<AddressPass> passes;
  if (ok) {
    passes = FormPasses(o.start, o.finish, o.excludeActive, o.excludeStart, o.excludeEnd);
    nothingToFlash = passes.empty();
    for (const AddressPass& pass : passes) {
      unsigned count = pass.last - pass.first;
      int written = blocks ? WriteFlashBlocks(talker, pass.first, image, count, o.writeAll)
                           : WriteFlash(talker, pass.first, image, count, o.writeAll);
      if (!written) {
        failed = true;
        break;
      }
    }
    // The writers stop quietly when the link goes; what they skipped is not
    // in the chip.
    if (!talker.Connected()) failed = true;
  }
  if (ok && !failed && o.verify && !checkedAsWritten && !passes.empty()) {
    // The bytes of the file, or every byte with Write All Range: the writers
    // send other image bytes of a chunk too, but a chip that is not erased
    // there keeps its own bits, and that is no fault of the write.
    auto wanted = [&](unsigned a) { return o.writeAll || image.m_written[a] != 0; };
    for (const AddressPass& pass : passes) {
      if (!VerifyRange(talker, image, pass.first, pass.last, wanted, difference)) {
        failed = true;
        break;
      }
    }
  }
  if (!ok) {
    SetStatusText("Config Failed");
  } else if (failed && talker.FaultOutcome() == Outcome::Interrupted) {
    SetStatusText("Memory written Failed!!!\nStopped by the user before " + HexText(talker.FaultAddress()) +
                  "; the talker waits for the next command");
  } else if (failed || difference.count != 0) {
    SetStatusText(difference.count != 0 ? "Memory written Failed!!!\n" + DifferenceText(difference)
                                        : "Memory written Failed!!!");
  } else if (nothingToFlash) {
    SetStatusText(o.start > o.finish ? "Nothing written to flash: Starting is above Finish"
                                     : "Nothing written to flash: the exclusion covers the whole range");
  } else {
    SetStatusText("Memory written correctly");
  }

  if (!ok || failed) {
    OpResult fault = talker.FaultResult();
    if (!talker.Connected()) fault.outcome = Outcome::LinkLost;
    if (fault.outcome == Outcome::Ok) fault.outcome = Outcome::EchoMismatch;
    fault.chipId = id;
    if (!ok) fault.detail = "Config Failed";
    result = fault;
  } else if (difference.count != 0) {
    result = OpResult::With(Outcome::VerifyMismatch, DifferenceText(difference), difference.first);
    result.count = difference.count;
    result.chipId = id;
  } else if (nothingToFlash) {
    result = OpResult::With(Outcome::NothingToDo, o.start > o.finish ? "Starting is above Finish"
                                                                      : "the exclusion covers the whole range");
    result.chipId = id;
  }
  return 1;
}

int FlashController(CTalker& talker, bool eepromChip, bool quick, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  // The talker first: nobody is asked for a file and a range for a
  // controller that is not there.
  if (!RequireTalker(talker, quick, result)) return 0;
  FlashJob job;
  if (!GatherFlashJob(eepromChip, quick, job, &result, &talker)) return 0;
  // Nothing asks which file QuickFlash takes: it says so itself.
  if (quick) SetStatusText("QuickFlash " + job.fileName);
  return ExecuteFlash(talker, job, &result);
}
