#include "operations/SaveFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t CurrentUmask() {
  mode_t mask = umask(022);
  umask(mask);
  return mask;
}

// The hidden name of a new file of ours beside `name`: the process id in it
// tells a later save whether its owner is still alive.
std::string TempPrefix(const std::string& name) { return "." + name + ".keston-"; }

// Temporary files a killed save of ours left beside `name` are removed;
// those of a process still running are left to it.
void RemoveStaleTemporaries(const std::string& folder, const std::string& name) {
  const std::string prefix = TempPrefix(name);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    const std::string file = entry->d_name;
    if (file.compare(0, prefix.size(), prefix) != 0) continue;
    const long pid = std::strtol(file.c_str() + prefix.size(), nullptr, 10);
    if (pid <= 0 || pid == static_cast<long>(getpid())) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlink((folder + "/" + file).c_str());
  }
  closedir(dir);
}

}  // namespace

std::unique_ptr<CSaveFile> CSaveFile::Create(const std::string& path, std::string& error) {
  std::unique_ptr<CSaveFile> save(new CSaveFile());
  // Replacing a symbolic link would cut it off from the file it names; write
  // beside that file instead.
  std::string target = path;
  struct stat ls {};
  if (lstat(path.c_str(), &ls) == 0 && S_ISLNK(ls.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) target = resolved;
  }
  // A device or a pipe would be replaced by a regular file (as root even
  // /dev/null); a folder cannot be.
  if (!IsRegularOrNew(target)) {
    error = NotARegularFileText(path);
    return nullptr;
  }
  save->m_path = target;
  const std::string folder = FolderOf(target);
  const std::string name = NameOf(target);
  RemoveStaleTemporaries(folder, name);

  // The file's permissions: those the old one had, or what a plain create
  // would have given.
  struct stat old {};
  const mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());

  // A file without a name cannot outlive us: it gets one only at Commit.
  int fd = -1;
#ifdef O_TMPFILE
  fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (fd >= 0) {
    save->m_unnamed = true;
    fchmod(fd, mode);
  }
#endif
  if (fd < 0) {
    std::string pattern = folder + "/" + TempPrefix(name) + std::to_string(getpid()) + "-XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    fd = mkstemp(temp.data());
    if (fd < 0) {
      error = ErrnoText(errno);
      return nullptr;
    }
    save->m_tempPath = temp.data();
    // mkstemp makes the file private.
    fchmod(fd, mode);
  }
  save->m_file = fdopen(fd, "w");
  if (!save->m_file) {
    error = ErrnoText(errno);
    close(fd);
    if (!save->m_tempPath.empty()) unlink(save->m_tempPath.c_str());
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
    unlink(m_tempPath.c_str());
    m_tempPath.clear();
  }
}

int CSaveFile::Commit(std::string& error) {
  if (!m_file || m_committed) {
    error = "The file is not open.";
    return 0;
  }
  int err = 0;
  if (fflush(m_file) != 0) err = errno;
  if (!err && ferror(m_file)) err = EIO;
  if (!err && fsync(fileno(m_file)) != 0) err = errno;
  if (!err && m_unnamed) {
    // The complete file gets a name of its own first, then takes the
    // chosen name in one step.
    const std::string folder = FolderOf(m_path);
    const std::string proc = "/proc/self/fd/" + std::to_string(fileno(m_file));
    for (int attempt = 0; attempt < 100 && m_tempPath.empty(); ++attempt) {
      std::string candidate = folder + "/" + TempPrefix(NameOf(m_path)) + std::to_string(getpid()) + "-" +
                              std::to_string(attempt);
      if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
        m_tempPath = candidate;
      else if (errno != EEXIST)
        break;
    }
    if (m_tempPath.empty()) err = errno ? errno : EEXIST;
  }
  int closed = fclose(m_file);
  m_file = nullptr;
  if (!err && closed != 0) err = errno;
  if (!err && rename(m_tempPath.c_str(), m_path.c_str()) != 0) err = errno;
  if (err) {
    error = ErrnoText(err);
    Discard();
    return 0;
  }
  // The new name must survive a power cut as well as the bytes.
  int dir = open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  m_tempPath.clear();
  m_committed = true;
  return 1;
}
