// The data exchange every dialog model goes through: limits and ranges are
// checked in exchange order, and a refused OK leaves the model as it was.
#include <gtest/gtest.h>

#include "shell/DialogModel.h"
#include "shell/Shell.h"
#include "support/MemoryStore.h"
#include "support/ScriptedShell.h"

namespace {

class SampleDlg : public CDialogModel {
 public:
  std::string Title() const override { return "Sample"; }
  std::vector<DialogField> Fields() override {
    std::vector<DialogField> f(4);
    f[0].id = 1;
    f[0].kind = FieldKind::Text;
    f[0].maxChars = 4;
    f[0].text = &m_hex;
    f[1].id = 2;
    f[1].kind = FieldKind::Text;
    f[1].checkRange = true;
    f[1].isUnsigned = true;
    f[1].minValue = 100;
    f[1].maxValue = 115200;
    f[1].text = &m_rate;
    f[2].id = 3;
    f[2].kind = FieldKind::Check;
    f[2].value = &m_check;
    f[3].id = 4;
    f[3].kind = FieldKind::Label;
    f[3].label = "just text";
    return f;
  }
  bool Validate(std::string& message, int& badField) override {
    if (m_hex == "bad") {
      message = "refused by the model";
      badField = 1;
      return false;
    }
    return true;
  }
  std::string m_hex = "ff";
  std::string m_rate = "1200";
  int m_check = 1;
};

std::vector<FieldInput> Inputs(const std::string& hex, const std::string& rate, int check) {
  return {{1, hex, 0}, {2, rate, 0}, {3, "", check}};
}

TEST(DialogExchange, AcceptedValuesReachTheMembers) {
  SampleDlg dlg;
  std::string msg;
  int bad = 0;
  ASSERT_EQ(1, dlg.Exchange(Inputs("1234", "115200", 0), msg, bad));
  EXPECT_EQ("1234", dlg.m_hex);
  EXPECT_EQ("115200", dlg.m_rate);
  EXPECT_EQ(0, dlg.m_check);
}

TEST(DialogExchange, RefusalsKeepEveryMemberAndNameTheFirstBadField) {
  struct Case {
    std::string hex, rate;
    int badField;
    std::string message;
  } cases[] = {
      {"12345", "99999999", 1, "Please enter no more than 4 characters."},
      {"12", "99", 2, "Please enter a positive integer between 100 and 115200."},
      {"12", "115201", 2, "Please enter a positive integer between 100 and 115200."},
      {"12", "", 2, "Please enter a positive integer between 100 and 115200."},
      {"12", "12x", 2, "Please enter a positive integer between 100 and 115200."},
      {"bad", "1200", 1, "refused by the model"},
  };
  for (const Case& c : cases) {
    SampleDlg dlg;
    std::string msg;
    int bad = 0;
    EXPECT_EQ(0, dlg.Exchange(Inputs(c.hex, c.rate, 0), msg, bad)) << c.hex << " " << c.rate;
    EXPECT_EQ(c.badField, bad) << c.hex << " " << c.rate;
    EXPECT_EQ(c.message, msg);
    EXPECT_EQ("ff", dlg.m_hex);
    EXPECT_EQ("1200", dlg.m_rate);
    EXPECT_EQ(1, dlg.m_check);
  }
}

TEST(DialogExchange, ScriptedShellAnswersThroughTheExchange) {
  ScriptedShell shell;
  shell.Install();
  SampleDlg dlg;
  shell.dialogAnswers.push_back({IDOK, {{1, "abcd"}}, {{3, 0}}});
  shell.dialogAnswers.push_back({IDCANCEL, {{1, "0"}}, {}});
  shell.dialogAnswers.push_back({IDOK, {{2, "50"}}, {}});
  EXPECT_EQ(IDOK, dlg.DoModal());
  EXPECT_EQ("abcd", dlg.m_hex);
  EXPECT_EQ(0, dlg.m_check);
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_EQ("abcd", dlg.m_hex);
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_EQ("1200", dlg.m_rate);
  ASSERT_EQ(3u, shell.dialogs.size());
  EXPECT_EQ(2, shell.dialogs[2].refusedField);
  EXPECT_EQ("ff", shell.dialogs[0].shown[0].text);
}

TEST(MessageBoxes, CaptionAndDefaultIcons) {
  ScriptedShell shell;
  shell.Install();
  AfxMessageBox("Erase Program?", MB_OKCANCEL);
  AfxMessageBox("BPROT clear failed", MB_YESNO);
  ASSERT_EQ(2u, shell.boxes.size());
  EXPECT_EQ("KESTON Flash", shell.boxes[0].caption);
  EXPECT_EQ(MB_OKCANCEL | MB_ICONEXCLAMATION, shell.boxes[0].type);
  EXPECT_EQ(MB_YESNO | MB_ICONQUESTION, shell.boxes[1].type);
}

TEST(SettingsStore, ShorthandsFallBackWithoutAStoreAndOnNonNumbers) {
  SettingsStore* previous = g_settings;
  g_settings = nullptr;
  EXPECT_EQ(9600, GetProfileInt("Comm", "Normal Baud", 9600));
  EXPECT_FALSE(WriteProfileInt("Comm", "Port", 1));
  MemoryStore store;
  g_settings = &store;
  WriteProfileString("Comm", "Normal Baud", "fast");
  EXPECT_EQ(9600, GetProfileInt("Comm", "Normal Baud", 9600));
  WriteProfileInt("Comm", "Normal Baud", 19200);
  EXPECT_EQ(19200, GetProfileInt("Comm", "Normal Baud", 9600));
  g_settings = previous;
}

}  // namespace
