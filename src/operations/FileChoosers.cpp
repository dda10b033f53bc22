// Choosing program files, with the folder and name of the last choice kept in
// section "file" so that the next dialog opens where the user left off.
#include <sys/stat.h>

#include <cstdlib>

#include "image/Programmer.h"
#include "panes/MainFrame.h"
#include "operations/FileChoice.h"
#include "operations/OpsText.h"
#include "operations/SaveFile.h"
#include "shell/SettingsStore.h"
#include "shell/Paths.h"
#include "shell/Shell.h"

namespace {

constexpr const char* kSection = "file";

// Each chooser keeps its own copy, read from the store on its first use and
// replaced after each choice, so the load and checksum choosers each start
// from their own last file although they share the stored keys.
struct RememberedFile {
  bool read = false;
  std::string path;
  std::string name;
};

RememberedFile& LoadChoice() {
  static RememberedFile choice;
  return choice;
}

RememberedFile& ChecksumChoice() {
  static RememberedFile choice;
  return choice;
}

void ReadOnFirstUse(RememberedFile& choice) {
  if (choice.read) return;
  choice.path = GetProfileString(kSection, "Default path", DefaultFileFolder());
  choice.name = GetProfileString(kSection, "Default Name", " ");
  choice.read = true;
}

void Remember(RememberedFile& choice, const FileDialogResult& chosen) {
  const std::string& full = chosen.pathName;
  size_t keep = full.size() >= chosen.fileName.size() ? full.size() - chosen.fileName.size() : 0;
  choice.path = full.substr(0, keep);
  choice.name = chosen.fileName;
  WriteProfileString(kSection, "Default path", choice.path);
  WriteProfileString(kSection, "Default Name", choice.name);
}

FileDialogRequest ProgramFileRequest(const RememberedFile& choice, const char* title) {
  FileDialogRequest request;
  request.defaultExt = "S19";
  request.initialName = choice.name;
  request.initialDir = choice.path;
  request.title = title;
  request.filter = kProgramFileFilter;
  return request;
}

bool AskShell(const FileDialogRequest& request, FileDialogResult& result) {
  return g_shell && g_shell->ChooseFile(request, result);
}

}  // namespace

std::string DefaultFileFolder() { return UserHomeFolder(); }

namespace {

FileDialogResult AsChoice(const std::string& fullPath) {
  FileDialogResult chosen;
  chosen.pathName = fullPath;
  chosen.fileName = FileNameOf(fullPath);
  return chosen;
}

}  // namespace

void RememberLoadFile(const std::string& fullPath) {
  ReadOnFirstUse(LoadChoice());
  Remember(LoadChoice(), AsChoice(fullPath));
}

void RememberChecksumFile(const std::string& fullPath) {
  ReadOnFirstUse(ChecksumChoice());
  Remember(ChecksumChoice(), AsChoice(fullPath));
}

void ForgetRememberedFiles() {
  LoadChoice() = RememberedFile();
  ChecksumChoice() = RememberedFile();
}

std::unique_ptr<std::istream> ChooseLoadFile(bool quick, std::string* chosenPath) {
  RememberedFile& choice = LoadChoice();
  ReadOnFirstUse(choice);
  FileDialogRequest request = ProgramFileRequest(choice, "Select file name to Load");
  request.mustExist = true;
  if (quick) {
    // Only the very file chosen last, in the folder it was chosen from: a
    // file of the same name in whatever folder happens to be current could
    // be another program, and flashing that is the worst thing this tool
    // can do to a controller.
    if (auto stream = OpenRegularFile(choice.path + choice.name)) {
      if (chosenPath) *chosenPath = choice.path + choice.name;
      return stream;
    }
  }
  FileDialogResult chosen;
  if (!AskShell(request, chosen)) return nullptr;
  auto stream = OpenRegularFile(chosen.pathName);
  if (stream) {
    Remember(choice, chosen);
    if (chosenPath) *chosenPath = chosen.pathName;
  }
  return stream;
}

FILE* ChooseChecksumFile() {
  RememberedFile& choice = ChecksumChoice();
  ReadOnFirstUse(choice);
  FileDialogRequest request = ProgramFileRequest(choice, "");
  FileDialogResult chosen;
  if (!AskShell(request, chosen)) return nullptr;
  FILE* file = std::fopen(chosen.pathName.c_str(), "r");
  Remember(choice, chosen);
  return file;
}

bool ChooseSaveName(std::string& path) {
  RememberedFile folderOnly;
  folderOnly.path = GetProfileString(kSection, "Default path", DefaultFileFolder());
  FileDialogRequest request = ProgramFileRequest(folderOnly, "Select file name to Save Program");
  request.save = true;
  // keston-convert and most tools know S-record files by ".s19"; the
  // upper-case filter pattern is only for finding files.
  request.defaultExt = "s19";
  // The question comes once, as "File Exists, Overwrite?", from the caller.
  request.overwritePrompt = false;
  FileDialogResult chosen;
  if (!AskShell(request, chosen)) return false;
  path = chosen.pathName;
  return true;
}

std::unique_ptr<CSaveFile> ChooseSaveFile() {
  std::string path;
  if (!ChooseSaveName(path)) return nullptr;
  if (!IsRegularOrNew(path)) {
    AfxMessageBox(NotARegularFileText(path));
    return nullptr;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && AfxMessageBox("File Exists, Overwrite?", MB_OKCANCEL) != IDOK)
    return nullptr;
  std::string error;
  std::unique_ptr<CSaveFile> save = CSaveFile::Create(path, error);
  if (!save) AfxMessageBox("Cannot create the file:\n" + path + "\n" + error);
  return save;
}

int LoadImageFromFile(CProgrammer& image, bool quick, std::string* chosenPath) {
  SetStatusText("Get File to Load");
  std::unique_ptr<std::istream> stream = ChooseLoadFile(quick, chosenPath);
  if (!stream) return 0;
  image.ApplyLoadSettings(!quick);
  image.m_badRecords = 0;
  image.ReadSRecordStream(*stream);
  return 1;
}
