// Shared by the 68HC11 suites: the assembled test programs (S-records from
// the build) and a machine that runs them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "sim/hc11/Machine.h"

struct Hc11Program {
  std::vector<uint8_t> image = std::vector<uint8_t>(0x10000, 0xFF);
  unsigned low = 0x10000, high = 0;  // bytes the records cover: [low, high)
  bool ok = false;
  std::vector<uint8_t> Bytes() const {
    return low < high ? std::vector<uint8_t>(image.begin() + low, image.begin() + high)
                      : std::vector<uint8_t>();
  }
};

// Reads S1 records (with their checksums) of asm/<name>.s19.
inline Hc11Program LoadProgram(const std::string& name) {
  Hc11Program p;
  std::ifstream in(std::string(HC11_ASM_DIR) + "/" + name + ".s19");
  if (!in) return p;
  auto hex = [](const std::string& s, size_t at) {
    return static_cast<unsigned>(std::stoul(s.substr(at, 2), nullptr, 16));
  };
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 4 || line[0] != 'S') return p;
    if (line[1] != '1') continue;
    unsigned count = hex(line, 2), sum = count;
    if (line.size() != 4 + 2 * count) return p;
    std::vector<unsigned> bytes;
    for (unsigned i = 0; i < count; ++i) {
      bytes.push_back(hex(line, 4 + 2 * i));
      if (i + 1 < count) sum += bytes.back();
    }
    if (((~sum) & 0xFF) != bytes.back()) return p;
    unsigned address = (bytes[0] << 8) | bytes[1];
    for (unsigned i = 2; i + 1 < count; ++i, ++address) {
      p.image[address & 0xFFFF] = static_cast<uint8_t>(bytes[i]);
      p.low = std::min(p.low, address);
      p.high = std::max(p.high, address + 1);
    }
  }
  p.ok = p.low < p.high;
  return p;
}

// Result cells every self-checking program uses (asm/check.inc).
constexpr uint16_t kResult = 0x0000, kFailId = 0x0001, kDoneValue = 0x5A, kFailValue = 0xFA;

// Runs an expanded-mode program from the flash image until it settles in
// its final loop (or `cycles` pass).
inline void RunRomProgram(hc11::Machine& m, const Hc11Program& p, uint64_t cycles = 20'000'000) {
  std::copy(p.image.begin(), p.image.end(), m.Chip().Array().begin());
  m.Ram().fill(0);
  m.Reset(hc11::McuMode::Expanded);
  m.Run(m.Now() + cycles);
}
