// Whole files through the stream S-record reader.  Both readers must agree on
// every record that each of them reads.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "image/Programmer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CProgrammer* prog = new CProgrammer();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  prog->ResetBounds();
  if (prog->ReadSRecordStream(in) != 1) std::abort();
  if (prog->m_badRecords < 0 || prog->m_lowest > 0xFFFF || prog->m_highest > 0xFFFF) std::abort();
  // A second read of the same stream finds nothing more.
  int bad = prog->m_badRecords;
  if (prog->ReadSRecordStream(in) != 1 || prog->m_badRecords != 0 || bad < 0) std::abort();
  return 0;
}
