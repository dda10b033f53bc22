// Save Program: read the controller's memory back and save it as S-records.
#include <string>

#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"
#include "link/Link.h"
#include "operations/AddressRangeDlg.h"
#include "operations/Connection.h"
#include "operations/FlashPasses.h"
#include "operations/ReadBack.h"
#include "operations/SaveFile.h"
#include "panes/MainFrame.h"
#include "shell/Shell.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
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
  return o;
}

int GatherReadBack(ReadBackJob& job, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  CProgrammer& image = job.image;
  // Only pre-fill matters here: what is read lands at its own address.
  image.ApplyLoadSettings(true);
  image.m_loadOffset = 0;
  image.ClearWritten();

  CAddressRangeDlg dlg;
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
    if (!talker.ReadTargetBlock(pass.first, job.image, pass.last - pass.first)) {
      failed = true;
      break;
    }
  }
  // A link lost in the middle ends the block reads early without a failed
  // header; the image is incomplete all the same.
  if (!talker.Connected()) failed = true;
  SetStatusText(failed ? "Memory written Failed!!!" : "Memory written correctly");
  if (failed) {
    result = talker.FaultResult();
    if (!talker.Connected()) result.outcome = Outcome::LinkLost;
    if (result.outcome == Outcome::Ok) result.outcome = Outcome::CommandRejected;
    return 0;
  }
  return 1;
}

int SaveReadBack(ReadBackJob& job, const std::string& path, OpResult& result) {
  const bool failed = !result.Ok();
  SetStatusText("Getting File");
  bool saveFailed = false;
  int saved = 0;
  if (path.empty()) {
    // A failed read still offers the file: part of a program can be worth
    // keeping, but the user must be told it is incomplete.
    saved = SaveImageRange(job.image, job.options.start, job.options.finish, &saveFailed);
  } else {
    std::string error;
    saved = SaveImageToPath(job.image, job.options.start, job.options.finish, path, error);
    if (!saved) {
      AfxMessageBox(SaveFailedText(path, error));
      saveFailed = true;
    }
  }
  if (!saved) {
    if (saveFailed) {
      SetStatusText("Program not saved!");
      if (!failed) result = OpResult::With(Outcome::FileError, "the file could not be saved");
    } else if (!failed) {
      result = OpResult::With(Outcome::Cancelled, "no file was chosen");
    }
    return 0;
  }
  if (failed) {
    SetStatusText("Read failed! The saved file is incomplete");
    return 1;
  }
  SetStatusText("Program Sucessfully Read!!");
  return 1;
}

int SaveProgram(CTalker& talker, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  if (!RequireTalker(talker, false, result)) return 0;
  ReadBackJob job;
  if (!GatherReadBack(job, &result)) return 0;
  ExecuteReadBack(talker, job, &result);
  if (!job.started) return 0;
  return SaveReadBack(job, std::string(), result);
}
