// The decoder against the GNU m68hc11 disassembler: the same length and
// mnemonic for every instruction form the assembler's own example emits,
// and for every byte on every opcode page (illegal ones included).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "Harness.h"
#include "sim/hc11/Opcodes.h"

namespace {

struct Line {
  unsigned address;
  std::vector<uint8_t> bytes;
  std::string mnemonic;
};

// Runs objdump and collects its instruction lines ("  1a:\t8b ba    \tadda\t#0xba"),
// joining continuation lines that carry only bytes.
std::vector<Line> Objdump(const std::string& arguments) {
  std::vector<Line> lines;
  std::string command = std::string(M68HC11_OBJDUMP) + " " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return lines;
  char text[512];
  while (std::fgets(text, sizeof text, pipe)) {
    std::string s(text);
    auto colon = s.find(":\t");
    if (colon == std::string::npos) continue;
    std::string addressText = s.substr(0, colon);
    if (addressText.find_first_not_of(" 0123456789abcdef") != std::string::npos) continue;
    std::string rest = s.substr(colon + 2);
    auto tab = rest.find('\t');
    std::string hex = rest.substr(0, tab);
    std::string instruction = tab == std::string::npos ? "" : rest.substr(tab + 1);
    Line line{static_cast<unsigned>(std::stoul(addressText, nullptr, 16)), {}, ""};
    std::istringstream bytes(hex);
    for (std::string b; bytes >> b;) line.bytes.push_back(static_cast<uint8_t>(std::stoul(b, nullptr, 16)));
    std::istringstream words(instruction);
    words >> line.mnemonic;
    if (line.mnemonic.empty() && !lines.empty()) {
      lines.back().bytes.insert(lines.back().bytes.end(), line.bytes.begin(), line.bytes.end());
      continue;
    }
    lines.push_back(line);
  }
  pclose(pipe);
  return lines;
}

std::string Mnemonic(const std::string& text) { return text.substr(0, text.find(' ')); }

// Binutils calls the factory-test opcode by another processor's name.
bool SameMnemonic(const std::string& ours, const std::string& theirs) {
  return ours == theirs || (ours == "test" && theirs == "bgnd");
}

}  // namespace

TEST(Decode, EveryFormOfTheAssemblersExample) {
  auto lines = Objdump("-d " + std::string(HC11_ASM_DIR) + "/example.o");
  ASSERT_GT(lines.size(), 300u);
  std::set<std::string> mnemonics;
  for (const Line& line : lines) {
    std::vector<uint8_t> bytes = line.bytes;
    bytes.resize(8, 0x01);
    std::string text;
    int length = hc11::Disassemble(bytes.data(), static_cast<uint16_t>(line.address), text);
    EXPECT_EQ(length, static_cast<int>(line.bytes.size()))
        << line.mnemonic << " at " << std::hex << line.address;
    EXPECT_TRUE(SameMnemonic(Mnemonic(text), line.mnemonic)) << text << " / " << line.mnemonic;
    mnemonics.insert(line.mnemonic);
  }
  EXPECT_GT(mnemonics.size(), 120u);
}

TEST(Decode, EveryByteOnEveryPage) {
  // Each candidate in an 8-byte slot, padded with NOPs so the disassembler
  // is back in step at the next slot whatever length it decoded.
  constexpr unsigned kSlot = 8;
  std::vector<uint8_t> image;
  std::vector<std::vector<uint8_t>> candidates;
  const uint8_t prebytes[4] = {0, 0x18, 0x1A, 0xCD};
  for (int page = 0; page < 4; ++page) {
    for (unsigned op = 0; op < 256; ++op) {
      std::vector<uint8_t> c;
      if (page) c.push_back(prebytes[page]);
      c.push_back(static_cast<uint8_t>(op));
      c.insert(c.end(), {0x01, 0x01, 0x01});
      c.resize(kSlot, 0x01);
      candidates.push_back(c);
      image.insert(image.end(), c.begin(), c.end());
    }
  }
  std::string path =
      std::filesystem::temp_directory_path() / ("hc11-decode-" + std::to_string(getpid()) + ".bin");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  auto lines = Objdump("-b binary -m m68hc11 -D " + path);
  std::filesystem::remove(path);
  std::map<unsigned, const Line*> at;
  for (const Line& line : lines) at[line.address] = &line;
  for (size_t i = 0; i < candidates.size(); ++i) {
    unsigned address = static_cast<unsigned>(i * kSlot);
    ASSERT_TRUE(at.count(address)) << address;
    const Line& theirs = *at[address];
    std::string text;
    int length = hc11::Disassemble(candidates[i].data(), static_cast<uint16_t>(address), text);
    EXPECT_EQ(length, static_cast<int>(theirs.bytes.size()))
        << "page " << i / 256 << " opcode " << std::hex << i % 256 << ": " << text << " / "
        << theirs.mnemonic;
    EXPECT_TRUE(SameMnemonic(Mnemonic(text), theirs.mnemonic))
        << "page " << i / 256 << " opcode " << std::hex << i % 256 << ": " << text << " / "
        << theirs.mnemonic;
  }
}
