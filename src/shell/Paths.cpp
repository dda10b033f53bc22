#include "shell/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }
char PathSeparator() { return '\\'; }

std::string UserHomeFolder() {
  // USERPROFILE is set for every interactive and service logon; the drive
  // and path pair is what older setups carry.
  std::string home;
  if (const char* env = std::getenv("USERPROFILE"); env && *env) {
    home = env;
  } else {
    const char* drive = std::getenv("HOMEDRIVE");
    const char* path = std::getenv("HOMEPATH");
    if (drive && path) {
      home = drive;
      home += path;
    }
  }
  if (home.empty()) home = ".";
  if (!IsPathSeparator(home.back())) home += PathSeparator();
  return home;
}
#else
bool IsPathSeparator(char c) { return c == '/'; }
char PathSeparator() { return '/'; }

std::string UserHomeFolder() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else {
    char buffer[4096];
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
      home = found->pw_dir;
  }
  if (home.empty() || home.back() != '/') home += '/';
  return home;
}
#endif

size_t LastPathSeparator(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsPathSeparator(path[i - 1])) return i - 1;
  return std::string::npos;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = LastPathSeparator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::unique_ptr<std::istream> OpenRegularFile(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return nullptr;
  auto stream = std::make_unique<std::ifstream>(path);
  if (!stream->is_open()) return nullptr;
  return stream;
}

bool IsRegularOrNew(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode);
}

std::string NotARegularFileText(const std::string& path) {
  return path + " is not a regular file (a device, a pipe or a folder); choose a file name instead.";
}

#ifdef _WIN32
std::string WindowsErrorText(unsigned long code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                              message.back() == '.'))
    message.pop_back();
  return message;
}

int ReplaceFileContents(const std::string& path, const std::string& contents, std::string& error) {
  const std::string temp = path + ".keston-new-" + std::to_string(GetCurrentProcessId());
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = WindowsErrorText(GetLastError());
    return 0;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
                  written == contents.size() && FlushFileBuffers(file);
  const DWORD writeError = GetLastError();
  CloseHandle(file);
  // rename() will not replace an existing file here; MoveFileEx does, in one step.
  if (!ok || !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = WindowsErrorText(ok ? GetLastError() : writeError);
    DeleteFileA(temp.c_str());
    return 0;
  }
  return 1;
}
#else
int ReplaceFileContents(const std::string& path, const std::string& contents, std::string& error) {
  const std::string temp = path + ".keston-new-" + std::to_string(getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = std::strerror(errno);
    return 0;
  }
  size_t done = 0;
  int err = 0;
  while (done < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && std::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err) {
    error = std::strerror(err);
    ::unlink(temp.c_str());
    return 0;
  }
  return 1;
}
#endif
