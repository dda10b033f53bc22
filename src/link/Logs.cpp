#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/TrellisView.h"
#include "link/LinkImpl.h"
#include "link/LinkState.h"
#include "shell/Paths.h"
#include "shell/Shell.h"

namespace {


std::string Format(const char* format, unsigned value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

// Asks for the log's file and starts it anew.  The earlier file of the same
// log is closed first (it would otherwise stay open, unwritten, until the
// program ends); a file that cannot be created leaves the log closed, so the
// status line does not claim logging and later lines raise no error each.
static void StartLog(std::string& msgBuf, int& fd, const char* initialName, const char* errorFormat) {
  FileDialogRequest request;
  request.save = true;
  request.defaultExt = "txt";
  request.initialName = initialName;
  request.initialDir = UserHomeFolder();
  request.overwritePrompt = true;
  FileDialogResult result;
  if (!g_shell || !g_shell->ChooseFile(request, result)) return;

  if (fd >= 0) ::close(fd);
  fd = -1;
  const int created = ::open(result.pathName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (created < 0) {
    msgBuf = Format(errorFormat, static_cast<unsigned>(errno));
    ShowCommError(msgBuf);
    return;
  }
  fd = created;
}

static void AppendLog(std::string& msgBuf, int fd, std::string& line, const char* errorFormat) {
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
  if (error != 0) {
    msgBuf = Format(errorFormat, static_cast<unsigned>(error));
    ShowCommError(msgBuf);
  }
  if (written != line.size()) {
    msgBuf = Format("<log bytes error-%u>", static_cast<unsigned>(line.size() - written));
    ShowCommError(msgBuf);
  }
}

void CTrellisView::OnLogComm() { StartLog(m_msgBuf, m_link->logCommFd, "logcomm", "<LogComm Error-%u>"); }

void CTrellisView::OnLogRun() { StartLog(m_msgBuf, m_link->logRunFd, "logfile", "<LogFile Error-%u>"); }

void CTrellisView::WriteCommLog(std::string& line) {
  AppendLog(m_msgBuf, m_link->logCommFd, line, "<log comm error-%u>");
}

void CTrellisView::WriteRunLog(std::string& line) {
  AppendLog(m_msgBuf, m_link->logRunFd, line, "<log run error-%u>");
}

bool CTrellisView::IsCommLogOpen() const { return m_link->logCommFd >= 0; }
