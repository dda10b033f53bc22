// The Qt-free INI store against QSettings itself: each reads what the other
// wrote, for values that need quoting, escapes or UTF-8.  A later Windows
// desktop build and a settings file shared with keston-cli.exe rely on it.
#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>
#include <string>

#include "shell/IniFileStore.h"
#include "shell/QSettingsStore.h"

namespace {

namespace fs = std::filesystem;

std::string KeyName(int i) {
  std::string name = "Key ";
  name += std::to_string(i);
  return name;
}

const std::string kValues[] = {"plain",  " lead",     "trail ",     "a=b;c,d", "quote\"in", "back\\slash",
                               "line\nend", "\ttab",  "@at",        "caf\xc3\xa9", "x\x01y", "C:\\a b\\c\\",
                               "12",     "/dev/ttyUSB0"};

std::string Scratch(const char* name) {
  const fs::path p = fs::temp_directory_path() / (std::string("keston-qs-") + name + ".ini");
  fs::remove(p);
  return p.string();
}

TEST(QSettingsCompat, QSettingsReadsOurFile) {
  const std::string file = Scratch("ours");
  {
    IniFileStore ours(file);
    int i = 0;
    for (const std::string& v : kValues) ASSERT_TRUE(ours.WriteProfileString("file", KeyName(i++), v));
    ASSERT_TRUE(ours.WriteProfileInt("Comm", "Normal Baud", 19200));
  }
  QSettingsStore qt(file);
  int i = 0;
  for (const std::string& v : kValues)
    EXPECT_EQ(qt.GetProfileString("file", KeyName(i++), "?"), v) << "value #" << i - 1;
  EXPECT_EQ(qt.GetProfileInt("Comm", "Normal Baud", 0), 19200);
  fs::remove(file);
}

TEST(QSettingsCompat, WeReadQSettingsFile) {
  const std::string file = Scratch("qt");
  {
    QSettingsStore qt(file);
    int i = 0;
    for (const std::string& v : kValues) ASSERT_TRUE(qt.WriteProfileString("file", KeyName(i++), v));
    ASSERT_TRUE(qt.WriteProfileInt("Comm", "Normal Baud", 19200));
  }
  IniFileStore ours(file);
  int i = 0;
  for (const std::string& v : kValues)
    EXPECT_EQ(ours.GetProfileString("file", KeyName(i++), "?"), v) << "value #" << i - 1;
  EXPECT_EQ(ours.GetProfileInt("Comm", "Normal Baud", 0), 19200);
  fs::remove(file);
}

}  // namespace
