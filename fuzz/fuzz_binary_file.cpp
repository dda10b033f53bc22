// Binary files of any length: at most 64 KB land at address 0 upwards.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/Programmer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CProgrammer* prog = new CProgrammer();
  prog->FillImage(0x5A);
  if (size == 0) return 0;
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  if (prog->ReadBinaryFile(file) != 1) std::abort();
  std::fclose(file);
  size_t n = size < 0x10000 ? size : 0x10000;
  for (size_t a = 0; a < n; ++a)
    if (prog->GetImageByte(static_cast<unsigned>(a)) != data[a]) std::abort();
  if (n < 0x10000 && prog->GetImageByte(static_cast<unsigned>(n)) != 0x5A) std::abort();
  if (prog->m_pCursor != prog->m_image.data() + n) std::abort();
  return 0;
}
