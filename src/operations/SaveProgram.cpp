// Save Program: read the controller's memory back and save it as S-records.
#include <string>

#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"
#include "link/Link.h"
#include "operations/AddressRangeDlg.h"
#include "operations/Checks.h"
#include "operations/FileChoice.h"
#include "operations/Connection.h"
#include "operations/FlashPasses.h"
#include "operations/ReadBack.h"
#include "operations/SaveFile.h"
#include "panes/MainFrame.h"
#include "shell/Shell.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/Stream.h"
#include "target/Talker.h"

ReadBackOptions ReadBackOptionsFromDialog(const CAddressRangeDlg& dlg) {
  ReadBackOptions o;
  o.start = dlg.GetStart();
  o.finish = dlg.GetFinish();
  o.excludeActive = dlg.m_bExcludeActive != 0;
  o.excludeStart = dlg.GetExcludeStart();
  o.excludeEnd = dlg.GetExcludeEnd();
  o.enableEeprom = dlg.m_bEnableEeprom != 0;
  o.eepromStart = dlg.GetEepromStart();
  o.readTwice = dlg.m_bReadTwice != 0;
  return o;
}

int GatherReadBack(ReadBackJob& job, OpResult* out, const CTalker* talker) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  CProgrammer& image = job.image;
  // What is read lands at its own address, so no load offset is asked for;
  // what is not read (an exclusion) is saved as ff, the erased value.
  image.FillImage(0xFF);
  image.m_loadOffset = 0;
  image.ClearWritten();

  CAddressRangeDlg dlg(CAddressRangeDlg::Purpose::ReadBack);
  dlg.m_checkedBlocks = talker && CheckedBlocksKnown(*talker);
  if (image.m_lowest > image.m_highest) {
    dlg.SetFinish(0xFFFF);
    dlg.SetStart(0);
  } else {
    dlg.SetStart(image.m_lowest);
    dlg.SetFinish(image.m_highest);
  }
  if (dlg.DoModal() != IDOK) {
    result = OpResult::With(Outcome::Cancelled, "Address Range");
    return 0;
  }
  job.options = ReadBackOptionsFromDialog(dlg);
  if (FormPasses(job.options.start, job.options.finish, job.options.excludeActive, job.options.excludeStart,
                 job.options.excludeEnd)
          .empty()) {
    AfxMessageBox("Nothing to read: Starting is above Finish.");
    result = OpResult::With(Outcome::NothingToDo, "Starting is above Finish");
    return 0;
  }
  return 1;
}

int ExecuteReadBack(CTalker& talker, ReadBackJob& job, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  const ReadBackOptions& o = job.options;

  if (!RequireTalker(talker, o.noPrompt, result)) return 0;
  std::vector<AddressPass> passes = FormPasses(o.start, o.finish, o.excludeActive, o.excludeStart, o.excludeEnd);
  if (passes.empty()) {
    result = OpResult::With(Outcome::NothingToDo, "Starting is above Finish");
    return 0;
  }

  // Map the internal EEPROM where the user wants to see it, or take it out
  // of the way so the flash underneath is read.
  if (o.enableEeprom) {
    SetStatusText("Positioning EEPROM");
    talker.WriteTargetByte(REG_CONFIG, static_cast<uint8_t>(((o.eepromStart & 0xF000) >> 8) + 0x0F));
  } else {
    uint8_t config = 0;
    talker.ReadTargetByte(REG_CONFIG, config);
    talker.WriteTargetByte(REG_CONFIG, config & 0x0E);
  }
  talker.Link().Queue().Clear();
  talker.ClearFault();
  job.started = true;

  bool failed = false;
  for (const AddressPass& pass : passes) {
    if (!ReadTrusted(talker, pass.first, pass.last, job.image, o.readTwice, result)) {
      failed = true;
      break;
    }
  }
  // A link lost in the middle ends the block reads early without a failed
  // header; the image is incomplete all the same.
  if (!talker.Connected()) {
    failed = true;
    result.outcome = Outcome::LinkLost;
  }
  SetStatusText(failed ? "Memory written Failed!!!" : "Memory written correctly");
  return failed ? 0 : 1;
}

std::string PartialPath(const std::string& path) { return path + ".partial"; }

int SaveReadBack(ReadBackJob& job, const std::string& path, OpResult& result) {
  const unsigned start = job.options.start, finish = job.options.finish;
  if (!result.Ok()) {
    // What an incomplete read gives must never pass for the program: it
    // never replaces a file, and never bears the name asked for.
    std::string why = OutcomeName(result.outcome);
    if (result.address != 0) why += " at " + HexText(result.address);
    if (AfxMessageBox("The read did not complete (" + why +
                          ").\nSave what was read anyway? It goes to a file ending in .partial; the file you "
                          "name is not touched.",
                      MB_OKCANCEL) != IDOK) {
      SetStatusText("Read failed! Nothing was saved");
      return 0;
    }
    std::string target = path;
    if (target.empty()) {
      SetStatusText("Getting File");
      if (!ChooseSaveName(target)) {
        SetStatusText("Read failed! Nothing was saved");
        return 0;
      }
    }
    std::string error;
    const std::string partial = PartialPath(target);
    if (!SaveImageToPath(job.image, start, finish, partial, error)) {
      AfxMessageBox(SaveFailedText(partial, error));
      SetStatusText("Read failed! Nothing was saved");
      return 0;
    }
    result.detail += (result.detail.empty() ? "" : "; ") + std::string("what was read is in ") + partial;
    SetStatusText("Read failed! What was read is in " + partial);
    return 1;
  }

  SetStatusText("Getting File");
  bool saveFailed = false;
  int saved = 0;
  if (path.empty()) {
    saved = SaveImageRange(job.image, start, finish, &saveFailed);
  } else {
    std::string error;
    saved = SaveImageToPath(job.image, start, finish, path, error);
    if (!saved) {
      AfxMessageBox(SaveFailedText(path, error));
      saveFailed = true;
    }
  }
  if (!saved) {
    if (saveFailed) {
      SetStatusText("Program not saved!");
      result = OpResult::With(Outcome::FileError, "the file could not be saved");
    } else {
      result = OpResult::With(Outcome::Cancelled, "no file was chosen");
    }
    return 0;
  }
  SetStatusText("Program Sucessfully Read!!");
  return 1;
}

int SaveProgram(CTalker& talker, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  if (!RequireTalker(talker, false, result)) return 0;
  ReadBackJob job;
  if (!GatherReadBack(job, &result, &talker)) return 0;
  ExecuteReadBack(talker, job, &result);
  if (!job.started) return 0;
  return SaveReadBack(job, std::string(), result);
}
