// The view's file commands, which need no controller: Load Memory and Save
// Memory on the view's own image, Change Loader, and Checksum Memory on a
// scratch image.
#include <cstdio>
#include <string>

#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "image/Programmer.h"
#include "operations/AddressRangeDlg.h"
#include "operations/OpsText.h"
#include "operations/SaveFile.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"

// Writes `start` to `end` of the image into a chosen file and puts it in
// place; a save that cannot be completed is reported and leaves the old file.
// 1 when a file was saved, 0 when none was chosen or the save failed.
int SaveImageRange(CProgrammer& programmer, unsigned start, unsigned end, bool* saveFailed) {
  if (saveFailed) *saveFailed = false;
  std::unique_ptr<CSaveFile> save = programmer.ChooseSaveFile();
  if (!save) return 0;
  std::string error;
  int written = programmer.WriteSRecords(save->File(), start, end);
  if (written && save->Commit(error)) return 1;
  if (!written) error = "Writing the file failed.";
  AfxMessageBox(SaveFailedText(save->Path(), error));
  if (saveFailed) *saveFailed = true;
  return 0;
}

void CTrellisView::OnLoadMemory() {
  if (m_programmer.LoadImageFromFile(0) && m_programmer.m_badRecords != 0) {
    SetStatusText("Loaded, but " + BadRecordsText(m_programmer.m_badRecords));
  }
}

void CTrellisView::OnSaveMemory() {
  m_programmer.m_loadOffset = 0;
  CAddressRangeDlg dlg;
  dlg.SetStart(m_programmer.m_lowest);
  dlg.SetFinish(m_programmer.m_highest);
  if (dlg.DoModal() != IDOK) return;
  unsigned start = dlg.GetStart();
  unsigned finish = dlg.GetFinish();
  // A range the user confirmed but that names nothing to save is said so,
  // rather than ending without a trace.
  if (start < finish)
    SaveImageRange(m_programmer, start, finish, nullptr);
  else
    SetStatusText("Nothing saved: Starting is not below Finish");
}

void CTrellisView::OnChangeLoader() {
  WriteProfileString("file", "BOOT NAME", "");
  AfxMessageBox("Talker Cleared");
}

void CProgrammer::ComputeFileChecksum() {
  SetStatusText("Getting File");
  FILE* file = ChooseChecksumFile();
  if (!file) return;
  ApplyLoadSettings(true);
  m_badRecords = 0;
  ReadSRecordFile(file);

  CAddressRangeDlg dlg;
  dlg.SetStart(m_lowest);
  dlg.SetFinish(m_highest);
  // After Cancel the dialog still holds the range it was opened with, which
  // is what the sum then covers.
  dlg.DoModal();
  unsigned s = dlg.GetStart();
  unsigned e = dlg.GetFinish();
  uint32_t sum = 0;
  // Big-endian words from s upwards while a word starts below e; the byte
  // after e is never read, so the 64 KB image always suffices.
  for (; s < e; s += 2) sum += GetImageByte(s) * 256u + GetImageByte(s + 1);
  std::string text = "Checksum 0x " + HexText(sum);
  if (m_badRecords != 0) text += ", but " + BadRecordsText(m_badRecords);
  SetStatusText(text);
  std::fclose(file);
}

void CTrellisView::OnChecksumMemory() {
  CProgrammer programmer;
  programmer.ComputeFileChecksum();
}
