// Scratch files and child processes for the image and converter suites.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

// A private scratch folder, removed with everything in it.
class ScratchDir {
 public:
#ifdef _WIN32
  ScratchDir() {
    std::error_code ec;
    const auto base = std::filesystem::temp_directory_path(ec);
    for (unsigned i = 0; i < 1000 && m_path.empty(); ++i) {
      const auto candidate = base / ("keston-test-" + std::to_string(std::rand()) + "-" + std::to_string(i));
      if (std::filesystem::create_directory(candidate, ec)) m_path = candidate.string();
    }
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
#else
  ScratchDir() {
    char tmpl[] = "/tmp/keston-test-XXXXXX";
    const char* d = mkdtemp(tmpl);
    m_path = d ? d : "/tmp";
  }
  ~ScratchDir() {
    if (m_path != "/tmp") std::system(("rm -rf '" + m_path + "'").c_str());
  }
#endif
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

#ifdef _WIN32
inline std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// Runs a command line and returns its exit status.
inline int RunCommand(const std::string& command) { return std::system(command.c_str()); }
#else
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command line and returns its exit status (-1 if it did not exit).
inline int RunCommand(const std::string& command) {
  int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}
#endif

// A repeatable byte pattern that is not all the same value.
inline std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  unsigned x = seed * 2654435761u + 12345u;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

// One S1 record line (no line end) with a correct checksum.
inline std::string S1Line(unsigned address, const std::vector<uint8_t>& data) {
  char pair[3];
  std::string line = "S1";
  unsigned count = static_cast<unsigned>(data.size()) + 3;
  unsigned sum = count + (address >> 8) + (address & 0xFF);
  auto put = [&](unsigned v) {
    std::snprintf(pair, sizeof pair, "%02X", v & 0xFF);
    line += pair;
  };
  put(count);
  put(address >> 8);
  put(address);
  for (uint8_t b : data) {
    put(b);
    sum += b;
  }
  put(0xFF - (sum & 0xFF));
  return line;
}
