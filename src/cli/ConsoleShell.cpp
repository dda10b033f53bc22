#include "cli/ConsoleShell.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "target/ProgressDlg.h"

namespace {

volatile std::sig_atomic_t g_interrupts = 0;

// The one box that asks the user to act on the hardware rather than decide.
constexpr const char* kResetPrompt = "Reset in Bootstrap Mode";

std::string TrimEnd(std::string text) {
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' || text.back() == '\t'))
    text.pop_back();
  return text;
}

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Length of a run of lowercase hex digits starting at text[i].
size_t HexRun(const std::string& text, size_t i) {
  size_t n = 0;
  while (i + n < text.size() && IsLowerHex(text[i + n])) ++n;
  return n;
}

}  // namespace

ConsoleShell::ConsoleShell(const Settings& settings, std::ostream& err, std::istream& in,
                           ProgressMeter::Clock clock)
    : m_settings(settings),
      m_err(err),
      m_in(in),
      m_clock(clock),
      m_meter(settings.quiet ? m_discard : err, settings.progressTerminal, clock) {
  m_lastActivity = Now();
}

ConsoleShell::~ConsoleShell() { m_meter.End(); }

double ConsoleShell::Now() const {
  if (m_clock) return m_clock();
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void ConsoleShell::RequestInterrupt() { g_interrupts = g_interrupts + 1; }
bool ConsoleShell::InterruptRequested() { return g_interrupts >= 1; }
bool ConsoleShell::CutOffRequested() { return g_interrupts >= 2; }
void ConsoleShell::ClearInterrupts() { g_interrupts = 0; }

void ConsoleShell::NoteActivity() { m_lastActivity = Now(); }

void ConsoleShell::Print(const std::string& text) {
  if (onBeforePrint && !m_inBeforePrint) {
    // What is owed first (the wire trace so far) keeps its place in the order.
    m_inBeforePrint = true;
    onBeforePrint();
    m_inBeforePrint = false;
  }
  // One write per line: the link's debug trace (a debug build) writes to
  // standard error from the receive thread, and must not split our lines.
  std::string line;
  // Finish the bar's line so the message does not land in the middle of it.
  if (m_meter.Active() && m_settings.progressTerminal) line = "\r\033[K";
  line += text + "\n";
  m_err << line;
  m_err.flush();
}

void ConsoleShell::Note(const std::string& text) { Print(text); }

bool ConsoleShell::SawStatus(const std::string& text) const {
  for (const std::string& s : statusTexts)
    if (s == text) return true;
  return false;
}

bool ConsoleShell::SawBox(const std::string& text) const {
  for (const Box& b : boxes)
    if (b.text == text) return true;
  return false;
}

bool ConsoleShell::IsAddressStatus(const std::string& text) {
  size_t a = HexRun(text, 0);
  // Five digits: the writers show the address after the last byte, 10000.
  if (a == 0 || a > 5) return false;
  if (a == text.size()) return true;
  if (text[a] != ' ') return false;
  if (a + 1 == text.size()) return true;
  size_t v = HexRun(text, a + 1);
  return v >= 1 && v <= 2 && a + 1 + v == text.size();
}

void ConsoleShell::StatusTextChanged(const std::string& text) {
  NoteActivity();
  statusTexts.push_back(text);
  if (IsAddressStatus(text)) {
    if (m_settings.verbose) Print(text);
    return;
  }
  // An emptied status line says nothing worth a line of its own.
  if (!m_settings.quiet && !TrimEnd(text).empty()) Print(TrimEnd(text));
}

bool ConsoleShell::Ask(const std::string& question) {
  m_err << (question + " [y/N] ");
  m_err.flush();
  std::string line;
  if (!std::getline(m_in, line)) {
    m_err << '\n';
    return false;
  }
  return line == "y" || line == "Y" || line == "yes" || line == "Yes" || line == "YES";
}

int ConsoleShell::MessageBox(const std::string& text, const std::string& /*caption*/, int type) {
  NoteActivity();
  Box box;
  box.text = text;
  box.type = type;
  int buttons = type & MB_BUTTONMASK;
  if (buttons == MB_OKCANCEL || buttons == MB_YESNO) {
    int yes = buttons == MB_YESNO ? IDYES : IDOK;
    int no = buttons == MB_YESNO ? IDNO : IDCANCEL;
    if (m_settings.yes) {
      if (!m_settings.quiet) Print(TrimEnd(text) + " (answered by --yes)");
      box.answer = yes;
    } else if (m_settings.interactive) {
      if (m_meter.Active() && m_settings.progressTerminal) m_err << "\r\033[K";
      box.answer = Ask(TrimEnd(text)) && !InterruptRequested() ? yes : no;
      PullIfInterrupted();
    } else {
      Print(TrimEnd(text) + " (declined: no terminal to ask on; --yes answers it)");
      box.answer = no;
    }
    if (box.answer == no) declined.push_back(text);
  } else {
    box.answer = IDOK;
    if (text == kResetPrompt && m_settings.interactive && !m_settings.yes) {
      Print(text);
      m_err << "Reset the controller into bootstrap mode, then press Enter: ";
      m_err.flush();
      std::string line;
      std::getline(m_in, line);
      NoteActivity();
      PullIfInterrupted();
    } else if (!m_settings.quiet) {
      Print(TrimEnd(text));
    }
  }
  boxes.push_back(box);
  return box.answer;
}

int ConsoleShell::RunModal(CDialogModel& dialog) {
  // Every command hands its options over directly; a dialog here would be
  // waiting for someone who is not there.
  NoteActivity();
  Print(dialog.Title() + ": not available on the command line");
  return IDCANCEL;
}

bool ConsoleShell::ChooseFile(const FileDialogRequest& request, FileDialogResult& /*result*/) {
  NoteActivity();
  unansweredFiles.push_back(request.title);
  if (m_settings.verbose) Print((request.title.empty() ? "File dialog" : request.title) + ": no file given");
  return false;
}

void ConsoleShell::ProgressOpened(CProgressDlg& /*progress*/) {
  NoteActivity();
  if (m_meter.Active()) m_meter.End();
}

void ConsoleShell::ProgressChanged(CProgressDlg& progress) {
  NoteActivity();
  if (!m_meter.Active() || m_meter.Low() != progress.m_low || m_meter.High() != progress.m_high) {
    if (m_meter.Active()) m_meter.End();
    m_meter.Begin(progress.m_label, progress.m_low, progress.m_high);
  }
  m_meter.SetLabel(progress.m_label);
  // The window's address field is set just after its position, so it lags
  // one step behind here; every transfer reports the address as its position.
  char address[24];
  std::snprintf(address, sizeof address, "0x%4lx", static_cast<unsigned long>(progress.m_pos));
  m_meter.Update(progress.m_pos, address);
}

void ConsoleShell::ProgressClosed(CProgressDlg& /*progress*/) {
  NoteActivity();
  m_meter.End();
}

// Ctrl-C at a question ends the run there, not after the download or erase
// that the question was about: the question counts as declined.
void ConsoleShell::PullIfInterrupted() {
  if (InterruptRequested()) interrupted = true;
}

bool ConsoleShell::StopRequested() {
  if (!InterruptRequested()) return false;
  if (!interrupted) {
    interrupted = true;
    Print("Stopping after the command in hand; interrupt again to cut it off at once (the talker then needs a "
          "new boot load).");
  }
  return true;
}

bool ConsoleShell::DispatchPendingEvent() {
  if (onIdle) onIdle();
  if (m_pulled) return false;
  if (CutOffRequested()) {
    interrupted = true;
    cutOff = true;
  } else if (m_settings.timeoutSeconds > 0 && Now() - m_lastActivity > m_settings.timeoutSeconds) {
    timedOut = true;
  } else {
    if (InterruptRequested()) StopRequested();  // say so while waiting, too
    return false;
  }
  m_pulled = true;
  if (onPullLine) onPullLine();
  return true;
}
