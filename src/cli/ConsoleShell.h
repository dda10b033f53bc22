// The shell of keston-cli.  The command handlers run unchanged; what a user
// would type into a dialog comes from the command line, set into the dialog
// model by control id; file dialogs are answered with the files named on the
// command line; questions are answered by --yes, asked on the terminal, or
// declined.  What the program shows (status texts, message boxes) is printed
// as it stands, long transfers drive a progress display, and a controller that
// stops answering is given up after a time-out by ending the link, the same
// way the desktop user would press Disconnect.
#pragma once

#include <atomic>
#include <functional>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cli/ProgressMeter.h"
#include "shell/DialogModel.h"
#include "shell/Shell.h"

class ConsoleShell : public Shell {
 public:
  struct Settings {
    bool yes = false;               // --yes: every question answered OK/Yes
    bool quiet = false;             // only results and failures
    bool verbose = false;           // every status text and dialog answer too
    bool interactive = false;       // standard input is a terminal: questions are asked there
    bool progressTerminal = false;  // standard error is a terminal: the bar is redrawn in place
    double timeoutSeconds = 30;     // no sign of life for this long ends the link; 0 never
  };
  struct DialogAnswer {
    std::map<int, std::string> texts;  // control id -> text
    std::map<int, int> values;         // control id -> check state or list index
  };
  struct Box {
    std::string text;
    int type = 0;
    int answer = 0;
  };

  ConsoleShell(const Settings& settings, std::ostream& err, std::istream& in,
               ProgressMeter::Clock clock = ProgressMeter::Clock());
  ~ConsoleShell() override;

  // Makes this the process's shell until destruction.
  void Install();

  // ---- answers ----
  // The dialog of this title is answered OK with these fields changed; a
  // dialog without an answer is accepted as it opened.
  void AnswerDialog(const std::string& title, const DialogAnswer& answer);
  // The file dialog of this title (empty for untitled ones) is answered with
  // this path; a file dialog without an answer is cancelled.
  void AnswerFile(const std::string& title, const std::string& path);

  // Status texts that are a bare address (the flash writer's way of showing
  // progress) drive the progress display while they fall within low..high.
  void TrackStatusAddresses(const std::string& label, long low, long high);
  void StopTrackingStatusAddresses();

  void SetTimeout(double seconds) { m_settings.timeoutSeconds = seconds; }
  // Prints a line on standard error between redraws of the progress bar.
  void Note(const std::string& text);
  // Counts as a sign of life for the time-out; any thread.
  void NoteActivity();

  // Status texts that are the command's result and go to standard output
  // instead (the checksum), so they are not shown twice.
  std::string resultStatusPrefix;

  // ---- hooks set by the command layer ----
  std::function<void()> onPullLine;     // ends the link (Disconnect)
  std::function<void()> onIdle;         // polled on the UI thread while waiting for the target
  std::function<void(int)> onUiPane;    // a pane changed on the UI thread
  std::function<void()> onBeforePrint;  // UI thread, before a line is printed

  // From a signal handler: the next wait ends the link and the run.
  static void RequestInterrupt();
  static bool InterruptRequested();

  // ---- Shell ----
  void StatusTextChanged(const std::string& text) override;
  void PaneChanged(int pane) override;
  void RedrawView() override {}
  int MessageBox(const std::string& text, const std::string& caption, int type) override;
  int RunModal(CDialogModel& dialog) override;
  bool ChooseFile(const FileDialogRequest& request, FileDialogResult& result) override;
  void ProgressOpened(CProgressDlg& progress) override;
  void ProgressChanged(CProgressDlg& progress) override;
  void ProgressClosed(CProgressDlg& progress) override;
  bool DispatchPendingEvent() override;

  // ---- what happened ----
  std::vector<std::string> statusTexts;
  std::vector<Box> boxes;
  std::vector<std::string> declined;         // questions answered No/Cancel
  std::vector<std::string> unansweredFiles;  // file dialogs cancelled for want of a file
  std::vector<std::string> dialogsShown;     // titles, in order
  std::map<std::string, std::vector<FieldInput>> acceptedDialogs;  // title -> fields after OK
  std::string refusal;  // a dialog refused what the command line asked it to take
  bool timedOut = false;
  bool interrupted = false;
  std::atomic<int> commErrChanges{0};

  std::string LastStatus() const { return statusTexts.empty() ? std::string() : statusTexts.back(); }
  bool SawStatus(const std::string& text) const;
  bool SawBox(const std::string& text) const;
  // A bare address status ("7fff ", "103f 5"): progress rather than news.
  static bool IsAddressStatus(const std::string& text);

 private:
  bool Ask(const std::string& question);
  void PullIfInterrupted();
  void Print(const std::string& text);
  double Now() const;

  Settings m_settings;
  std::ostream& m_err;
  std::istream& m_in;
  ProgressMeter::Clock m_clock;
  std::ostream m_discard{nullptr};  // where the progress goes under --quiet
  ProgressMeter m_meter;
  std::map<std::string, DialogAnswer> m_dialogAnswers;
  std::map<std::string, std::string> m_fileAnswers;
  bool m_tracking = false;
  bool m_realProgress = false;
  std::string m_trackLabel;
  long m_trackLow = 0, m_trackHigh = 0;
  std::atomic<double> m_lastActivity{0};  // also touched by the receive thread
  bool m_pulled = false;
  bool m_inBeforePrint = false;
  Shell* m_previous = nullptr;
  bool m_installed = false;
};
