#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "link/Logs.h"
#include "shell/Paths.h"
#include "shell/Shell.h"

namespace {

// The line ends are written as they are (CR LF on every system): Windows
// must not add a CR of its own, and no child process inherits the file.
#ifdef _WIN32
constexpr int kCreateFlags = O_RDWR | O_CREAT | O_TRUNC | O_BINARY | O_NOINHERIT;
#else
constexpr int kCreateFlags = O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC;
#endif

std::string Format(const char* format, unsigned value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

CLogs::~CLogs() {
  if (m_commFd >= 0) ::close(m_commFd);
  if (m_runFd >= 0) ::close(m_runFd);
}

void CLogs::Report(const std::string& line) {
  m_msgBuf = line;
  if (errorObserver) errorObserver(line);
}

// The earlier file of the same log is closed first (it would otherwise stay
// open, unwritten, until the program ends); a file that cannot be created
// leaves the log closed, so the status line does not claim logging and later
// lines raise no error each.
void CLogs::Start(int& fd, const char* initialName, const char* errorFormat) {
  FileDialogRequest request;
  request.save = true;
  request.defaultExt = "txt";
  request.initialName = initialName;
  request.initialDir = UserHomeFolder();
  request.overwritePrompt = true;
  FileDialogResult result;
  if (!g_shell || !g_shell->ChooseFile(request, result)) return;

  if (!IsRegularOrNew(result.pathName)) {
    Report(NotARegularFileText(result.pathName));
    return;
  }
  if (fd >= 0) ::close(fd);
  fd = -1;
  const int created = ::open(result.pathName.c_str(), kCreateFlags, 0666);
  if (created < 0) {
    Report(Format(errorFormat, static_cast<unsigned>(errno)));
    return;
  }
  fd = created;
}

void CLogs::Append(int fd, std::string& line, const char* errorFormat) {
  if (fd < 0) return;
  line += "\r\n";
  size_t written = 0;
  int error = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      error = n < 0 ? errno : 0;
      break;
    }
  }
  if (error != 0) Report(Format(errorFormat, static_cast<unsigned>(error)));
  if (written != line.size()) Report(Format("<log bytes error-%u>", static_cast<unsigned>(line.size() - written)));
}

void CLogs::StartCommLog() { Start(m_commFd, "logcomm", "<LogComm Error-%u>"); }

void CLogs::StartRunLog() { Start(m_runFd, "logfile", "<LogFile Error-%u>"); }

void CLogs::WriteCommLog(std::string& line) { Append(m_commFd, line, "<log comm error-%u>"); }

void CLogs::WriteRunLog(std::string& line) { Append(m_runFd, line, "<log run error-%u>"); }
