// The shell of keston-cli.  keston-cli hands the operations their options
// directly, so no dialog is ever answered here; questions are answered by
// --yes, asked on the terminal, or declined.  What the program shows (status
// texts, message boxes) is printed as it stands, the progress windows of long
// transfers drive a progress display, and a controller that stops answering
// is given up after a time-out by ending the link, the same way the desktop
// user would press Disconnect.
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

class ConsoleShell : public NullShell {
 public:
  struct Settings {
    bool yes = false;               // --yes: every question answered OK/Yes
    bool quiet = false;             // only results and failures
    bool verbose = false;           // every status text and dialog answer too
    bool interactive = false;       // standard input is a terminal: questions are asked there
    bool progressTerminal = false;  // standard error is a terminal: the bar is redrawn in place
    double timeoutSeconds = 30;     // no sign of life for this long ends the link; 0 never
  };
  struct Box {
    std::string text;
    int type = 0;
    int answer = 0;
  };

  ConsoleShell(const Settings& settings, std::ostream& err, std::istream& in,
               ProgressMeter::Clock clock = ProgressMeter::Clock());
  ~ConsoleShell() override;

  void SetTimeout(double seconds) { m_settings.timeoutSeconds = seconds; }
  // Prints a line on standard error between redraws of the progress bar.
  void Note(const std::string& text);
  // Counts as a sign of life for the time-out; any thread.
  void NoteActivity();

  // ---- hooks set by the command layer ----
  std::function<void()> onPullLine;     // ends the link (Disconnect)
  std::function<void()> onIdle;         // polled on the UI thread while waiting for the target
  std::function<void()> onBeforePrint;  // UI thread, before a line is printed

  // From a signal handler.  The first interrupt asks the transfer to stop at
  // the next command boundary (the talker stays in step); the second cuts
  // it off at once by ending the link.
  static void RequestInterrupt();
  static bool InterruptRequested();
  static bool CutOffRequested();
  // Forgets interrupts (tests run several sessions in one process).
  static void ClearInterrupts();

  // ---- Shell ----
  void StatusTextChanged(const std::string& text) override;
  int MessageBox(const std::string& text, const std::string& caption, int type) override;
  int RunModal(CDialogModel& dialog) override;
  bool ChooseFile(const FileDialogRequest& request, FileDialogResult& result) override;
  void ProgressOpened(CProgressDlg& progress) override;
  void ProgressChanged(CProgressDlg& progress) override;
  void ProgressClosed(CProgressDlg& progress) override;
  bool DispatchPendingEvent() override;
  bool StopRequested() override;

  // ---- what happened ----
  std::vector<std::string> statusTexts;
  std::vector<Box> boxes;
  std::vector<std::string> declined;         // questions answered No/Cancel
  std::vector<std::string> unansweredFiles;  // file dialogs cancelled: there is no one to ask
  bool timedOut = false;
  bool interrupted = false;  // the user interrupted the run (Ctrl-C, SIGTERM, SIGHUP)
  bool cutOff = false;       // ... twice: the link was ended in the middle

  std::string LastStatus() const { return statusTexts.empty() ? std::string() : statusTexts.back(); }
  bool SawStatus(const std::string& text) const;
  bool SawBox(const std::string& text) const;
  // A bare address status ("7fff ", "103f 5"): progress rather than news,
  // shown only with --verbose.
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
  std::atomic<double> m_lastActivity{0};  // also touched by the receive thread
  bool m_pulled = false;
  bool m_inBeforePrint = false;
};
