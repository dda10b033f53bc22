#include "shell/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

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
  if (home.empty()) home = "/";
  if (home.back() != '/') home.push_back('/');
  return home;
}
