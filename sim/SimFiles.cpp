#include "sim/SimFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "image/Programmer.h"

namespace {

// The image readers and writers narrate their work on standard output, which
// keston-sim keeps for the device path and its own answers.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    m_saved = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (m_saved >= 0 && null >= 0) dup2(null, STDOUT_FILENO);
    if (null >= 0) close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (m_saved >= 0) {
      dup2(m_saved, STDOUT_FILENO);
      close(m_saved);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int m_saved = -1;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Errno() { return std::strerror(errno); }

// The file reader stops at the first line that is not a record; records
// after such a line would be dropped without a word, so they are looked for
// first.
bool RecordsAfterAStop(const std::string& path, int& stopLine) {
  std::ifstream in(path);
  std::string text;
  int number = 0;
  stopLine = 0;
  while (std::getline(in, text)) {
    ++number;
    bool record = !text.empty() && (text[0] == 'S' || text[0] == 's');
    if (!stopLine) {
      if (!record) stopLine = number;
      continue;
    }
    auto first = text.find_first_not_of(" \t\r\v\f");
    if (first != std::string::npos && (text[first] == 'S' || text[first] == 's')) return true;
  }
  return false;
}

}  // namespace

bool IsSRecordName(const std::string& path) {
  std::string lower = Lower(path);
  return EndsWith(lower, ".s19") || EndsWith(lower, ".srec");
}

bool LoadFlashFile(const std::string& path, std::vector<uint8_t>& flash, std::string& message) {
  FILE* file = std::fopen(path.c_str(), IsSRecordName(path) ? "r" : "rb");
  if (!file) {
    message = "cannot open " + path + ": " + Errno();
    return false;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> closer(file, std::fclose);
  auto programmer = std::make_unique<CProgrammer>();
  programmer->ClearWritten();

  if (IsSRecordName(path)) {
    int stop = 0;
    if (RecordsAfterAStop(path, stop)) {
      message = path + ": line " + std::to_string(stop) +
                " is not an S-record, and the records after it would be lost; nothing loaded";
      return false;
    }
    {
      QuietStdout quiet;
      programmer->ReadSRecordFile(file);
    }
    if (programmer->m_badRecords > 0) {
      message = path + ": " + std::to_string(programmer->m_badRecords) +
                " record(s) fail their checksum; nothing loaded";
      return false;
    }
    size_t stored = 0;
    for (unsigned a = 0; a < 0x10000; ++a) stored += programmer->m_written[a] ? 1 : 0;
    if (stored == 0) {
      message = path + ": no S1 data records; nothing loaded";
      return false;
    }
    for (unsigned a = 0; a < 0x10000; ++a)
      if (programmer->m_written[a]) flash[a] = programmer->m_image[a];
    message = "loaded " + std::to_string(stored) + " bytes from " + path;
    return true;
  }

  struct stat st;
  if (fstat(fileno(file), &st) != 0) {
    message = "cannot read " + path + ": " + Errno();
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    message = path + " is not a regular file; nothing loaded";
    return false;
  }
  if (st.st_size == 0 || st.st_size > 0x10000) {
    message = path + (st.st_size == 0 ? " is empty" : " is larger than the 64 KB address space") +
              "; nothing loaded";
    return false;
  }
  {
    QuietStdout quiet;
    programmer->ReadBinaryFile(file);
  }
  if (std::ferror(file)) {
    message = "cannot read " + path;
    return false;
  }
  size_t n = static_cast<size_t>(st.st_size);
  std::copy_n(programmer->m_image.begin(), n, flash.begin());
  message = "loaded " + std::to_string(n) + " bytes from " + path + " at address 0";
  return true;
}

bool SaveFlashFile(const std::string& path, const std::vector<uint8_t>& flash, std::string& message) {
  std::string temp = path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    message = "cannot create " + path + ": " + Errno();
    return false;
  }
  // mkstemp makes the file private; a saved image gets the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    message = "cannot write " + path + ": " + Errno();
    close(fd);
    unlink(name.data());
    return false;
  }
  auto programmer = std::make_unique<CProgrammer>();
  std::copy(flash.begin(), flash.begin() + 0x10000, programmer->m_image.begin());
  int written;
  {
    QuietStdout quiet;
    written =
        IsSRecordName(path) ? programmer->WriteSRecords(file, 0, 0xFFFF) : programmer->WriteBinaryImage(file);
  }
  bool ok = written == 1 && std::fflush(file) == 0 && !std::ferror(file) && fsync(fileno(file)) == 0;
  int saveErrno = errno;
  if (std::fclose(file) != 0) ok = false;
  if (!ok || std::rename(name.data(), path.c_str()) != 0) {
    if (ok) saveErrno = errno;
    unlink(name.data());
    message = "cannot write " + path + ": " + std::strerror(saveErrno) + "; nothing saved";
    return false;
  }
  message = "saved the flash to " + path;
  return true;
}
