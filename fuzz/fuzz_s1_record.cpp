// One S1 line of any content: the parser stays inside the text, and a record
// it accepts must hold exactly the bytes its pairs spell.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/Programmer.h"

namespace {
int Nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CProgrammer* prog = new CProgrammer();
  if (size < 1) return 0;
  // First byte: the load offset's low byte, so wrapping is exercised too.
  uint16_t offset = static_cast<uint16_t>(data[0] * 0x101);
  std::vector<char> line(size + 2, '\0');
  line[0] = 'S';
  line[1] = '1';
  std::memcpy(line.data() + 2, data + 1, size - 1);
  // Exact-size buffer: anything read past the text lands outside it.
  std::vector<char> exact(line.begin(), line.begin() + static_cast<long>(std::strlen(line.data()) + 1));

  prog->ResetBounds();
  prog->m_loadOffset = offset;
  prog->FillImage(0xEE);
  int result = prog->ParseS1Record(exact.data(), static_cast<int>(exact.size()));
  if (result != 0 && result != 1) std::abort();
  if (prog->m_lowest > 0xFFFF || prog->m_highest > 0xFFFF) std::abort();
  if (result == 0) {
    const char* p = exact.data() + 2;
    int count = Nibble(p[0]) * 16 + Nibble(p[1]);
    unsigned address =
        static_cast<unsigned>((Nibble(p[2]) * 16 + Nibble(p[3])) * 256 + Nibble(p[4]) * 16 + Nibble(p[5]));
    for (int i = 0; i < count - 3; ++i) {
      const char* q = p + 6 + 2 * i;
      int value = Nibble(q[0]) * 16 + Nibble(q[1]);
      if (value < 0 || prog->GetImageByte(address + offset + static_cast<unsigned>(i)) != value) std::abort();
    }
  }
  return 0;
}
