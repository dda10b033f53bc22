// keston-cli: the programming operations of KESTON Flash from the command line.
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/Commands.h"
#include "cli/ConsoleShell.h"
#ifdef _WIN32
#include "cli/WindowsConsole.h"
#endif

namespace {

#ifdef _WIN32
bool LetInterruptThrough() { return ConsoleShell::CutOffRequested(); }

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const int n = ::_write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool stdinTty = ::_isatty(_fileno(stdin)) != 0;
  const bool stderrTty = ::_isatty(_fileno(stderr)) != 0;

  // The S-record reader's trace goes nowhere, the results to the real
  // standard output (see the Linux main below).
  std::fflush(stdout);
  int resultsFd = ::_dup(_fileno(stdout));
  const int devNull = ::_open("NUL", _O_WRONLY);
  if (resultsFd >= 0 && devNull >= 0) ::_dup2(devNull, _fileno(stdout));
  if (devNull >= 0) ::_close(devNull);
  if (resultsFd < 0) resultsFd = _fileno(stdout);

  // Ctrl-C, Ctrl-Break and closing the console ask the run to stop at the
  // next command boundary; the third one ends the program at once.
  InstallConsoleInterrupts(&ConsoleShell::RequestInterrupt, &LetInterruptThrough);

  std::ostringstream results;
  int status = RunKestonCli(argc, argv, results, std::cerr, std::cin, stdinTty, stderrTty);
  std::fflush(stdout);
  WriteAll(resultsFd, results.str());
  return status;
}
#else

// The first two interrupts are the run's to handle (stop at a command
// boundary, then cut off); a third ends the program at once.
void OnSignal(int signal) {
  if (ConsoleShell::CutOffRequested()) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  ConsoleShell::RequestInterrupt();
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool stdinTty = ::isatty(STDIN_FILENO) == 1;
  const bool stderrTty = ::isatty(STDERR_FILENO) == 1;

  // The S-record reader traces every record on standard output, which the
  // desktop program sends nowhere.  Here standard output carries results,
  // so the trace goes to /dev/null and results to the real stdout.
  std::fflush(stdout);
  int resultsFd = ::dup(STDOUT_FILENO);
  int devNull = ::open("/dev/null", O_WRONLY);
  if (resultsFd >= 0 && devNull >= 0) ::dup2(devNull, STDOUT_FILENO);
  if (devNull >= 0) ::close(devNull);
  if (resultsFd < 0) resultsFd = STDOUT_FILENO;

  // Ctrl-C, SIGTERM and a hang-up of the terminal all ask the run to stop
  // at the next command boundary, so the port is closed properly and the
  // talker stays in step.  Without SA_RESTART a read that waits for a pipe
  // (a program file given as one) returns, so the interrupt is seen.
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  action.sa_flags = 0;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  std::ostringstream results;
  int status = RunKestonCli(argc, argv, results, std::cerr, std::cin, stdinTty, stderrTty);
  std::fflush(stdout);
  WriteAll(resultsFd, results.str());
  return status;
}
#endif
