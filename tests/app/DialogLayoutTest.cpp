// The forms built from dialog models: controls sit where a user looks for
// them (each group's fields top to bottom in drawing order, left and right
// columns apart), whatever order the data exchange checks them in.  With
// KESTON_SCREENSHOT_DIR set, each form is also saved as a PNG to look at.
#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>
#include <cstdlib>
#include <memory>

#include "AppTestSupport.h"
#include "app/TtySettingsDlg.h"
#include "app/qt/DialogForm.h"
#include "image/LoadOffsetDlg.h"
#include "operations/AddressRangeDlg.h"
#include "operations/EepromDlg.h"

namespace {

using A = CAddressRangeDlg;

int Top(DialogForm& form, int id) {
  QWidget* w = form.Control(id);
  EXPECT_NE(nullptr, w) << id;
  return w ? w->mapTo(&form, QPoint(0, 0)).y() : -1;
}
int Left(DialogForm& form, int id) {
  QWidget* w = form.Control(id);
  return w ? w->mapTo(&form, QPoint(0, 0)).x() : -1;
}

void SaveIfAsked(DialogForm& form, const char* name) {
  const char* dir = std::getenv("KESTON_SCREENSHOT_DIR");
  if (!dir || !*dir) return;
  QDir().mkpath(dir);
  form.grab().save(QString(dir) + "/" + name + ".png");
}

TEST(DialogLayout, AddressRangeReadsTopToBottomAsAUserExpects) {
  A dlg;
  dlg.SetStart(0x8000);
  dlg.SetFinish(0xFFFF);
  DialogForm form(dlg);
  form.show();
  form.adjustSize();
  QApplication::processEvents();

  EXPECT_LT(Top(form, A::IDC_START), Top(form, A::IDC_FINISH));
  EXPECT_LT(Top(form, A::IDC_EXCLUDE_ACTIVE), Top(form, A::IDC_EXCLUDE_START));
  EXPECT_LT(Top(form, A::IDC_EXCLUDE_START), Top(form, A::IDC_EXCLUDE_END));
  EXPECT_LT(Top(form, A::IDC_CONFIG_ENABLED), Top(form, A::IDC_CONFIG_VALUE));
  EXPECT_LT(Top(form, A::IDC_CONFIG_VALUE), Top(form, A::IDC_WRITE_ALL_RANGE));
  EXPECT_LT(Top(form, A::IDC_ENABLE_EEPROM), Top(form, A::IDC_EEPROM_START));
  EXPECT_LT(Top(form, A::IDC_EEPROM_START), Top(form, A::IDC_EEPROM_LENGTH));
  // The exclusion and the EEPROM window form the right-hand column.
  EXPECT_LT(Left(form, A::IDC_START), Left(form, A::IDC_EXCLUDE_START));
  EXPECT_LT(Left(form, A::IDC_CONFIG_VALUE), Left(form, A::IDC_EEPROM_START));
  SaveIfAsked(form, "address-range");

  // Drawing order leaves the exchange alone: the first refusal is still the
  // first over-long field in exchange order (Exclude Start before Starting).
  std::vector<FieldInput> inputs = dlg.CurrentInputs();
  for (FieldInput& in : inputs) {
    if (in.id == A::IDC_START || in.id == A::IDC_EXCLUDE_START) in.text = "12345";
  }
  std::string message;
  int bad = 0;
  EXPECT_EQ(0, dlg.Exchange(inputs, message, bad));
  EXPECT_EQ(A::IDC_EXCLUDE_START, bad);
}

TEST(DialogLayout, OtherFormsKeepTheirFieldsInOrder) {
  CEepromDlg eeprom;
  DialogForm eepromForm(eeprom);
  eepromForm.show();
  QApplication::processEvents();
  EXPECT_LT(Top(eepromForm, CEepromDlg::IDC_VALUE), Top(eepromForm, CEepromDlg::IDC_ADDRESS));
  EXPECT_LT(Top(eepromForm, CEepromDlg::IDC_ADDRESS), Top(eepromForm, CEepromDlg::IDC_LENGTH));
  SaveIfAsked(eepromForm, "eeprom");

  CLoadOffsetDlg offset;
  DialogForm offsetForm(offset);
  offsetForm.show();
  QApplication::processEvents();
  EXPECT_LT(Top(offsetForm, CLoadOffsetDlg::IDC_OFFSET), Top(offsetForm, CLoadOffsetDlg::IDC_FILL));
  SaveIfAsked(offsetForm, "load-offset");

  CTtySettingsDlg tty;
  DialogForm ttyForm(tty);
  ttyForm.show();
  QApplication::processEvents();
  SaveIfAsked(ttyForm, "tty-settings");
}

}  // namespace
