// CProgrammer: the in-memory picture of the target's 16-bit address space
// (bytes, a written flag per address, the loaded bounds and the load offset)
// with the readers that fill it from files and the writers that write it to
// files.  What moves it to and from the controller takes a CProgrammer as an
// argument (src/target, src/operations).
//
// An instance is about 320 KB, held on the heap inside the object, so a
// temporary CProgrammer on the stack is cheap.
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "image/HexText.h"

class CLoadOffsetDlg;

// The readers' trace of every record on standard output (";Start of S File",
// each S1 record as read, ";Checksum Error") and the writer's echo of the
// header: on for the console converter, which shows them; off, the default,
// everywhere else.
void SetRecordTrace(bool on);
bool RecordTrace();

class CProgrammer {
 public:
  // 64 KB plus three spare entries that no address reaches.
  static constexpr unsigned IMAGE_SIZE = 65539;

  CProgrammer();
  virtual ~CProgrammer();
  CProgrammer(const CProgrammer&) = delete;
  CProgrammer& operator=(const CProgrammer&) = delete;

  // ---- image (src/image/Image.cpp) ----
  void ResetBounds();
  void NoteAddress(uint32_t address);
  void FillImage(int value);
  void ClearWritten();
  int SetImageByte(unsigned address, uint8_t value);
  uint8_t GetImageByte(unsigned address) const;
  // Offset dialog and pre-fill before a file is read.
  void ApplyLoadSettings(bool ask);

  // ---- readers (src/image/Reader.cpp) ----
  static uint8_t HexPairValue(const char* p);
  // One line of a stdio file with tabs expanded; -1 at end of file.  The
  // rest of a line too long for `out` is consumed and *overlong is set.
  int ReadTextLine(char* out, int size, FILE* file, bool* overlong = nullptr);
  // 0 when the record's checksum holds, 1 when it fails.
  int ParseS1Record(const char* line, int limit);
  int ReadSRecordFile(FILE* file);
  int ReadSRecordStream(std::istream& stream);
  int ReadBinaryFile(FILE* file);

  // ---- writers (src/image/Writer.cpp); 1 = written, 0 = the stream failed ----
  int WriteSRecords(FILE* file, unsigned start, unsigned end);
  void WriteS1Record(FILE* file, uint16_t address, uint8_t count);
  void WriteS0Header(FILE* file);
  void WriteS9Trailer(FILE* file);
  int WriteHexDump(FILE* file);
  int WriteBinaryImage(FILE* file);

  // ---- fields ----
  std::unique_ptr<CLoadOffsetDlg> m_pLoadOffsetDlg;
  uint8_t* m_pCursor = nullptr;      // the binary reader's write position
  std::vector<int32_t> m_written;    // IMAGE_SIZE flags, 1 = stored by the S-record reader
  uint16_t m_loadOffset = 0;
  uint32_t m_highest = 0;
  uint32_t m_lowest = 0xFFFF;
  std::vector<uint8_t> m_image;      // IMAGE_SIZE bytes, index = target address
  // Records of the last S-record read whose checksum failed; callers that
  // program a controller refuse to do so silently when it is not 0.
  int m_badRecords = 0;
};
