#include "shell/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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
