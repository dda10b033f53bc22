// keston-convert run as a process: names, extensions, exit status, the
// screen output and the files it makes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image/FileUtil.h"

namespace {

const std::string kUsage =
    "\n\nUsage:\n"
    "flash <input.bin or S19> <output. bin, hex, or s19 (opt) <filename\n"
    "  where input is a binary or Motorola hex file\n"
    "\t\t  output is a binary, Motorola hex, or plain hex file\n"
    "        > filename.txt will redirect the screen output to that file";

class Converter : public ::testing::Test {
 protected:
  // Runs the converter with the given arguments (already quoted) and stdin.
  int Convert(const std::string& args, const std::string& input = "") {
    WriteFile(dir / "stdin", input);
    return RunCommand(std::string("cd ") + Quote(dir.path()) + " && " + Quote(KESTON_CONVERT) + " " + args +
                      " <stdin >stdout 2>stderr");
  }
  std::string Out() { return ReadFile(dir / "stdout"); }
  std::string Err() { return ReadFile(dir / "stderr"); }

  ScratchDir dir;
  const std::string record = S1Line(0x8000, {0x12, 0x34, 0x56});
};

TEST_F(Converter, S19ToBinaryPlacesTheDataAndZeroesTheRest) {
  WriteFile(dir / "prog.s19", "S00600004844521B\n" + record + "\nS9030000FC\n");
  EXPECT_EQ(0, Convert("prog.s19 prog.bin"));
  EXPECT_EQ("\n;Start of S File\nS1" + record.substr(2) + "\n; End of S File", Out());
  EXPECT_EQ("", Err());
  std::string bin = ReadFile(dir / "prog.bin");
  ASSERT_EQ(65536u, bin.size());
  EXPECT_EQ(std::string("\x12\x34\x56", 3), bin.substr(0x8000, 3));
  EXPECT_EQ(std::string(0x8000, '\0'), bin.substr(0, 0x8000));
  EXPECT_EQ(std::string(0x8000 - 3, '\0'), bin.substr(0x8003));
}

TEST_F(Converter, ShortBinaryToHexDump) {
  WriteFile(dir / "image.boo", "\x01\xAB");
  EXPECT_EQ(0, Convert("image.boo image.hex"));
  std::string dump = ReadFile(dir / "image.hex");
  ASSERT_EQ(2048u * 65, dump.size());
  EXPECT_EQ("01AB" + std::string(60, '0') + "\n" + std::string(64, '0') + "\n", dump.substr(0, 130));
}

TEST_F(Converter, S19OutputIsAnSRecordFileWithoutMisleadingMessages) {
  WriteFile(dir / "in.s19", record + "\n");
  EXPECT_EQ(0, Convert("in.s19 out.s19"));
  EXPECT_EQ(std::string::npos, Out().find("not supported"));
  EXPECT_EQ(std::string::npos, Out().find("hex dump"));
  std::string s19 = ReadFile(dir / "out.s19");
  EXPECT_EQ(0u, s19.find("S00500000000FA\nS1230000"));
  EXPECT_EQ(std::string::npos, s19.find('\r'));
  // Reading our own output again gives the same binary.
  EXPECT_EQ(0, Convert("out.s19 again.bin"));
  EXPECT_EQ(std::string("\x12\x34\x56", 3), ReadFile(dir / "again.bin").substr(0x8000, 3));
}

TEST_F(Converter, RefusedInputsShowUsageAndExitOne) {
  WriteFile(dir / "prog.S19", record + "\n");
  WriteFile(dir / "noext", record + "\n");
  WriteFile(dir / "prog.txt", record + "\n");
  for (const char* name : {"prog.S19", "noext", "prog.txt"}) {
    EXPECT_EQ(1, Convert(std::string(name) + " out.bin")) << name;
    EXPECT_EQ(kUsage, Err()) << name;
    EXPECT_FALSE(FileExists(dir / "out.bin")) << name;
  }
  EXPECT_EQ(1, Convert("missing.s19 out.bin"));
  EXPECT_EQ("\nCannot open input input file missing.s19" + kUsage, Err());
  EXPECT_EQ(1, Convert("missing.bin out.bin"));
  EXPECT_EQ("\nCannot open input input file missing.bin" + kUsage, Err());
  EXPECT_FALSE(FileExists(dir / "out.bin"));

  // A folder opens but cannot be read: nothing is converted.
  mkdir((dir / "folder.s19").c_str(), 0700);
  EXPECT_EQ(1, Convert("folder.s19 out.bin"));
  EXPECT_NE(std::string::npos, Err().find("folder.s19"));
  EXPECT_FALSE(FileExists(dir / "out.bin"));
}

TEST_F(Converter, InputOnlyAndOutputWithoutExtensionTraceAndWriteNothing) {
  WriteFile(dir / "in.s19", record + "\n");
  EXPECT_EQ(0, Convert("in.s19"));
  EXPECT_EQ("\nS1" + record.substr(2), Out());
  EXPECT_EQ(0, Convert("in.s19 plain"));
  EXPECT_EQ("\nS1" + record.substr(2), Out());
  EXPECT_FALSE(FileExists(dir / "plain"));
  // Extra arguments are ignored.
  EXPECT_EQ(0, Convert("in.s19 out.bin extra"));
  EXPECT_TRUE(FileExists(dir / "out.bin"));
}

TEST_F(Converter, OutputProblemsAreReportedWithStatusOne) {
  WriteFile(dir / "in.s19", record + "\n");
  EXPECT_EQ(1, Convert("in.s19 out.HEX"));
  EXPECT_NE(std::string::npos, Err().find("out.HEX"));
  EXPECT_FALSE(FileExists(dir / "out.HEX"));

  EXPECT_EQ(1, Convert("in.s19 nowhere/out.bin"));
  EXPECT_NE(std::string::npos, Err().find("nowhere/out.bin"));

  if (access("/dev/full", W_OK) == 0) {
    for (const char* name : {"full.bin", "full.hex", "full.s19"}) {
      ASSERT_EQ(0, symlink("/dev/full", (dir / name).c_str()));
      EXPECT_EQ(1, Convert(std::string("in.s19 ") + name)) << name;
      EXPECT_NE(std::string::npos, Err().find(name)) << name;
    }
  }
}

TEST_F(Converter, PromptsLongNamesAndBadChecksums) {
  // Bad checksums are traced and the conversion still succeeds.
  std::string bad = record.substr(0, record.size() - 2) + "00";
  const std::string longName = std::string(150, 'n') + ".s19";
  WriteFile(dir / longName, bad + "\n");
  EXPECT_EQ(0, Convert(Quote(longName) + " " + std::string(120, 'o') + ".bin"));
  EXPECT_NE(std::string::npos, Out().find("\n;Checksum Error"));
  EXPECT_EQ(65536u, ReadFile(dir / (std::string(120, 'o') + ".bin")).size());

  // No arguments: both names are asked for, one word each.
  EXPECT_EQ(0, Convert("", "  " + longName + "\n   typed.bin extra words\n"));
  EXPECT_EQ(0u, Out().find("\nEnter Input FIle Name: \nEnter Output File Name: \nS1"));
  EXPECT_EQ(65536u, ReadFile(dir / "typed.bin").size());

  // Nothing typed at all: no input name, so the usage text.
  EXPECT_EQ(1, Convert("", ""));
  EXPECT_EQ(kUsage, Err());
}

}  // namespace
