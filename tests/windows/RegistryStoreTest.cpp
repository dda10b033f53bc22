// The registry settings: the value types QSettings uses on Windows, so a
// later desktop build shares them, and the '@' marker it keeps for itself.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/RegistryStore.h"

namespace {

constexpr const char* kTestKey = "Software\\KESTON_FLASH\\KESTON Flash Tests";

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }

  // The stored type of a value, 0 when it is not there.
  static DWORD TypeOf(const std::string& section, const std::string& key) {
    DWORD type = 0;
    const std::string sub = std::string(kTestKey) + "\\" + section;
    if (RegGetValueA(HKEY_CURRENT_USER, sub.c_str(), key.c_str(), RRF_RT_ANY, &type, nullptr, nullptr) !=
        ERROR_SUCCESS)
      return 0;
    return type;
  }
};

TEST_F(RegistryStoreTest, ValuesLandWhereAndAsQSettingsKeepsThem) {
  RegistryStore store(kTestKey);
  EXPECT_EQ(store.Location(), std::string("HKEY_CURRENT_USER\\") + kTestKey);
  ASSERT_TRUE(store.WriteProfileInt("Comm", "Normal Baud", 9600));
  ASSERT_TRUE(store.WriteProfileString("Comm", "Device 1", "COM7"));
  EXPECT_EQ(TypeOf("Comm", "Normal Baud"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(TypeOf("Comm", "Device 1"), static_cast<DWORD>(REG_SZ));

  char text[64];
  DWORD size = sizeof text;
  ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, (std::string(kTestKey) + "\\Comm").c_str(), "Device 1", RRF_RT_REG_SZ,
                         nullptr, text, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, "COM7");
}

TEST_F(RegistryStoreTest, WhatIsWrittenReadsBack) {
  {
    RegistryStore store(kTestKey);
    ASSERT_TRUE(store.WriteProfileInt("Comm", "Port", 2));
    ASSERT_TRUE(store.WriteProfileInt("flash", "Config", -5));
    ASSERT_TRUE(store.WriteProfileString("file", "BOOT PATH", "C:\\Users\\m\xc3\xa9\\"));
    ASSERT_TRUE(store.WriteProfileString("file", "At", "@home"));
    ASSERT_TRUE(store.WriteProfileString("file", "Empty", ""));
  }
  RegistryStore store(kTestKey);
  EXPECT_EQ(store.GetProfileInt("Comm", "Port", 0), 2);
  EXPECT_EQ(store.GetProfileInt("flash", "Config", 0), -5);
  EXPECT_EQ(store.GetProfileString("file", "BOOT PATH", ""), "C:\\Users\\m\xc3\xa9\\");
  EXPECT_EQ(store.GetProfileString("file", "At", ""), "@home");
  EXPECT_EQ(store.GetProfileString("file", "Empty", "x"), "");
  // A number kept as an integer reads as text too, and the other way round.
  EXPECT_EQ(store.GetProfileString("Comm", "Port", ""), "2");
  EXPECT_EQ(store.GetProfileInt("Comm", "Missing", 44), 44);
  EXPECT_EQ(store.GetProfileString("Nowhere", "Port", "d"), "d");
}

TEST_F(RegistryStoreTest, AtSignIsDoubledInTheRegistryAndTextNumbersRead) {
  RegistryStore store(kTestKey);
  ASSERT_TRUE(store.WriteProfileString("file", "At", "@x"));
  char text[16];
  DWORD size = sizeof text;
  ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, (std::string(kTestKey) + "\\file").c_str(), "At", RRF_RT_REG_SZ, nullptr,
                         text, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, "@@x");

  // A rate typed into the registry by hand is a string.
  ASSERT_TRUE(store.WriteProfileString("Comm", "BSB", "1200"));
  ASSERT_TRUE(store.WriteProfileString("Comm", "Bad", "12x"));
  EXPECT_EQ(store.GetProfileInt("Comm", "BSB", 0), 1200);
  EXPECT_EQ(store.GetProfileInt("Comm", "Bad", 7), 7);
}

}  // namespace
