// keston-cli: the programming operations of KESTON Flash from the command line.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/Commands.h"
#include "cli/ConsoleShell.h"

namespace {

void OnSignal(int) { ConsoleShell::RequestInterrupt(); }

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

  // The first Ctrl-C (or SIGTERM) ends the link at the next wait so the port
  // is closed properly; a second one ends the program at once.
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  std::ostringstream results;
  int status = RunKestonCli(argc, argv, results, std::cerr, std::cin, stdinTty, stderrTty);
  std::fflush(stdout);
  WriteAll(resultsFd, results.str());
  return status;
}
