// A file being saved: the writers fill a new file beside the chosen one, and
// only a complete, flushed new file replaces the old one.  A save that breaks
// off (disk full, write error, the command ends early) leaves any earlier file
// of that name exactly as it was.  The new file has no name until it is
// complete where the system allows it, so a killed save leaves nothing; where
// it does not, the hidden name carries our process id and the next save into
// that folder removes what a dead process left.  Only regular files (or new
// names) are saved to: a device or a pipe is refused.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "shell/Paths.h"

class CSaveFile {
 public:
  // Opens a new file in the folder of `path`; null with `error` set when that
  // is not possible.
  static std::unique_ptr<CSaveFile> Create(const std::string& path, std::string& error);
  ~CSaveFile();  // an uncommitted file is removed
  CSaveFile(const CSaveFile&) = delete;
  CSaveFile& operator=(const CSaveFile&) = delete;

  FILE* File() const { return m_file; }
  const std::string& Path() const { return m_path; }

  // Flushes, syncs and closes the new file, then puts it in place of `Path()`.
  // 1 on success; 0 with `error` set, and the earlier file untouched.
  int Commit(std::string& error);

 private:
  CSaveFile() = default;
  void Discard();

  std::string m_path;      // the name the user chose
  std::string m_tempPath;  // the new file beside it, once it has a name
  FILE* m_file = nullptr;
  bool m_unnamed = false;  // created without a name (it vanishes if we die)
  bool m_committed = false;
};


class CProgrammer;

// Writes `start` to `end` of the image as S-records into a file chosen with
// ChooseSaveFile and puts it in place.  1 when a file was saved; 0 when none
// was chosen or the save failed, which is reported in a message box and then
// sets *saveFailed.
int SaveImageRange(CProgrammer& programmer, unsigned start, unsigned end, bool* saveFailed);

// The same into the file at `path`, without asking.  1 when it was saved; 0
// with `error` set, and any earlier file of that name untouched.
int SaveImageToPath(CProgrammer& programmer, unsigned start, unsigned end, const std::string& path,
                    std::string& error);

// The message box text for a save that could not be completed.
std::string SaveFailedText(const std::string& path, const std::string& error);
