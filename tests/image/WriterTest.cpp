// S-record, hex-dump and binary writers: exact text, record chunking, and
// failed writes reported.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>

#include "image/FileUtil.h"
#include "image/Programmer.h"

namespace {

// Writes through a real stdio file and returns the file's content.
std::string Written(const std::function<int(FILE*)>& writer, int* result = nullptr) {
  ScratchDir dir;
  FILE* f = std::fopen((dir / "out").c_str(), "wb");
  EXPECT_NE(nullptr, f);
  if (!f) return std::string();
  testing::internal::CaptureStdout();
  int r = writer(f);
  std::fflush(stdout);
  testing::internal::GetCapturedStdout();
  std::fclose(f);
  if (result) *result = r;
  return ReadFile(dir / "out");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(WriteSRecords, ExactRecordsHeaderAndTrailer) {
  CProgrammer p;
  p.SetImageByte(0, 0x12);
  p.SetImageByte(1, 0x34);
  int result = 0;
  EXPECT_EQ("S00500000000FA\nS10500001234B4\nS9030000FC",
            Written([&](FILE* f) { return p.WriteSRecords(f, 0, 1); }, &result));
  EXPECT_EQ(1, result);

  p.SetImageByte(0x1234, 0xAB);
  std::vector<std::string> one = Lines(Written([&](FILE* f) { return p.WriteSRecords(f, 0x1234, 0x11234); }));
  ASSERT_EQ(3u, one.size());
  EXPECT_EQ("S1041234AB", one[1].substr(0, 10));

  // End below start: header and trailer only.
  EXPECT_EQ("S00500000000FA\nS9030000FC", Written([&](FILE* f) { return p.WriteSRecords(f, 0x10, 0x0F); }));
}

TEST(WriteSRecords, ChunkingKeepsALastRecordOfUpTo36Bytes) {
  struct Case {
    unsigned start, end;
    std::vector<std::pair<std::string, size_t>> records;  // "count+address" prefix, data bytes
  } cases[] = {
      {0x8000, 0x801F, {{"238000", 32}}},
      {0x8000, 0x8023, {{"278000", 36}}},
      {0x8000, 0x8024, {{"238000", 32}, {"088020", 5}}},
      {0x8000, 0x8043, {{"238000", 32}, {"278020", 36}}},
      {0x8000, 0x8044, {{"238000", 32}, {"238020", 32}, {"088040", 5}}},
  };
  CProgrammer p;
  for (const Case& c : cases) {
    std::vector<std::string> lines =
        Lines(Written([&](FILE* f) { return p.WriteSRecords(f, c.start, c.end); }));
    ASSERT_EQ(c.records.size() + 2, lines.size()) << std::hex << c.end;
    for (size_t i = 0; i < c.records.size(); ++i) {
      EXPECT_EQ("S1" + c.records[i].first, lines[i + 1].substr(0, 8));
      EXPECT_EQ(10 + 2 * c.records[i].second, lines[i + 1].size());
    }
  }

  std::vector<std::string> all = Lines(Written([&](FILE* f) { return p.WriteSRecords(f, 0, 0xFFFF); }));
  ASSERT_EQ(2050u, all.size());
  EXPECT_EQ("S123FFE0", all[2048].substr(0, 8));
}

TEST(WriteSRecords, EveryByteOfTheRangeRoundTripsThroughTheReader) {
  CProgrammer p;
  std::vector<uint8_t> data = Pattern(0x10000, 11);
  for (unsigned a = 0; a < 0x10000; ++a) p.SetImageByte(a, data[a]);
  std::string text = Written([&](FILE* f) { return p.WriteSRecords(f, 0x0FF1, 0xF00E); });
  CProgrammer q;
  std::istringstream in(text);
  testing::internal::CaptureStdout();
  q.ReadSRecordStream(in);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(0, q.m_badRecords);
  EXPECT_EQ(0x0FF1u, q.m_lowest);
  EXPECT_EQ(0xF00Eu, q.m_highest);
  for (unsigned a = 0x0FF1; a <= 0xF00E; ++a) ASSERT_EQ(data[a], q.GetImageByte(a)) << a;
  EXPECT_EQ(0, q.m_written[0x0FF0]);
  EXPECT_EQ(0, q.m_written[0xF00F]);
}

TEST(WholeImageWriters, HexDumpAndBinary) {
  CProgrammer p;
  p.FillImage(0xFF);
  std::vector<std::string> lines = Lines(Written([&](FILE* f) { return p.WriteHexDump(f); }));
  ASSERT_EQ(2048u, lines.size());
  for (const std::string& l : lines) ASSERT_EQ(std::string(64, 'F'), l);

  p.SetImageByte(0x0000, 0x0A);
  p.SetImageByte(0xFFFF, 0xB0);
  std::string dump = Written([&](FILE* f) { return p.WriteHexDump(f); });
  EXPECT_EQ(2048u * 65, dump.size());
  EXPECT_EQ("0AFF", dump.substr(0, 4));
  EXPECT_EQ("FFB0\n", dump.substr(dump.size() - 5));

  std::string bin = Written([&](FILE* f) { return p.WriteBinaryImage(f); });
  ASSERT_EQ(65536u, bin.size());
  EXPECT_EQ('\x0A', bin[0]);
  EXPECT_EQ('\xB0', bin[65535]);
}

TEST(Writers, AFullDeviceIsReportedNotHidden) {
  FILE* f = std::fopen("/dev/full", "wb");
  if (!f) GTEST_SKIP() << "no /dev/full";
  CProgrammer p;
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, p.WriteSRecords(f, 0, 1));
  std::clearerr(f);
  EXPECT_EQ(0, p.WriteHexDump(f));
  std::clearerr(f);
  EXPECT_EQ(0, p.WriteBinaryImage(f));
  testing::internal::GetCapturedStdout();
  std::fclose(f);
}

}  // namespace
