// Helpers shared by the operations suites: scratch folders and S-record text.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace opstest {

// A private folder under the system's temporary folder, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "keston-ops-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data())) m_path = name.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(m_path, ec);
  }
  std::string Path(const std::string& name = "") const {
    return name.empty() ? m_path + "/" : m_path + "/" + name;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m_path)) names.push_back(e.path().filename());
    return names;
  }

 private:
  std::string m_path;
};

// One S1 line; `damage` spoils its checksum.
inline std::string S1(unsigned address, const std::vector<uint8_t>& data, bool damage = false) {
  unsigned count = static_cast<unsigned>(data.size()) + 3;
  unsigned sum = count + (address >> 8) + (address & 0xFF);
  char buf[8];
  std::string line = "S1";
  std::snprintf(buf, sizeof buf, "%02X%04X", count, address & 0xFFFF);
  line += buf;
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    line += buf;
    sum += b;
  }
  std::snprintf(buf, sizeof buf, "%02X", (0xFF - (sum & 0xFF) + (damage ? 1 : 0)) & 0xFF);
  return line + buf + "\n";
}

// An S-record file of `bytes` at `address`, in records of 32.
inline std::string SRecords(unsigned address, const std::vector<uint8_t>& bytes) {
  std::string text = "S00600000000F9\n";
  for (size_t i = 0; i < bytes.size(); i += 32) {
    std::vector<uint8_t> part(bytes.begin() + i, bytes.begin() + std::min(bytes.size(), i + 32));
    text += S1(address + static_cast<unsigned>(i), part);
  }
  return text + "S9030000FC\n";
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Deterministic bytes that are not all alike.
inline std::vector<uint8_t> Pattern(size_t count, unsigned seed) {
  std::vector<uint8_t> bytes(count);
  uint32_t x = seed * 2654435761u + 12345;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345;
    b = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

}  // namespace opstest
