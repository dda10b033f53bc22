#include "support/ScriptedShell.h"

#include <algorithm>

#include "target/ProgressDlg.h"

ScriptedShell::ScriptedShell() = default;

ScriptedShell::~ScriptedShell() = default;

void ScriptedShell::StatusTextChanged(const std::string& text) { statusTexts.push_back(text); }
void ScriptedShell::PaneChanged(int) { ++paneChanges; }
void ScriptedShell::RedrawView() { ++redraws; }

int ScriptedShell::MessageBox(const std::string& text, const std::string& caption, int type) {
  Box box{text, caption, type};
  boxes.push_back(box);
  if (onBox) onBox(box);
  if (!boxAnswers.empty()) {
    int answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
  }
  return (type & MB_BUTTONMASK) == MB_YESNO ? IDYES : IDOK;
}

int ScriptedShell::RunModal(CDialogModel& dialog) {
  DialogRecord record;
  record.title = dialog.Title();
  record.shown = dialog.CurrentInputs();
  DialogAnswer answer;
  if (!dialogAnswers.empty()) {
    answer = dialogAnswers.front();
    dialogAnswers.pop_front();
  }
  if (answer.button != IDOK) {
    record.result = IDCANCEL;
    dialogs.push_back(record);
    return IDCANCEL;
  }
  std::vector<FieldInput> inputs = record.shown;
  for (FieldInput& in : inputs) {
    auto t = answer.texts.find(in.id);
    if (t != answer.texts.end()) in.text = t->second;
    auto v = answer.values.find(in.id);
    if (v != answer.values.end()) in.value = v->second;
  }
  std::string message;
  int bad = 0;
  if (!dialog.Exchange(inputs, message, bad)) {
    // A refused OK keeps a real dialog open; the script gives up on it.
    record.result = IDCANCEL;
    record.refusal = message;
    record.refusedField = bad;
    dialogs.push_back(record);
    return IDCANCEL;
  }
  record.result = IDOK;
  dialogs.push_back(record);
  return IDOK;
}

bool ScriptedShell::ChooseFile(const FileDialogRequest& request, FileDialogResult& result) {
  fileRequests.push_back(request);
  if (fileAnswers.empty()) return false;
  std::optional<std::string> answer = fileAnswers.front();
  fileAnswers.pop_front();
  if (!answer) return false;
  result.pathName = *answer;
  size_t slash = answer->find_last_of('/');
  result.fileName = slash == std::string::npos ? *answer : answer->substr(slash + 1);
  return true;
}

void ScriptedShell::ProgressOpened(CProgressDlg&) { ++progressOpened; }

void ScriptedShell::ProgressChanged(CProgressDlg& p) {
  progressUpdates.push_back(ProgressRecord{p.m_low, p.m_high, p.m_pos, p.m_label, p.m_address, p.m_value});
}

void ScriptedShell::ProgressClosed(CProgressDlg&) { ++progressClosed; }

bool ScriptedShell::DispatchPendingEvent() {
  ++dispatchCalls;
  return onDispatch ? onDispatch() : false;
}

bool ScriptedShell::SawStatus(const std::string& text) const {
  return std::find(statusTexts.begin(), statusTexts.end(), text) != statusTexts.end();
}

bool ScriptedShell::SawBox(const std::string& text) const {
  return std::any_of(boxes.begin(), boxes.end(), [&](const Box& b) { return b.text == text; });
}
