// CSaveFile on Windows.  A file cannot exist without a name there, so the
// new file always has the hidden one (with our process id) until Commit puts
// it in place with MoveFileEx, which replaces the old file in one step and,
// with MOVEFILE_WRITE_THROUGH, returns only once the move is on the disk.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "operations/SaveFile.h"
#include "shell/Paths.h"

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = LastPathSeparator(path);
  if (slash == std::string::npos) return ".";
  // "C:\" stays the drive's root, not the drive's current folder.
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && IsPathSeparator(folder.back())) return folder + name;
  return folder + PathSeparator() + name;
}

std::string TempPrefix(const std::string& name) { return "." + name + ".keston-"; }

bool ProcessAlive(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

// Temporary files a killed save of ours left beside `name` are removed;
// those of a process still running are left to it.
void RemoveStaleTemporaries(const std::string& folder, const std::string& name) {
  const std::string prefix = TempPrefix(name);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(Join(folder, prefix + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string file = found.cFileName;
    if (file.compare(0, prefix.size(), prefix) != 0) continue;
    const long pid = std::strtol(file.c_str() + prefix.size(), nullptr, 10);
    if (pid <= 0 || static_cast<DWORD>(pid) == GetCurrentProcessId()) continue;
    if (ProcessAlive(static_cast<DWORD>(pid))) continue;
    DeleteFileA(Join(folder, file).c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

}  // namespace

std::unique_ptr<CSaveFile> CSaveFile::Create(const std::string& path, std::string& error) {
  std::unique_ptr<CSaveFile> save(new CSaveFile());
  if (!IsRegularOrNew(path)) {
    error = NotARegularFileText(path);
    return nullptr;
  }
  save->m_path = path;
  const std::string folder = FolderOf(path);
  const std::string name = FileNameOf(path);
  RemoveStaleTemporaries(folder, name);

  HANDLE handle = INVALID_HANDLE_VALUE;
  std::string temp;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    temp = Join(folder, TempPrefix(name) + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt));
    handle = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (handle == INVALID_HANDLE_VALUE) {
    error = WindowsErrorText(GetLastError());
    return nullptr;
  }
  save->m_tempPath = temp;
  // Binary: the writers' line ends are the file's line ends on every system.
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    error = "cannot use the new file";
    CloseHandle(handle);
    DeleteFileA(temp.c_str());
    save->m_tempPath.clear();
    return nullptr;
  }
  save->m_file = _fdopen(fd, "wb");
  if (!save->m_file) {
    error = "cannot use the new file";
    _close(fd);
    DeleteFileA(temp.c_str());
    save->m_tempPath.clear();
    return nullptr;
  }
  return save;
}

CSaveFile::~CSaveFile() {
  if (!m_committed) Discard();
}

void CSaveFile::Discard() {
  if (m_file) {
    fclose(m_file);
    m_file = nullptr;
  }
  if (!m_tempPath.empty()) {
    DeleteFileA(m_tempPath.c_str());
    m_tempPath.clear();
  }
}

int CSaveFile::Commit(std::string& error) {
  if (!m_file || m_committed) {
    error = "The file is not open.";
    return 0;
  }
  std::string why;
  if (fflush(m_file) != 0 || ferror(m_file)) why = "the data could not be written";
  if (why.empty()) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(m_file)));
    if (handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle)) why = WindowsErrorText(GetLastError());
  }
  const int closed = fclose(m_file);
  m_file = nullptr;
  if (why.empty() && closed != 0) why = "the file could not be closed";
  if (why.empty() &&
      !MoveFileExA(m_tempPath.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    why = WindowsErrorText(GetLastError());
  if (!why.empty()) {
    error = why;
    Discard();
    return 0;
  }
  m_tempPath.clear();
  m_committed = true;
  return 1;
}
