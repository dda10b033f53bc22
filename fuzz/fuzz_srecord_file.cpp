// Whole files through the stdio S-record reader.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/Programmer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CProgrammer* prog = new CProgrammer();
  if (size == 0) return 0;
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (!file) return 0;
  prog->ResetBounds();
  if (prog->ReadSRecordFile(file) != 1) std::abort();
  std::fclose(file);
  if (prog->m_badRecords < 0 || prog->m_lowest > 0xFFFF || prog->m_highest > 0xFFFF) std::abort();
  return 0;
}
