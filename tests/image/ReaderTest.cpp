// S-record and binary readers, the typed-hex rule and the reader trace.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>

#include "image/FileUtil.h"
#include "image/Programmer.h"

namespace {

const char kSample[] = "S1130000285F245F2212226A000424290008237C2A";
const uint8_t kSampleBytes[] = {0x28, 0x5F, 0x24, 0x5F, 0x22, 0x12, 0x22, 0x6A,
                                0x00, 0x04, 0x24, 0x29, 0x00, 0x08, 0x23, 0x7C};

TEST(ParseHexText, LeadingDigitsOnlyModuloTwoToThe32) {
  struct {
    const char* text;
    int value;
  } cases[] = {{"", 0},
               {"xyz", 0},
               {"1F", 31},
               {"1f", 31},
               {"0x1000", 0},
               {" 10", 0},
               {"10 20", 16},
               {"FFFF", 65535},
               {"12345", 74565},
               {"-5", 0},
               {"123456789", 0x23456789},
               {"fFfFfFfF", -1}};
  for (const auto& c : cases) EXPECT_EQ(c.value, ParseHexText(c.text)) << '"' << c.text << '"';
  EXPECT_EQ(0, ParseHexText(static_cast<const char*>(nullptr)));
}

TEST(HexPair, NibblesAndTheLoneDigitBeforeTheLineEnd) {
  EXPECT_EQ(0xAB, CProgrammer::HexPairValue("ab"));
  EXPECT_EQ(0xF0, CProgrammer::HexPairValue("F\n"));
  EXPECT_EQ(0x00, CProgrammer::HexPairValue(""));
}

// A line in a buffer of exactly its size, so a read past its end is caught.
int Parse(CProgrammer& p, const std::string& text) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  return p.ParseS1Record(buf.data(), 1024);
}

TEST(ParseS1, StoresFlagsAndBoundsThenTestsTheChecksum) {
  CProgrammer p;
  EXPECT_EQ(0, Parse(p, kSample));
  for (unsigned a = 0; a < 16; ++a) EXPECT_EQ(kSampleBytes[a], p.GetImageByte(a));
  int flagged = 0;
  for (int32_t f : p.m_written) flagged += f;
  EXPECT_EQ(16, flagged);
  EXPECT_EQ(1, p.m_written[15]);
  EXPECT_EQ(0u, p.m_lowest);
  EXPECT_EQ(15u, p.m_highest);

  // A bad checksum still leaves the bytes stored.
  CProgrammer q;
  EXPECT_EQ(1, Parse(q, std::string(kSample, 40) + "2B"));
  EXPECT_EQ(0x7C, q.GetImageByte(15));

  // Lowercase letter and digits read like uppercase ones.
  CProgrammer r;
  std::string lower = kSample;
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(0, Parse(r, lower));
  EXPECT_EQ(0x7C, r.GetImageByte(15));

  // Count 3: no data, the checksum covers count and address.
  CProgrammer s;
  EXPECT_EQ(0, Parse(s, "S1031234B6"));
  EXPECT_EQ(0xFFFFu, s.m_lowest);
}

TEST(ParseS1, CountsAbove127AreUnsigned) {
  CProgrammer p;
  std::vector<uint8_t> data = Pattern(252, 1);
  EXPECT_EQ(0, Parse(p, S1Line(0x8000, data)));
  EXPECT_EQ(0x8000u, p.m_lowest);
  EXPECT_EQ(0x80FBu, p.m_highest);
  for (unsigned i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], p.GetImageByte(0x8000 + i)) << i;
}

TEST(ParseS1, NeverReadsPastTheTextAndDamageAlwaysFails) {
  // Shorter than its count claims: only the pairs present are stored.
  CProgrammer p;
  p.FillImage(0xEE);
  EXPECT_EQ(1, Parse(p, "S113000028\r\n"));
  EXPECT_EQ(0x28, p.GetImageByte(0));
  EXPECT_EQ(0xEE, p.GetImageByte(1));
  EXPECT_EQ(0, p.m_written[1]);
  EXPECT_EQ(1, Parse(p, "S1"));
  EXPECT_EQ(1, Parse(p, "S113"));
  EXPECT_EQ(1, Parse(p, "S10400012"));  // half a pair where the data should be

  // A non-hex pair reads as 0 and fails even when the sum happens to hold
  // for that 0: 04+00+10+00 = 0x14, checksum 0xEB.
  CProgrammer q;
  q.FillImage(0xEE);
  EXPECT_EQ(0, Parse(q, "S104001000EB"));
  EXPECT_EQ(1, Parse(q, "S1040010G0EB"));
  EXPECT_EQ(1, Parse(q, "S1040010 0EB"));
  EXPECT_EQ(0x00, q.GetImageByte(0x10));
}

std::string Trace(const std::function<void()>& body) {
  testing::internal::CaptureStdout();
  body();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// Reads `text` with the stdio reader (through a real file) or the stream reader.
void ReadWith(bool stream, CProgrammer& p, const std::string& text) {
  if (stream) {
    std::istringstream in(text);
    EXPECT_EQ(1, p.ReadSRecordStream(in));
  } else {
    ScratchDir dir;
    WriteFile(dir / "f.s19", text);
    FILE* f = std::fopen((dir / "f.s19").c_str(), "r");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(1, p.ReadSRecordFile(f));
    std::fclose(f);
  }
}

TEST(Readers, TraceOfAFileOnlyWhenAskedFor) {
  {
    // Off by default: a program's standard output is its own.
    CProgrammer p;
    std::string out = Trace([&] { ReadWith(false, p, std::string("S00600004844521B\n") + kSample + "\n"); });
    EXPECT_EQ("", out);
  }
  SetRecordTrace(true);
  for (bool stream : {false, true}) {
    CProgrammer p;
    std::string bad = std::string(kSample, 40) + "00";
    std::string out = Trace([&] {
      ReadWith(stream, p, std::string("S00600004844521B\n") + kSample + "\n" + bad + "\nS9030000FC\n");
    });
    EXPECT_EQ(std::string("\n;Start of S File\nS1") + (kSample + 2) + "\nS1" + (bad.c_str() + 2) +
                  "\n;Checksum Error\n; End of S File",
              out)
        << (stream ? "stream" : "file");
    EXPECT_EQ(1, p.m_badRecords);
  }
  SetRecordTrace(false);
}

TEST(Readers, WhereTheTwoReadersDiffer) {
  const std::string a = S1Line(0x1000, {0xA1});
  const std::string b = S1Line(0x2000, {0xB2});
  struct Case {
    const char* name;
    std::string text;
    bool fileLoadsB, streamLoadsB;
    bool fileLoadsA = true, streamLoadsA = true;
  } cases[] = {
      {"blank line", a + "\n\n" + b + "\n", false, true},
      {"line of blanks", a + "\n   \n" + b + "\n", false, true},
      {"S9 in the middle", a + "\nS9030000FC\n" + b + "\n", true, true},
      {"CR LF ends", a + "\r\n" + b + "\r\n", true, true},
      {"no final line end", a + "\n" + b, true, true},
      {"foreign line", a + "\n:00000001FF\n" + b + "\n", false, true},
      {"leading tab", a + "\n\t" + b + "\n", false, true},
      {"S2 and S3 passed over", a + "\nS2080100000102F3\nS30900000100AABBCC00\n" + b + "\n", true, true},
      {"lowercase s1", a + "\n" + "s1" + b.substr(2) + "\n", true, true},
  };
  for (const Case& c : cases) {
    for (bool stream : {false, true}) {
      CProgrammer p;
      Trace([&] { ReadWith(stream, p, c.text); });
      EXPECT_EQ(stream ? c.streamLoadsA : c.fileLoadsA, p.m_written[0x1000] == 1) << c.name << stream;
      EXPECT_EQ(stream ? c.streamLoadsB : c.fileLoadsB, p.m_written[0x2000] == 1) << c.name << stream;
      EXPECT_EQ(0, p.m_badRecords) << c.name << stream;
      EXPECT_EQ(0, p.m_written[0x0100]) << c.name << stream;  // S2/S3 data never arrive
    }
  }
}

TEST(Readers, LongRecordsLoadAndOverlongLinesAreOneBadRecord) {
  const std::vector<uint8_t> big = Pattern(252, 7);
  const std::string longest = S1Line(0x4000, big);
  ASSERT_EQ(514u, longest.size());
  const std::string after = S1Line(0x9000, {0x99});
  const std::string overlong = S1Line(0x6000, Pattern(20, 3)) + std::string(600, ' ');
  const std::string text = S1Line(0x3000, Pattern(40, 5)) + "\n" + longest + "\r\n" + overlong + "\n" +
                           std::string(700, 'X') + "\n" + after + "\n";
  for (bool stream : {false, true}) {
    CProgrammer p;
    Trace([&] { ReadWith(stream, p, text); });
    for (unsigned i = 0; i < big.size(); ++i) ASSERT_EQ(big[i], p.GetImageByte(0x4000 + i)) << stream;
    EXPECT_EQ(1, p.m_written[0x3027]) << stream;  // 40 bytes: beyond the old 35-byte limit
    if (stream) {
      // The foreign line is passed over and the last record still loads.
      EXPECT_EQ(1, p.m_written[0x9000]);
    } else {
      // The stdio reader stops at the foreign line, as it does at any.
      EXPECT_EQ(0, p.m_written[0x9000]);
    }
    EXPECT_EQ(1, p.m_badRecords) << stream;
  }

  // Bad-record counts start afresh with every read.
  CProgrammer p;
  Trace([&] { ReadWith(true, p, overlong + "\n" + std::string(kSample, 40) + "00\n"); });
  EXPECT_EQ(2, p.m_badRecords);
  Trace([&] { ReadWith(false, p, std::string(kSample) + "\n"); });
  EXPECT_EQ(0, p.m_badRecords);
}

TEST(Readers, FlagsDescribeTheLastReadOnlyButBoundsAccumulate) {
  CProgrammer p;
  Trace([&] { ReadWith(false, p, S1Line(0x100, {1}) + "\n"); });
  Trace([&] { ReadWith(true, p, S1Line(0x200, {2}) + "\n"); });
  EXPECT_EQ(0, p.m_written[0x100]);
  EXPECT_EQ(1, p.m_written[0x200]);
  EXPECT_EQ(1, p.GetImageByte(0x100));
  EXPECT_EQ(0x100u, p.m_lowest);
  EXPECT_EQ(0x200u, p.m_highest);
}

TEST(ReadTextLine, ExpandsTabsKeepsTheLineEndAndSignalsOverlong) {
  ScratchDir dir;
  WriteFile(dir / "t", "\tA\nabc\tX\n" + std::string(20, 'Z') + "\nlast");
  FILE* f = std::fopen((dir / "t").c_str(), "r");
  ASSERT_NE(nullptr, f);
  CProgrammer p;
  char buf[16];
  bool overlong = true;
  EXPECT_EQ(10, p.ReadTextLine(buf, sizeof buf, f, &overlong));
  EXPECT_STREQ("        A\n", buf);
  EXPECT_FALSE(overlong);
  EXPECT_EQ(10, p.ReadTextLine(buf, sizeof buf, f, &overlong));
  EXPECT_STREQ("abc     X\n", buf);
  EXPECT_EQ(15, p.ReadTextLine(buf, sizeof buf, f, &overlong));
  EXPECT_TRUE(overlong);
  EXPECT_EQ(4, p.ReadTextLine(buf, sizeof buf, f, &overlong));  // the rest of the long line is gone
  EXPECT_STREQ("last", buf);
  EXPECT_EQ(-1, p.ReadTextLine(buf, sizeof buf, f, &overlong));
  std::fclose(f);
}

TEST(ReadBinary, FirstSixtyFourKilobytesFromZeroWithoutFlagsOrOffset) {
  ScratchDir dir;
  std::vector<uint8_t> small = Pattern(100, 2), large = Pattern(70000, 3);
  WriteFile(dir / "small.bin", std::string(small.begin(), small.end()));
  WriteFile(dir / "large.bin", std::string(large.begin(), large.end()));

  CProgrammer p;
  p.FillImage(0xEE);
  p.m_loadOffset = 0x1000;
  FILE* f = std::fopen((dir / "small.bin").c_str(), "rb");
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(1, p.ReadBinaryFile(f));
  std::fclose(f);
  for (unsigned a = 0; a < 100; ++a) ASSERT_EQ(small[a], p.GetImageByte(a));
  EXPECT_EQ(0xEE, p.GetImageByte(100));
  EXPECT_EQ(0xEE, p.GetImageByte(0x1000));
  EXPECT_EQ(0, p.m_written[0]);
  EXPECT_EQ(0xFFFFu, p.m_lowest);

  f = std::fopen((dir / "large.bin").c_str(), "rb");
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(1, p.ReadBinaryFile(f));
  std::fclose(f);
  for (unsigned a = 0; a < 0x10000; ++a) ASSERT_EQ(large[a], p.GetImageByte(a));
  EXPECT_EQ(0xEE, p.m_image[0x10000]);  // the spare entries stay out of reach
}

}  // namespace
