// S-record, binary and hex-dump writers.  Each writes the bytes of m_image as
// they are, loaded or not, and reports through the stream's error state
// whether everything reached the file.
#include <cstdio>
#include <string>

#include "image/Programmer.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void AppendByte(std::string& out, unsigned value) {
  out.push_back(kHexDigits[(value >> 4) & 0xF]);
  out.push_back(kHexDigits[value & 0xF]);
}

// Buffered output is only known to have reached the file after a flush.
int StreamOk(FILE* file) { return (std::fflush(file) == 0 && !std::ferror(file)) ? 1 : 0; }

void Put(FILE* file, const std::string& text) { std::fwrite(text.data(), 1, text.size(), file); }

}  // namespace

void CProgrammer::WriteS0Header(FILE* file) {
  // Count 05: two address bytes, two data bytes and the checksum, the form
  // other S-record tools accept.
  std::fputs("S00500000000FA", file);
  // The console converter echoes the header's data; nothing else does.
  if (RecordTrace()) std::fputs("00000000", stdout);
}

void CProgrammer::WriteS9Trailer(FILE* file) { std::fputs("\nS9030000FC", file); }

void CProgrammer::WriteS1Record(FILE* file, uint16_t address, uint8_t count) {
  std::string line;
  line.reserve(8 + 2 * count + 2);
  line += "\nS1";
  AppendByte(line, count);
  unsigned sum = count + (address >> 8) + (address & 0xFF);
  AppendByte(line, address >> 8);
  AppendByte(line, address & 0xFF);
  unsigned a = address;
  for (int i = 0; i < static_cast<int>(count) - 3; ++i) {
    unsigned value = m_image[a & 0xFFFF];
    AppendByte(line, value);
    sum += value;
    a = (a + 1) & 0xFFFF;
  }
  AppendByte(line, 0xFF - (sum & 0xFF));
  Put(file, line);
}

int CProgrammer::WriteSRecords(FILE* file, unsigned start, unsigned end) {
  if (!file) return 0;
  WriteS0Header(file);
  unsigned a = start & 0xFFFF;
  unsigned e = end & 0xFFFF;
  // Records of 32 bytes; a final 33 to 36 bytes go out as one record rather
  // than 32 plus a short one.
  while (a <= e) {
    if (e - a > 35) {
      WriteS1Record(file, static_cast<uint16_t>(a), 0x23);
      a += 32;
    } else {
      WriteS1Record(file, static_cast<uint16_t>(a), static_cast<uint8_t>(e - a + 4));
      break;
    }
  }
  WriteS9Trailer(file);
  return StreamOk(file);
}

int CProgrammer::WriteHexDump(FILE* file) {
  if (!file) return 0;
  std::string text;
  text.reserve(0x10000 * 2 + 0x10000 / 32);
  for (unsigned a = 0; a < 0x10000; ++a) {
    AppendByte(text, m_image[a]);
    if (a % 32 == 31) text.push_back('\n');
  }
  Put(file, text);
  return StreamOk(file);
}

int CProgrammer::WriteBinaryImage(FILE* file) {
  if (!file) return 0;
  std::fwrite(m_image.data(), 1, 0x10000, file);
  return StreamOk(file);
}
