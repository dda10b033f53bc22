// A shell for tests: answers come from queues, everything shown is recorded.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "shell/DialogModel.h"
#include "shell/Shell.h"

class ScriptedShell : public NullShell {
 public:
  struct Box {
    std::string text;
    std::string caption;
    int type = 0;
  };
  struct DialogAnswer {
    int button = IDOK;
    std::map<int, std::string> texts;  // control id -> typed text
    std::map<int, int> values;         // control id -> check state or list index
  };
  struct DialogRecord {
    std::string title;
    std::vector<FieldInput> shown;  // the controls' contents when it opened
    int result = IDCANCEL;
    std::string refusal;            // message of a refused OK, if any
    int refusedField = 0;
  };
  struct ProgressRecord {
    long low = 0, high = 0, pos = 0;
    std::string label, address, value;
  };

  ScriptedShell();
  ~ScriptedShell() override;

  // ---- Shell ----
  void StatusTextChanged(const std::string& text) override;
  void PaneChanged(int pane) override;
  void RedrawView() override;
  int MessageBox(const std::string& text, const std::string& caption, int type) override;
  int RunModal(CDialogModel& dialog) override;
  bool ChooseFile(const FileDialogRequest& request, FileDialogResult& result) override;
  void ProgressOpened(CProgressDlg& progress) override;
  void ProgressChanged(CProgressDlg& progress) override;
  void ProgressClosed(CProgressDlg& progress) override;
  bool DispatchPendingEvent() override;

  // ---- scripting ----
  // Message boxes take answers from this queue; when it is empty OK-type
  // boxes answer IDOK and Yes/No boxes IDYES.
  std::deque<int> boxAnswers;
  // Dialogs take answers from this queue; when it is empty they answer OK
  // with the values they were opened with.
  std::deque<DialogAnswer> dialogAnswers;
  // File dialogs take full paths from this queue; nullopt or an empty queue cancels.
  std::deque<std::optional<std::string>> fileAnswers;
  // Called on every DispatchPendingEvent (UI thread); its result is returned.
  std::function<bool()> onDispatch;
  // Called when a message box is shown, before it is answered.
  std::function<void(const Box&)> onBox;

  // ---- records ----
  std::vector<std::string> statusTexts;
  std::vector<Box> boxes;
  std::vector<DialogRecord> dialogs;
  std::vector<FileDialogRequest> fileRequests;
  std::vector<ProgressRecord> progressUpdates;
  int progressOpened = 0;
  int progressClosed = 0;
  std::atomic<int> paneChanges{0};
  std::atomic<int> redraws{0};
  std::atomic<long> dispatchCalls{0};

  std::string LastStatus() const { return statusTexts.empty() ? std::string() : statusTexts.back(); }
  bool SawStatus(const std::string& text) const;
  bool SawBox(const std::string& text) const;

};
