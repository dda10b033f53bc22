#include "operations/SaveFile.h"

#include <fcntl.h>
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

}  // namespace

std::string SaveFailedText(const std::string& path, const std::string& error) {
  return "The file could not be saved completely:\n" + path + "\n" + error +
         "\nAny earlier file of that name is unchanged.";
}

std::unique_ptr<CSaveFile> CSaveFile::Create(const std::string& path, std::string& error) {
  std::unique_ptr<CSaveFile> save(new CSaveFile());
  save->m_path = path;
  // Replacing a symbolic link would cut it off from the file it names; write
  // beside that file instead.
  std::string target = path;
  struct stat ls {};
  if (lstat(path.c_str(), &ls) == 0 && S_ISLNK(ls.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) target = resolved;
  }
  save->m_path = target;

  std::string pattern = FolderOf(target) + "/." + NameOf(target) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    error = ErrnoText(errno);
    return nullptr;
  }
  save->m_tempPath = name.data();
  // mkstemp makes the file private; give the new file the permissions the old
  // one had, or what a plain create would have given.
  struct stat old {};
  mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
  fchmod(fd, mode);
  save->m_file = fdopen(fd, "w");
  if (!save->m_file) {
    error = ErrnoText(errno);
    close(fd);
    unlink(save->m_tempPath.c_str());
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
  int closed = fclose(m_file);
  m_file = nullptr;
  if (!err && closed != 0) err = errno;
  if (!err && rename(m_tempPath.c_str(), m_path.c_str()) != 0) err = errno;
  if (err) {
    error = ErrnoText(err);
    Discard();
    return 0;
  }
  m_tempPath.clear();
  m_committed = true;
  return 1;
}
