// Cross-checks against an independent S-record tool (srec_cat): what we
// write, it reads into the same bytes; what it writes, we read into the same
// bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "image/FileUtil.h"
#include "image/Programmer.h"

namespace {

bool HaveSrecCat() { return RunCommand("srec_cat -VERSion >/dev/null 2>&1") == 0; }

std::string Hex(unsigned v) {
  char t[16];
  std::snprintf(t, sizeof t, "0x%X", v);
  return t;
}

TEST(SrecCat, ReadsOurFilesIntoTheBytesWeWrote) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat not installed";
  ScratchDir dir;
  CProgrammer p;
  std::vector<uint8_t> data = Pattern(0x10000, 21);
  for (unsigned a = 0; a < 0x10000; ++a) p.SetImageByte(a, data[a]);

  struct Range {
    unsigned start, end;
  } ranges[] = {{0x0000, 0xFFFF}, {0x1234, 0x1234}, {0x8000, 0x8024}, {0x0FF1, 0xE00E}, {0xFFDC, 0xFFFF}};
  for (const Range& r : ranges) {
    // Text mode, as the window's save writes, and binary mode, as the converter does.
    for (const char* mode : {"w", "wb"}) {
      std::string ours = dir / "ours.s19", out = dir / "out.bin";
      FILE* f = std::fopen(ours.c_str(), mode);
      ASSERT_NE(nullptr, f);
      testing::internal::CaptureStdout();
      EXPECT_EQ(1, p.WriteSRecords(f, r.start, r.end));
      testing::internal::GetCapturedStdout();
      std::fclose(f);
      ASSERT_EQ(0, RunCommand("srec_cat " + Quote(ours) + " -crop " + Hex(r.start) + " " + Hex(r.end + 1) +
                              " -offset -" + Hex(r.start) + " -o " + Quote(out) + " -binary 2>" +
                              Quote(dir / "err")))
          << ReadFile(dir / "err");
      std::string bin = ReadFile(out);
      ASSERT_EQ(r.end - r.start + 1, bin.size()) << Hex(r.start);
      for (unsigned a = r.start; a <= r.end; ++a)
        ASSERT_EQ(data[a], static_cast<uint8_t>(bin[a - r.start])) << Hex(a);
    }
  }
}

TEST(SrecCat, ItsS1FilesLoadByteForByte) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat not installed";
  ScratchDir dir;
  std::vector<uint8_t> data = Pattern(3000, 33);
  WriteFile(dir / "data.bin", std::string(data.begin(), data.end()));
  const unsigned base = 0x7F00;
  struct Variant {
    int obs;
    std::string header;
  } variants[] = {
      {16, ""},  {32, "-header 'KESTON test'"}, {35, "-disable=header"}, {36, ""}, {128, "-disable=header"},
      {200, ""}, {252, "-header 'KESTON test'"}};
  for (const Variant& v : variants) {
    std::string s19 = dir / "theirs.s19";
    ASSERT_EQ(0, RunCommand("srec_cat " + Quote(dir / "data.bin") + " -binary -offset " + Hex(base) + " -o " +
                            Quote(s19) + " -motorola -address-length=2 -obs=" + std::to_string(v.obs) + " " +
                            v.header + " 2>/dev/null"));
    std::string text = ReadFile(s19);
    for (bool stream : {false, true}) {
      CProgrammer p;
      p.FillImage(0xEE);
      testing::internal::CaptureStdout();
      if (stream) {
        std::istringstream in(text);
        p.ReadSRecordStream(in);
      } else {
        FILE* f = std::fopen(s19.c_str(), "r");
        ASSERT_NE(nullptr, f);
        p.ReadSRecordFile(f);
        std::fclose(f);
      }
      testing::internal::GetCapturedStdout();
      SCOPED_TRACE("obs " + std::to_string(v.obs) + (stream ? " stream" : " file"));
      EXPECT_EQ(0, p.m_badRecords);
      EXPECT_EQ(base, p.m_lowest);
      EXPECT_EQ(base + data.size() - 1, p.m_highest);
      for (unsigned i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], p.GetImageByte(base + i)) << i;
      EXPECT_EQ(0xEE, p.GetImageByte(base - 1));
      EXPECT_EQ(0, p.m_written[base - 1]);
      EXPECT_EQ(1, p.m_written[base]);
    }
  }
}

}  // namespace
