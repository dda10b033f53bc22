// The INI settings file the console programs use without Qt: the spelling
// QSettings gives keys and values (so a file made by either reads in the
// other), values that need quoting or escapes, and writes that keep what
// another program wrote meanwhile.  Runs on Linux and, cross-built, on Windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "shell/IniFileStore.h"
#include "shell/Paths.h"

namespace {

namespace fs = std::filesystem;

std::string KeyName(int i) {
  std::string name = "k";
  name += std::to_string(i);
  return name;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    m_dir = fs::temp_directory_path(ec) /
            ("keston-ini-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(m_dir, ec);
    fs::create_directories(m_dir, ec);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }

  fs::path m_dir;
};

// What QSettings writes for the keys the programs use.
TEST_F(SettingsFileTest, KeysAndValuesAreSpelledAsQSettingsSpellsThem) {
  IniFileStore::Values v;
  v[{"Comm", "Normal Baud"}] = "9600";
  v[{"Comm", "Device 1"}] = "COM5";
  v[{"file", "BOOT PATH"}] = "C:\\Users\\me\\";
  v[{"file", "Default Name"}] = "a,b.s19";
  v[{"file", "Note"}] = " padded ";
  v[{"file", "At"}] = "@home";
  EXPECT_EQ(IniFileStore::Format(v),
            "[Comm]\n"
            "Device%201=COM5\n"
            "Normal%20Baud=9600\n"
            "\n"
            "[file]\n"
            "At=@@home\n"
            "BOOT%20PATH=C:\\\\Users\\\\me\\\\\n"
            "Default%20Name=\"a,b.s19\"\n"
            "Note=\" padded \"\n");
}

TEST_F(SettingsFileTest, FileWrittenByQSettingsIsRead) {
  // CR LF line ends (QSettings on Windows), a comment, quotes, escapes and a
  // key outside any section.
  const std::string text =
      "Loose=1\r\n"
      "; a comment\r\n"
      "[Comm]\r\n"
      "Normal%20Baud = 19200 \r\n"
      "Device%202=\"/dev/ttyUSB0\"\r\n"
      "[file]\r\n"
      "Default%20path=\"C:\\\\Program Files\\\\x; y\\\\\"\r\n"
      "Tabbed=a\\tb\r\n"
      "Hex=\\x41\\x7f\r\n"
      "Unicode=caf\xc3\xa9\r\n"
      "At=@@x\r\n";
  const IniFileStore::Values v = IniFileStore::Parse(text);
  EXPECT_EQ(v.at({"General", "Loose"}), "1");
  EXPECT_EQ(v.at({"Comm", "Normal Baud"}), "19200");
  EXPECT_EQ(v.at({"Comm", "Device 2"}), "/dev/ttyUSB0");
  EXPECT_EQ(v.at({"file", "Default path"}), "C:\\Program Files\\x; y\\");
  EXPECT_EQ(v.at({"file", "Tabbed"}), "a\tb");
  EXPECT_EQ(v.at({"file", "Hex"}), "A\x7f");
  EXPECT_EQ(v.at({"file", "Unicode"}), "caf\xc3\xa9");
  EXPECT_EQ(v.at({"file", "At"}), "@x");
}

TEST_F(SettingsFileTest, AwkwardValuesSurviveAWriteAndARead) {
  const std::string file = Path("settings.ini");
  const std::string values[] = {"",          " lead",      "trail ",  "a=b;c,d", "quote\"in",      "back\\slash",
                                "line\nend", "\ttab",      "@at",     "@@two",   "caf\xc3\xa9",    "x\x01y",
                                "\x01" "1f", "C:\\a b\\c\\"};
  {
    IniFileStore store(file);
    int i = 0;
    for (const std::string& value : values) ASSERT_TRUE(store.WriteProfileString("s", KeyName(i++), value));
    ASSERT_TRUE(store.WriteProfileInt("Comm", "Normal Baud", -1200));
  }
  IniFileStore again(file);
  int i = 0;
  for (const std::string& value : values)
    EXPECT_EQ(again.GetProfileString("s", KeyName(i++), "?"), value) << "value #" << i - 1;
  EXPECT_EQ(again.GetProfileInt("Comm", "Normal Baud", 0), -1200);
  EXPECT_EQ(again.GetProfileInt("Comm", "Missing", 77), 77);
  EXPECT_EQ(again.GetProfileString("Nowhere", "k0", "dflt"), "dflt");
}

TEST_F(SettingsFileTest, IntegersThatAreNotNumbersGiveTheDefault) {
  const std::string file = Path("settings.ini");
  Put(file, "[Comm]\nPort=two\nBSB=12x\nNormal%20Baud= 4800\n");
  IniFileStore store(file);
  EXPECT_EQ(store.GetProfileInt("Comm", "Port", 3), 3);
  EXPECT_EQ(store.GetProfileInt("Comm", "BSB", 1200), 1200);
  EXPECT_EQ(store.GetProfileInt("Comm", "Normal Baud", 0), 4800);
}

// Another program (the desktop one) may change the file while a run holds it.
TEST_F(SettingsFileTest, WriteKeepsWhatAnotherWriterAddedMeanwhile) {
  const std::string file = Path("settings.ini");
  IniFileStore mine(file);
  ASSERT_TRUE(mine.WriteProfileInt("Comm", "Port", 1));
  {
    IniFileStore other(file);
    ASSERT_TRUE(other.WriteProfileString("Window", "Geometry", "10,20"));
  }
  ASSERT_TRUE(mine.WriteProfileInt("Comm", "BSB", 1200));
  IniFileStore reader(file);
  EXPECT_EQ(reader.GetProfileInt("Comm", "Port", 0), 1);
  EXPECT_EQ(reader.GetProfileString("Window", "Geometry", ""), "10,20");
  EXPECT_EQ(reader.GetProfileInt("Comm", "BSB", 0), 1200);
}

// The new text replaces an existing file in one step (on Windows rename()
// would refuse) and leaves nothing of its own beside it.
TEST_F(SettingsFileTest, ReplacingAnExistingFileLeavesOnlyTheNewOne) {
  const std::string file = Path("settings.ini");
  Put(file, "old text that is longer than the new one\n");
  std::string error;
  ASSERT_EQ(ReplaceFileContents(file, "new\n", error), 1) << error;
  EXPECT_EQ(Read(file), "new\n");
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(m_dir)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(SettingsFileTest, WriteIntoAMissingFolderFails) {
  IniFileStore store(Path("no-such-folder") + PathSeparator() + "settings.ini");
  EXPECT_FALSE(store.WriteProfileInt("Comm", "Port", 1));
  std::string error;
  EXPECT_EQ(ReplaceFileContents(Path("none") + PathSeparator() + "x.ini", "x", error), 0);
  EXPECT_FALSE(error.empty());
}

TEST(PathNames, SeparatorsAreThoseOfTheSystem) {
  EXPECT_EQ(FileNameOf("dir/sub/prog.s19"), "prog.s19");
  EXPECT_EQ(FileNameOf("prog.s19"), "prog.s19");
  EXPECT_EQ(FileNameOf("dir/"), "");
#ifdef _WIN32
  EXPECT_EQ(FileNameOf("C:\\work\\dir.x\\prog.s19"), "prog.s19");
  EXPECT_EQ(FileNameOf("C:\\work/mixed\\prog"), "prog");
  EXPECT_EQ(PathSeparator(), '\\');
#else
  // A backslash is part of a Linux file name.
  EXPECT_EQ(FileNameOf("dir/a\\b.s19"), "a\\b.s19");
  EXPECT_EQ(PathSeparator(), '/');
#endif
  const std::string home = UserHomeFolder();
  ASSERT_FALSE(home.empty());
  EXPECT_TRUE(IsPathSeparator(home.back()));
}

}  // namespace
