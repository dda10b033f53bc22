// The memory image and the Load Offset step that runs before every load.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "image/FileUtil.h"
#include "image/LoadOffsetDlg.h"
#include "image/Programmer.h"
#include "support/MemoryStore.h"
#include "support/ScriptedShell.h"

namespace {

bool AllBytes(const CProgrammer& p, uint8_t value) {
  return std::all_of(p.m_image.begin(), p.m_image.end(), [&](uint8_t b) { return b == value; });
}

TEST(Image, NewInstanceIsZeroedWithEmptyBounds) {
  // Dirty the heap first so that leftovers would show.
  {
    auto* junk = new std::vector<uint8_t>(400000, 0xCD);
    delete junk;
  }
  CProgrammer p;
  ASSERT_EQ(CProgrammer::IMAGE_SIZE, p.m_image.size());
  ASSERT_EQ(CProgrammer::IMAGE_SIZE, p.m_written.size());
  EXPECT_TRUE(AllBytes(p, 0));
  EXPECT_TRUE(std::all_of(p.m_written.begin(), p.m_written.end(), [](int32_t f) { return f == 0; }));
  EXPECT_EQ(0xFFFFu, p.m_lowest);
  EXPECT_EQ(0u, p.m_highest);
  EXPECT_EQ(0, p.m_loadOffset);
  EXPECT_EQ(0, p.m_badRecords);
  EXPECT_EQ(p.m_image.data(), p.m_pCursor);

  p.NoteAddress(0xFFFF);
  EXPECT_EQ(0xFFFFu, p.m_lowest);
  EXPECT_EQ(0xFFFFu, p.m_highest);
  p.NoteAddress(0x10);
  EXPECT_EQ(0x10u, p.m_lowest);
  EXPECT_EQ(0xFFFFu, p.m_highest);
  p.m_loadOffset = 5;
  p.ResetBounds();
  EXPECT_EQ(0xFFFFu, p.m_lowest);
  EXPECT_EQ(0u, p.m_highest);
  EXPECT_EQ(0, p.m_loadOffset);
}

TEST(Image, AddressesWrapToSixteenBitsAndFillCoversSpareEntries) {
  CProgrammer p;
  EXPECT_EQ(1, p.SetImageByte(0x12345, 0x77));
  EXPECT_EQ(0x77, p.m_image[0x2345]);
  EXPECT_EQ(0x77, p.GetImageByte(0x12345));
  EXPECT_EQ(0x77, p.GetImageByte(0xFFFF2345u));

  p.m_written[7] = 1;
  p.NoteAddress(0x100);
  p.FillImage(0x1A5);
  EXPECT_TRUE(AllBytes(p, 0xA5));
  EXPECT_EQ(1, p.m_written[7]);  // flags and bounds are not the fill's business
  EXPECT_EQ(0x100u, p.m_lowest);
  std::fill(p.m_written.begin(), p.m_written.end(), 1);
  p.ClearWritten();
  EXPECT_TRUE(std::all_of(p.m_written.begin(), p.m_written.end(), [](int32_t f) { return f == 0; }));
}

TEST(LoadOffsetDlg, LimitsDefaultsAndHexAccessors) {
  CLoadOffsetDlg dlg;
  EXPECT_EQ("", dlg.m_offsetText);
  EXPECT_EQ(1, dlg.m_preFill);
  EXPECT_EQ("ff", dlg.m_fillText);
  std::string message;
  int bad = 0;
  EXPECT_EQ(0, dlg.Exchange({{1020, "12345", 0}}, message, bad));
  EXPECT_EQ(1020, bad);
  EXPECT_EQ(0, dlg.Exchange({{1020, "1234", 0}, {1038, "abc", 0}}, message, bad));
  EXPECT_EQ(1038, bad);
  EXPECT_EQ("", dlg.m_offsetText);
  ASSERT_EQ(1, dlg.Exchange({{1020, "c000", 0}, {1037, "", 0}, {1038, "5a", 0}}, message, bad));
  EXPECT_EQ(0xC000, dlg.GetOffset());
  EXPECT_EQ(0, dlg.m_preFill);
  EXPECT_EQ(0x5A, dlg.GetFillValue());

  dlg.SetOffset(0);
  EXPECT_EQ("0", dlg.m_offsetText);
  dlg.SetOffset(0xC000);
  EXPECT_EQ("c000", dlg.m_offsetText);
  dlg.m_offsetText = "12345";
  EXPECT_EQ(0x2345, dlg.GetOffset());
  dlg.m_offsetText = "x12";
  EXPECT_EQ(0, dlg.GetOffset());
  dlg.SetFillValue(0x1AB);
  EXPECT_EQ("ab", dlg.m_fillText);
  dlg.SetFillValue(7);
  EXPECT_EQ("7", dlg.m_fillText);
  dlg.m_fillText = "1FF";
  EXPECT_EQ(0xFF, dlg.GetFillValue());
}

class LoadSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    shell.Install();
    g_settings = &store;
  }
  void TearDown() override { g_settings = nullptr; }
  ScriptedShell shell;
  MemoryStore store;
};

TEST_F(LoadSettings, OkTakesTheTypedOffsetAndTheOffsetWrapsOnLoad) {
  CProgrammer p;
  shell.dialogAnswers.push_back({IDOK, {{1020, "4000"}}, {}});
  p.ApplyLoadSettings(true);
  ASSERT_EQ(1u, shell.dialogs.size());
  EXPECT_EQ("Load Offset", shell.dialogs[0].title);
  EXPECT_EQ("0", shell.dialogs[0].shown[0].text);
  EXPECT_EQ(0x4000, p.m_loadOffset);
  EXPECT_TRUE(AllBytes(p, 0xFF));  // pre-fill is ticked by default

  // The record at 0xC000 lands at 0x0000, the one at 0x0000 at 0x4000.
  std::istringstream in(S1Line(0x0000, {1, 2, 3, 4}) + "\n" + S1Line(0xC000, {0xC0, 0xFF, 0xEE}) + "\n");
  p.ReadSRecordStream(in);
  EXPECT_EQ(0xC0, p.GetImageByte(0x0000));
  EXPECT_EQ(0xEE, p.GetImageByte(0x0002));
  EXPECT_EQ(1, p.m_written[0x4003]);
  EXPECT_EQ(0x0000u, p.m_lowest);
  EXPECT_EQ(0x4003u, p.m_highest);
}

TEST_F(LoadSettings, CancelLoadsAtZeroAndStillPreFillsWithRememberedValues) {
  CProgrammer p;
  // First OK: untick nothing, change the fill value and offset.
  shell.dialogAnswers.push_back({IDOK, {{1020, "1234"}, {1038, "a5"}}, {}});
  p.ApplyLoadSettings(true);
  EXPECT_EQ(0x1234, p.m_loadOffset);
  EXPECT_TRUE(AllBytes(p, 0xA5));

  // Cancel with other typed values: they are dropped, the remembered fill
  // value still applies, and the offset box reopens at "0".
  p.FillImage(0);
  shell.dialogAnswers.push_back({IDCANCEL, {{1020, "8"}, {1038, "11"}}, {}});
  p.ApplyLoadSettings(true);
  EXPECT_EQ("0", shell.dialogs[1].shown[0].text);
  EXPECT_EQ("a5", shell.dialogs[1].shown[2].text);
  EXPECT_EQ(0, p.m_loadOffset);
  EXPECT_TRUE(AllBytes(p, 0xA5));

  // Unticked pre-fill leaves the image as it was, asked or not.
  shell.dialogAnswers.push_back({IDOK, {}, {{1037, 0}}});
  p.SetImageByte(3, 0x42);
  p.ApplyLoadSettings(true);
  EXPECT_EQ(0x42, p.GetImageByte(3));
  p.m_loadOffset = 9;
  p.ApplyLoadSettings(false);
  EXPECT_EQ(3u, shell.dialogs.size());  // not asked
  EXPECT_EQ(0, p.m_loadOffset);
  EXPECT_EQ(0x42, p.GetImageByte(3));
}

TEST_F(LoadSettings, QuietLoadStillPreFills) {
  CProgrammer p;
  p.ApplyLoadSettings(false);
  EXPECT_TRUE(shell.dialogs.empty());
  EXPECT_TRUE(AllBytes(p, 0xFF));
}

}  // namespace
