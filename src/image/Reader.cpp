// S-record and binary readers.  While reading they can trace every record on
// standard output; the console converter shows that trace, every other
// program leaves it off.
#include <cstdio>
#include <cstring>

#include "image/Programmer.h"

namespace {

// The longest S-record there can be: "S1", count 0xFF, and 255 more pairs.
constexpr int kMaxRecordText = 514;
// Room for that record, a CR LF line end and the terminator.
constexpr int kLineSize = kMaxRecordText + 3;

int NibbleValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsLineEnd(char c) { return c == '\0' || c == '\r' || c == '\n'; }

// Length of the record's text: up to the line end, never beyond `limit`.
int TextLength(const char* line, int limit) {
  int n = 0;
  while (n < limit && !IsLineEnd(line[n])) ++n;
  return n;
}

const char kHexDigits[] = "0123456789ABCDEF";

bool g_recordTrace = false;

void EchoByte(unsigned value) {
  if (!g_recordTrace) return;
  std::putchar(kHexDigits[(value >> 4) & 0xF]);
  std::putchar(kHexDigits[value & 0xF]);
}

void Echo(const char* text) {
  if (g_recordTrace) std::fputs(text, stdout);
}

// One S-record line, handled alike by both readers.
void HandleRecordLine(CProgrammer& prog, char* line, bool overlong) {
  if (TextLength(line, kLineSize) > kMaxRecordText) overlong = true;
  char type = line[1];
  if (!overlong && type == '0') {
    Echo("\n;Start of S File");
  } else if (type == '1') {
    if (prog.ParseS1Record(line, kLineSize) != 0 && !overlong) {
      Echo("\n;Checksum Error");
      ++prog.m_badRecords;
    }
  } else if (!overlong && type == '9') {
    // An S9 record does not end the reading: records after it still load.
    Echo("\n; End of S File");
  }
  // A line longer than any record can be is damaged; it counts as one bad
  // record and reading goes on with the next line.
  if (overlong) {
    Echo("\n;Checksum Error");
    ++prog.m_badRecords;
  }
}

bool IsRecordLetter(char c) { return c == 'S' || c == 's'; }

}  // namespace

void SetRecordTrace(bool on) { g_recordTrace = on; }
bool RecordTrace() { return g_recordTrace; }

uint8_t CProgrammer::HexPairValue(const char* p) {
  int high = NibbleValue(p[0]);
  unsigned value = high < 0 ? 0 : static_cast<unsigned>(high) << 4;
  // A terminator in the first place ends the text: the second is not read.
  if (p[0] == '\0') return static_cast<uint8_t>(value);
  int low = NibbleValue(p[1]);
  if (low >= 0) value += static_cast<unsigned>(low);
  return static_cast<uint8_t>(value);
}

int CProgrammer::ReadTextLine(char* out, int size, FILE* file, bool* overlong) {
  if (overlong) *overlong = false;
  if (!out || size < 1 || !file) return -1;
  int c = std::getc(file);
  if (c == EOF) return -1;
  int n = 0;
  int column = 0;
  bool dropped = false;
  auto put = [&](char ch) {
    if (n < size - 1) {
      out[n++] = ch;
    } else if (ch != '\r' && ch != '\n') {
      dropped = true;
    }
  };
  for (;;) {
    if (c == '\t') {
      int blanks = 8 - column % 8;
      for (int i = 0; i < blanks; ++i) put(' ');
      column += blanks;
    } else {
      put(static_cast<char>(c));
      ++column;
    }
    if (c == '\n') break;
    c = std::getc(file);
    if (c == EOF) break;
  }
  out[n] = '\0';
  if (overlong) *overlong = dropped;
  return n;
}

int CProgrammer::ParseS1Record(const char* line, int limit) {
  const int textLen = TextLength(line, limit);
  int pos = 2;
  bool bad = false;
  // Only pairs that lie wholly inside the text are read.  A pair with a
  // character that is not a hex digit counts as 0 and spoils the record.
  auto readPair = [&](unsigned& value) {
    if (pos + 2 > textLen) {
      bad = true;
      return false;
    }
    int high = NibbleValue(line[pos]);
    int low = NibbleValue(line[pos + 1]);
    if (high < 0 || low < 0) {
      value = 0;
      bad = true;
    } else {
      value = static_cast<unsigned>(high * 16 + low);
    }
    EchoByte(value);
    pos += 2;
    return true;
  };

  Echo("\nS1");
  unsigned count = 0, high = 0, low = 0, checksum = 0;
  if (!readPair(count) || !readPair(high) || !readPair(low)) return 1;
  unsigned sum = count + high + low;
  unsigned address = high * 256 + low;
  for (int remaining = static_cast<int>(count) - 3; remaining > 0; --remaining) {
    unsigned value = 0;
    if (!readPair(value)) return 1;
    unsigned target = (address + m_loadOffset) & 0xFFFF;
    m_image[target] = static_cast<uint8_t>(value);
    m_written[target] = 1;
    NoteAddress(target);
    ++address;
    sum += value;
  }
  if (!readPair(checksum)) return 1;
  sum += checksum;
  return (bad || (sum & 0xFF) != 0xFF) ? 1 : 0;
}

int CProgrammer::ReadSRecordFile(FILE* file) {
  ClearWritten();
  m_badRecords = 0;
  char line[kLineSize];
  bool overlong = false;
  while (ReadTextLine(line, kLineSize, file, &overlong) >= 0) {
    // The first line that is not an S-record ends the file, blank lines too.
    if (!IsRecordLetter(line[0])) break;
    HandleRecordLine(*this, line, overlong);
  }
  return 1;
}

namespace {

// Skips white space (blank lines too) and reads one line without its line
// end; false when the stream held nothing more.
bool ReadStreamLine(std::istream& stream, char* out, int size, bool& overlong) {
  overlong = false;
  std::streambuf* buf = stream.rdbuf();
  if (!buf) return false;
  using Traits = std::istream::traits_type;
  int c = buf->sbumpc();
  while (c != Traits::eof() && (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')) {
    c = buf->sbumpc();
  }
  if (c == Traits::eof()) {
    stream.setstate(std::ios::eofbit);
    return false;
  }
  int n = 0;
  while (c != Traits::eof() && c != '\n') {
    if (n < size - 1) {
      out[n++] = static_cast<char>(c);
    } else if (c != '\r') {
      overlong = true;
    }
    c = buf->sbumpc();
  }
  out[n] = '\0';
  if (c == Traits::eof()) stream.setstate(std::ios::eofbit);
  return true;
}

}  // namespace

int CProgrammer::ReadSRecordStream(std::istream& stream) {
  ClearWritten();
  m_badRecords = 0;
  char line[kLineSize];
  bool overlong = false;
  while (ReadStreamLine(stream, line, kLineSize, overlong)) {
    // Lines that are not S-records are passed over here, not an end.
    if (IsRecordLetter(line[0])) HandleRecordLine(*this, line, overlong);
  }
  return 1;
}

int CProgrammer::ReadBinaryFile(FILE* file) {
  m_pCursor = m_image.data();
  if (!file) return 1;
  // Whatever the file's length, at most the 64 KB of the address space are
  // taken, from address 0 up; reading to the end also serves pipes.
  size_t n = std::fread(m_pCursor, 1, 0x10000, file);
  m_pCursor += n;
  return 1;
}
