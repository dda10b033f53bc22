// Choosing the loader file: remembered folder and name, asked for only when
// the remembered file no longer opens.
#include <cstdlib>

#include "shell/SettingsStore.h"
#include "shell/Paths.h"
#include "shell/Shell.h"
#include "target/BootLoad.h"

namespace {

struct RememberedBootFile {
  bool loaded = false;
  std::string path;  // a folder ending in a separator
  std::string name;
};

RememberedBootFile& Remembered() {
  static RememberedBootFile remembered;
  return remembered;
}


}  // namespace

void ForgetBootFileChoice() { Remembered() = RememberedBootFile(); }

std::unique_ptr<std::istream> ChooseBootFile() {
  RememberedBootFile& boot = Remembered();
  if (!boot.loaded) {
    boot.path = GetProfileString("file", "BOOT PATH", UserHomeFolder());
    boot.name = GetProfileString("file", "BOOT NAME", " ");
    boot.loaded = true;
  }

  if (auto stream = OpenRegularFile(boot.path + boot.name)) return stream;

  FileDialogRequest request;
  request.defaultExt = "S19";
  request.initialName = boot.name;
  request.initialDir = boot.path;
  request.title = "Select Boot loader file";
  request.filter = kProgramFileFilter;
  request.mustExist = true;
  FileDialogResult chosen;
  if (!g_shell || !g_shell->ChooseFile(request, chosen)) return nullptr;

  auto stream = OpenRegularFile(chosen.pathName);
  if (!stream) return nullptr;
  // Folder and name are remembered only for a file that really opened.
  const std::string& full = chosen.pathName;
  size_t folderLength = full.size() >= chosen.fileName.size() ? full.size() - chosen.fileName.size() : 0;
  boot.path = full.substr(0, folderLength);
  boot.name = chosen.fileName;
  WriteProfileString("file", "BOOT PATH", boot.path);
  WriteProfileString("file", "BOOT NAME", boot.name);
  return stream;
}
