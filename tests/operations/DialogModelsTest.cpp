// The Address Range dialog as a model: what a new instance
// offers, what it remembers after OK and after Cancel, what reaches the
// settings store, and how typed text reads.
#include <gtest/gtest.h>

#include <map>

#include "operations/AddressRangeDlg.h"
#include "shell/SettingsStore.h"
#include "support/MemoryStore.h"
#include "support/ScriptedShell.h"

namespace {

using Dlg = CAddressRangeDlg;

class AddressRangeDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell.Install();
    g_settings = &store;
    CAddressRangeDlg::ForgetRemembered();
  }
  void TearDown() override { g_settings = nullptr; }

  // One command's life: construct, let the dialog run, destroy.
  void RunOnce(ScriptedShell::DialogAnswer answer) {
    shell.dialogAnswers.push_back(answer);
    CAddressRangeDlg dlg;
    dlg.DoModal();
  }

  std::string Shown(int id) const {
    for (const FieldInput& in : shell.dialogs.back().shown)
      if (in.id == id) return in.text;
    return "?";
  }
  int ShownValue(int id) const {
    for (const FieldInput& in : shell.dialogs.back().shown)
      if (in.id == id) return in.value;
    return -1;
  }

  ScriptedShell shell;
  MemoryStore store;
};

TEST_F(AddressRangeDlgTest, FirstUseOffersTheDefaults) {
  RunOnce({});
  EXPECT_EQ("Address Range", shell.dialogs.back().title);
  EXPECT_EQ("b600", Shown(Dlg::IDC_EXCLUDE_START));
  EXPECT_EQ("b7ff", Shown(Dlg::IDC_EXCLUDE_END));
  EXPECT_EQ(0, ShownValue(Dlg::IDC_EXCLUDE_ACTIVE));
  EXPECT_EQ("4b", Shown(Dlg::IDC_CONFIG_VALUE));
  EXPECT_EQ(0, ShownValue(Dlg::IDC_CONFIG_ENABLED));
  EXPECT_EQ("4e00", Shown(Dlg::IDC_EEPROM_START));
  EXPECT_EQ("200", Shown(Dlg::IDC_EEPROM_LENGTH));
  EXPECT_EQ(0, ShownValue(Dlg::IDC_ENABLE_EEPROM));
  EXPECT_EQ(0, ShownValue(Dlg::IDC_WRITE_ALL_RANGE));
  // Closing it stores the three keys, even untouched.
  EXPECT_EQ(75, store.GetProfileInt("flash", "Config", -1));
  EXPECT_EQ(0x4E00, store.GetProfileInt("flash", "EEprom_Start", -1));
  EXPECT_EQ(0x200, store.GetProfileInt("flash", "EEprom_Length", -1));
}

TEST_F(AddressRangeDlgTest, ZerosTurnIntoTheSafeFallbacks) {
  ScriptedShell::DialogAnswer a;
  a.texts = {{Dlg::IDC_CONFIG_VALUE, "0"}, {Dlg::IDC_EEPROM_START, "0"}, {Dlg::IDC_EXCLUDE_START, "0"}};
  RunOnce(a);
  EXPECT_EQ(0, store.GetProfileInt("flash", "Config", -1));
  RunOnce({});
  EXPECT_EQ("7b", Shown(Dlg::IDC_CONFIG_VALUE));
  EXPECT_EQ(1, ShownValue(Dlg::IDC_CONFIG_ENABLED));
  EXPECT_EQ("7e00", Shown(Dlg::IDC_EEPROM_START));
  EXPECT_EQ("200", Shown(Dlg::IDC_EEPROM_LENGTH));
  EXPECT_EQ(1, ShownValue(Dlg::IDC_ENABLE_EEPROM));
  EXPECT_EQ("b600", Shown(Dlg::IDC_EXCLUDE_START));
}

TEST_F(AddressRangeDlgTest, OkIsRememberedAndCancelKeepsWhatWasShown) {
  ScriptedShell::DialogAnswer ok;
  ok.texts = {{Dlg::IDC_EXCLUDE_START, "C000"},
              {Dlg::IDC_EXCLUDE_END, "c0ff"},
              {Dlg::IDC_CONFIG_VALUE, "0d"},
              {Dlg::IDC_EEPROM_START, "fe00"},
              {Dlg::IDC_EEPROM_LENGTH, "80"}};
  ok.values = {{Dlg::IDC_EXCLUDE_ACTIVE, 1},
               {Dlg::IDC_WRITE_ALL_RANGE, 1},
               {Dlg::IDC_ENABLE_EEPROM, 1},
               {Dlg::IDC_CONFIG_ENABLED, 1}};
  RunOnce(ok);

  ScriptedShell::DialogAnswer cancel;
  cancel.button = IDCANCEL;
  cancel.texts = {{Dlg::IDC_EXCLUDE_START, "1"}, {Dlg::IDC_CONFIG_VALUE, "22"}};
  cancel.values = {{Dlg::IDC_EXCLUDE_ACTIVE, 0}};
  RunOnce(cancel);

  RunOnce({});
  EXPECT_EQ("c000", Shown(Dlg::IDC_EXCLUDE_START));
  EXPECT_EQ("c0ff", Shown(Dlg::IDC_EXCLUDE_END));
  EXPECT_EQ(1, ShownValue(Dlg::IDC_EXCLUDE_ACTIVE));
  EXPECT_EQ("d", Shown(Dlg::IDC_CONFIG_VALUE));
  // "Enabled" is asked for afresh every time.
  EXPECT_EQ(0, ShownValue(Dlg::IDC_CONFIG_ENABLED));
  EXPECT_EQ("fe00", Shown(Dlg::IDC_EEPROM_START));
  EXPECT_EQ("80", Shown(Dlg::IDC_EEPROM_LENGTH));
  EXPECT_EQ(1, ShownValue(Dlg::IDC_ENABLE_EEPROM));
  EXPECT_EQ(1, ShownValue(Dlg::IDC_WRITE_ALL_RANGE));
  EXPECT_EQ(13, store.GetProfileInt("flash", "Config", -1));
  EXPECT_EQ(0xFE00, store.GetProfileInt("flash", "EEprom_Start", -1));

  // A restart keeps only the stored three.
  CAddressRangeDlg::ForgetRemembered();
  RunOnce({});
  EXPECT_EQ("b600", Shown(Dlg::IDC_EXCLUDE_START));
  EXPECT_EQ("d", Shown(Dlg::IDC_CONFIG_VALUE));
  EXPECT_EQ("fe00", Shown(Dlg::IDC_EEPROM_START));
  EXPECT_EQ(0, ShownValue(Dlg::IDC_ENABLE_EEPROM));
}

// Only a flash's dialog changes what the next flash and QuickFlash reuse:
// values typed for Save Program, Save Memory or Checksum Memory stay theirs.
TEST_F(AddressRangeDlgTest, OnlyAFlashChangesWhatQuickFlashReuses) {
  ScriptedShell::DialogAnswer read;
  read.texts = {{Dlg::IDC_EEPROM_START, "0"}, {Dlg::IDC_EXCLUDE_START, "9000"}, {Dlg::IDC_EXCLUDE_END, "9fff"}};
  read.values = {{Dlg::IDC_EXCLUDE_ACTIVE, 1}, {Dlg::IDC_ENABLE_EEPROM, 1}};
  shell.dialogAnswers.push_back(read);
  {
    CAddressRangeDlg dlg(Dlg::Purpose::ReadBack);
    EXPECT_EQ(IDOK, dlg.DoModal());
  }
  shell.dialogAnswers.push_back({});
  {
    CAddressRangeDlg dlg(Dlg::Purpose::Range);
    dlg.DoModal();
  }
  // What each purpose shows: the read-back no CONFIG, length or Write All,
  // the plain range only Starting and Finish.
  std::vector<int> ids;
  for (const FieldInput& in : shell.dialogs.back().shown) ids.push_back(in.id);
  EXPECT_EQ((std::vector<int>{Dlg::IDC_FINISH, Dlg::IDC_START}), ids);
  ids.clear();
  for (const FieldInput& in : shell.dialogs.front().shown) ids.push_back(in.id);
  EXPECT_EQ((std::vector<int>{Dlg::IDC_EXCLUDE_START, Dlg::IDC_EXCLUDE_END, Dlg::IDC_FINISH, Dlg::IDC_START,
                              Dlg::IDC_EXCLUDE_ACTIVE, Dlg::IDC_EEPROM_START, Dlg::IDC_ENABLE_EEPROM,
                              Dlg::IDC_READ_TWICE}),
            ids);

  CAddressRangeDlg flash;  // as QuickFlash builds it
  EXPECT_EQ(0, flash.m_bEnableEeprom);
  EXPECT_EQ(0, flash.m_bExcludeActive);
  EXPECT_EQ(0x4E00u, flash.GetEepromStart());
  EXPECT_EQ(0xB600u, flash.GetExcludeStart());
  EXPECT_EQ(1, flash.m_bVerify);
  EXPECT_EQ(-1, store.GetProfileInt("flash", "EEprom_Start", -1));  // nothing stored by the others

  // The next read-back starts from what the last one used.
  shell.dialogAnswers.push_back({});
  {
    CAddressRangeDlg again(Dlg::Purpose::ReadBack);
    again.DoModal();
  }
  EXPECT_EQ("9000", Shown(Dlg::IDC_EXCLUDE_START));
  EXPECT_EQ(1, ShownValue(Dlg::IDC_EXCLUDE_ACTIVE));
}

// OK is refused, with the reason, for an exclusion turned round and for an
// EEPROM start its page's window does not hold; nothing changes.
TEST_F(AddressRangeDlgTest, OkRefusesWhatWouldWriteWhereTheUserSaidNot) {
  struct Case {
    std::map<int, std::string> texts;
    std::map<int, int> values;
    int field;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{{Dlg::IDC_EXCLUDE_START, "b600"}, {Dlg::IDC_EXCLUDE_END, "b7f"}},
       {{Dlg::IDC_EXCLUDE_ACTIVE, 1}},
       Dlg::IDC_EXCLUDE_END,
       "Exclude End b7f is below Exclude Start b600.\nEnter an end at or above the start."},
      {{{Dlg::IDC_EEPROM_START, "b600"}},
       {{Dlg::IDC_ENABLE_EEPROM, 1}},
       Dlg::IDC_EEPROM_START,
       "EEprom Start b600 is not in the EEPROM: the EEPROM window of page B is BE00-BFFF."},
      {{{Dlg::IDC_EEPROM_START, "be00"}, {Dlg::IDC_EEPROM_LENGTH, "0"}},
       {{Dlg::IDC_ENABLE_EEPROM, 1}},
       Dlg::IDC_EEPROM_LENGTH,
       "EEprom Length is 0: nothing would be written to the EEPROM."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    CAddressRangeDlg dlg;
    const std::string before = dlg.m_excludeEndText + dlg.m_eepromStartText;
    ScriptedShell::DialogAnswer a;
    a.texts = c.texts;
    a.values = c.values;
    shell.dialogAnswers.push_back(a);
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(c.field, shell.dialogs.back().refusedField);
    EXPECT_EQ(c.message, shell.dialogs.back().refusal);
    EXPECT_EQ(before, dlg.m_excludeEndText + dlg.m_eepromStartText);
  }
  // Unchecked, neither is looked at.
  ScriptedShell::DialogAnswer off;
  off.texts = {{Dlg::IDC_EXCLUDE_START, "b600"}, {Dlg::IDC_EXCLUDE_END, "b7f"}, {Dlg::IDC_EEPROM_START, "b600"}};
  off.values = {{Dlg::IDC_EXCLUDE_ACTIVE, 0}, {Dlg::IDC_ENABLE_EEPROM, 0}};
  shell.dialogAnswers.push_back(off);
  CAddressRangeDlg dlg;
  EXPECT_EQ(IDOK, dlg.DoModal());
}

TEST_F(AddressRangeDlgTest, TypedTextReadsAsLeadingHexDigitsAndLimitsRefuseOk) {
  CAddressRangeDlg dlg;
  dlg.m_startText = "B600";
  dlg.m_finishText = "12g4";
  dlg.m_excludeStartText = "x100";
  dlg.m_configValueText = "1ff";
  EXPECT_EQ(0xB600u, dlg.GetStart());
  EXPECT_EQ(0x12u, dlg.GetFinish());
  EXPECT_EQ(0u, dlg.GetExcludeStart());
  EXPECT_EQ(0xFFu, dlg.GetConfigValue());
  dlg.SetConfigValue(0x14B);
  EXPECT_EQ("4b", dlg.m_configValueText);
  dlg.SetStart(0);
  EXPECT_EQ("0", dlg.m_startText);

  ScriptedShell::DialogAnswer tooLong;
  tooLong.texts = {{Dlg::IDC_FINISH, "10000"}};
  shell.dialogAnswers.push_back(tooLong);
  ScriptedShell::DialogAnswer eepromTooLong;
  eepromTooLong.texts = {{Dlg::IDC_EEPROM_LENGTH, "0200"}};
  shell.dialogAnswers.push_back(eepromTooLong);
  dlg.SetFinish(0xFFFF);
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_EQ(Dlg::IDC_FINISH, shell.dialogs.back().refusedField);
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_EQ(Dlg::IDC_EEPROM_LENGTH, shell.dialogs.back().refusedField);
  EXPECT_EQ("ffff", dlg.m_finishText);
}

}  // namespace
