// The seam between the program's logic and whatever windowing layer shows it.
// The logic (link, target protocol, operations, view commands) talks only to
// this interface; the desktop program, the command line and the tests each
// provide one implementation.  One process-wide pointer reaches it.
#pragma once

#include <string>

class CDialogModel;
class CProgressDlg;

// Message box results and styles, with the values the program has always used.
enum {
  IDOK = 1,
  IDCANCEL = 2,
  IDYES = 6,
  IDNO = 7,
};
enum {
  MB_OK = 0x00,
  MB_OKCANCEL = 0x01,
  MB_YESNO = 0x04,
  MB_BUTTONMASK = 0x0F,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_ICONMASK = 0xF0,
};

// The caption of message boxes that do not name their own.
inline constexpr const char* kAppTitle = "KESTON Flash";

// The filter list every program-file dialog offers, as (label, pattern) pairs
// joined in the classic "label|pattern|...||" form.
inline constexpr const char* kProgramFileFilter =
    "Motorola Hex Files (*.S19)|*.S19|Binary File (*.bin)|*.bin|"
    "Intel Hex File (*.ihx)|*.ihx|All Files (*.*)|*.*||";

struct FileDialogRequest {
  bool save = false;             // save dialog instead of open dialog
  std::string defaultExt;        // without the dot, e.g. "S19" or "txt"
  std::string initialName;       // file name shown when the dialog opens
  std::string initialDir;        // folder the dialog opens in
  std::string title;             // empty: the platform's default title
  std::string filter;            // "label|pattern|...||", empty for none
  bool mustExist = false;        // open: the chosen file must exist
  bool overwritePrompt = false;  // save: the dialog asks before naming an existing file
};

struct FileDialogResult {
  std::string pathName;  // full path of the chosen file
  std::string fileName;  // the chosen file's name without its folder
};

class Shell {
 public:
  virtual ~Shell() = default;

  // Text of the status bar's message pane (pane 0).  UI thread.
  virtual void StatusTextChanged(const std::string& text) = 0;
  // A terminal pane's lines changed (0 "DTC Code: ", 1 "Comm err: ",
  // 2 "XMIT: ", 3 "RCVD: ").  May be called from the receive thread: an
  // implementation hands it to the UI thread and never waits for it.
  virtual void PaneChanged(int pane) = 0;
  // The main view's status line must be redrawn.  Any thread, never waits.
  virtual void RedrawView() = 0;

  // Modal message box; type is MB_OK/MB_OKCANCEL/MB_YESNO plus an icon.
  // Returns IDOK, IDCANCEL, IDYES or IDNO.
  virtual int MessageBox(const std::string& text, const std::string& caption, int type) = 0;

  // Runs a dialog model modally.  On OK the shell validates and copies the
  // edited values into the model (CDialogModel::Exchange) and returns IDOK;
  // otherwise the model is left untouched and IDCANCEL is returned.
  virtual int RunModal(CDialogModel& dialog) = 0;

  // Open or save file dialog.  Returns false when the user cancelled.
  virtual bool ChooseFile(const FileDialogRequest& request, FileDialogResult& result) = 0;

  // The modeless, button-less progress window of long transfers.
  virtual void ProgressOpened(CProgressDlg& progress) = 0;
  virtual void ProgressChanged(CProgressDlg& progress) = 0;
  virtual void ProgressClosed(CProgressDlg& progress) = 0;

  // Dispatches one pending UI event, if there is one, while the UI thread
  // waits for a byte from the target.  Returns true if one was dispatched.
  virtual bool DispatchPendingEvent() = 0;

  // The user asked the transfer under way to stop (a progress window's
  // Cancel, Ctrl-C): it stops at the next command boundary, so the talker
  // stays in step.  Any thread may ask; the UI thread polls.
  virtual bool StopRequested() { return false; }
};

// A shell that shows nothing and gives every question its safe answer (OK
// for a plain box, Cancel or No for a question, Cancel for dialogs and file
// choosers).  The desktop, console and test shells derive from it and
// override what they show.  It also keeps the process-wide pointer: Install
// makes it the shell, and destruction restores the one before.
class NullShell : public Shell {
 public:
  NullShell() = default;
  ~NullShell() override;
  NullShell(const NullShell&) = delete;
  NullShell& operator=(const NullShell&) = delete;

  void Install();

  void StatusTextChanged(const std::string& /*text*/) override {}
  void PaneChanged(int /*pane*/) override {}
  void RedrawView() override {}
  int MessageBox(const std::string& text, const std::string& caption, int type) override;
  int RunModal(CDialogModel& dialog) override;
  bool ChooseFile(const FileDialogRequest& request, FileDialogResult& result) override;
  void ProgressOpened(CProgressDlg& /*progress*/) override {}
  void ProgressChanged(CProgressDlg& /*progress*/) override {}
  void ProgressClosed(CProgressDlg& /*progress*/) override {}
  bool DispatchPendingEvent() override { return false; }

 private:
  Shell* m_previous = nullptr;
  bool m_installed = false;
};

// The one shell of the process; set by main() or by a test before use.
extern Shell* g_shell;

// The message box every Part calls "a message box": caption "KESTON Flash",
// and the icon the platform adds when none is named (exclamation for OK and
// OK/Cancel, question for Yes/No).
int AfxMessageBox(const std::string& text, int type = MB_OK);
