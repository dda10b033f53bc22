// The view's file commands, which need no controller: Load Memory and Save
// Memory on the view's own image, Change Loader, and Checksum Memory on a
// scratch image.
#include <cstdio>
#include <string>

#include "operations/FileCommands.h"

#include "image/Programmer.h"
#include "operations/AddressRangeDlg.h"
#include "operations/FileChoice.h"
#include "operations/OpsText.h"
#include "operations/SaveFile.h"
#include "panes/MainFrame.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"

std::string SaveFailedText(const std::string& path, const std::string& error) {
  return "The file could not be saved completely:\n" + path + "\n" + error +
         "\nAny earlier file of that name is unchanged.";
}

// Writes `start` to `end` of the image into a chosen file and puts it in
// place; a save that cannot be completed is reported and leaves the old file.
// 1 when a file was saved, 0 when none was chosen or the save failed.
int SaveImageRange(CProgrammer& programmer, unsigned start, unsigned end, bool* saveFailed) {
  if (saveFailed) *saveFailed = false;
  std::unique_ptr<CSaveFile> save = ChooseSaveFile();
  if (!save) return 0;
  std::string error;
  int written = programmer.WriteSRecords(save->File(), start, end);
  if (written && save->Commit(error)) return 1;
  if (!written) error = "Writing the file failed.";
  AfxMessageBox(SaveFailedText(save->Path(), error));
  if (saveFailed) *saveFailed = true;
  return 0;
}

int SaveImageToPath(CProgrammer& programmer, unsigned start, unsigned end, const std::string& path,
                    std::string& error) {
  std::unique_ptr<CSaveFile> save = CSaveFile::Create(path, error);
  if (!save) return 0;
  if (!programmer.WriteSRecords(save->File(), start, end)) {
    error = "Writing the file failed.";
    return 0;
  }
  return save->Commit(error);
}

void LoadMemory(CProgrammer& image) {
  if (LoadImageFromFile(image, false) && image.m_badRecords != 0) {
    SetStatusText("Loaded, but " + BadRecordsText(image.m_badRecords));
  }
}

void SaveMemory(CProgrammer& image) {
  image.m_loadOffset = 0;
  CAddressRangeDlg dlg(CAddressRangeDlg::Purpose::Range);
  dlg.SetStart(image.m_lowest);
  dlg.SetFinish(image.m_highest);
  if (dlg.DoModal() != IDOK) return;
  unsigned start = dlg.GetStart();
  unsigned finish = dlg.GetFinish();
  // A range the user confirmed but that names nothing to save is said so,
  // rather than ending without a trace.
  if (start < finish)
    SaveImageRange(image, start, finish, nullptr);
  else
    SetStatusText("Nothing saved: Starting is not below Finish");
}

void ChangeLoader() {
  WriteProfileString("file", "BOOT NAME", "");
  AfxMessageBox("Talker Cleared");
}

uint32_t WordChecksum(const CProgrammer& image, unsigned start, unsigned end) {
  uint32_t sum = 0;
  // Big-endian words from start upwards while a word starts below end; the
  // byte after end is never read, so the 64 KB image always suffices.
  for (unsigned s = start; s < end; s += 2) sum += image.GetImageByte(s) * 256u + image.GetImageByte(s + 1);
  return sum;
}

std::string ChecksumText(uint32_t sum, int badRecords) {
  std::string text = "Checksum 0x " + HexText(sum);
  if (badRecords != 0) text += ", but " + BadRecordsText(badRecords);
  return text;
}

void ChecksumMemory() {
  CProgrammer image;
  SetStatusText("Getting File");
  FILE* file = ChooseChecksumFile();
  if (!file) return;
  image.ApplyLoadSettings(true);
  image.m_badRecords = 0;
  image.ReadSRecordFile(file);

  CAddressRangeDlg dlg(CAddressRangeDlg::Purpose::Range);
  dlg.SetStart(image.m_lowest);
  dlg.SetFinish(image.m_highest);
  // After Cancel the dialog still holds the range it was opened with, which
  // is what the sum then covers.
  dlg.DoModal();
  SetStatusText(ChecksumText(WordChecksum(image, dlg.GetStart(), dlg.GetFinish()), image.m_badRecords));
  std::fclose(file);
}
