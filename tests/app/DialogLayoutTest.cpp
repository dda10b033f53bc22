// The forms built from dialog models: controls sit where a user looks for
// them (each group's fields top to bottom in drawing order, left and right
// columns apart), whatever order the data exchange checks them in.  With
// KESTON_SCREENSHOT_DIR set, each form is also saved as a PNG to look at.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
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

// Whether `text` shows whole in `edit`: a text wider than the room for it
// scrolls as the cursor moves to its end, so the cursor then stands nearer
// the start than the text is wide.
bool ShowsWhole(QLineEdit* edit, const QString& text) {
  edit->setText(text);
  edit->setCursorPosition(0);
  edit->repaint();
  const int start = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
  edit->setCursorPosition(static_cast<int>(text.size()));
  edit->repaint();
  const int end = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
  return edit->text() == text && end - start >= edit->fontMetrics().horizontalAdvance(text) &&
         end < edit->width();
}

QLineEdit* EditOf(QWidget* control) {
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit;
  if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->lineEdit();
  return nullptr;
}

// The longest values a field may hold: its limit filled with each digit a
// number field takes, both ends of its range, and the texts it offers.
QStringList LongestValues(const DialogField& f, const QStringList& more) {
  QStringList values = more;
  if (f.maxChars > 0)
    for (QChar c : QStringLiteral("0123456789ABCDEF")) values << QString(f.maxChars, c);
  if (f.checkRange) values << QString::number(f.minValue) << QString::number(f.maxValue);
  for (const std::string& c : f.choices) values << QString::fromStdString(c);
  return values;
}

// Every text field of the form, at its natural size and squeezed to its
// minimum, shows each of its longest values whole.
void ExpectFieldsHoldTheirLongestValues(CDialogModel& model, const QStringList& more = {}) {
  DialogForm form(model);
  form.show();
  QApplication::processEvents();
  for (const QSize size : {form.sizeHint(), form.minimumSizeHint()}) {
    form.resize(size);
    QApplication::processEvents();
    for (const DialogField& f : model.Fields()) {
      QLineEdit* edit = EditOf(form.Control(f.id));
      if (!edit) continue;
      for (const QString& value : LongestValues(f, f.maxChars == 0 && !f.checkRange ? more : QStringList()))
        EXPECT_TRUE(ShowsWhole(edit, value)) << model.Title() << ", " << f.label << ": \""
                                             << value.toStdString() << "\" in " << edit->width() << " pixels";
    }
  }
}

}  // namespace

TEST(DialogLayout, EveryTextFieldHoldsItsLongestValue) {
  CAddressRangeDlg range;
  ExpectFieldsHoldTheirLongestValues(range);
  CLoadOffsetDlg offset;
  ExpectFieldsHoldTheirLongestValues(offset);
  CEepromDlg eeprom;
  ExpectFieldsHoldTheirLongestValues(eeprom);
  CTtySettingsDlg tty;
  const QStringList paths = {"/dev/ttyS0", "/work/wt-desktop/build/demo/keston-vc",
                             "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
  for (size_t i = 0; i < 3; ++i) tty.m_portDevices[i] = paths[static_cast<int>(i)].toStdString();
  tty.m_port = 1;
  tty.m_device = tty.m_portDevices[1];
  ExpectFieldsHoldTheirLongestValues(tty, paths);
}

TEST(DialogLayout, AddressShowsAllFourDigits) {
  CEepromDlg dlg;
  dlg.m_commandName = "Write target RAM";
  dlg.m_addressText = "2003";
  DialogForm form(dlg);
  form.show();
  QApplication::processEvents();
  auto* address = qobject_cast<QLineEdit*>(form.Control(CEepromDlg::IDC_ADDRESS));
  ASSERT_NE(nullptr, address);
  EXPECT_TRUE(ShowsWhole(address, "2003"));
  SaveIfAsked(form, "write-target-ram");
}

TEST(DialogLayout, MemoryToolDialogIsTitledAfterItsCommand) {
  for (const char* command : {"Write target RAM", "Read Memory", "Set Config /EEPROM"}) {
    CEepromDlg dlg;
    dlg.m_commandName = command;
    DialogForm form(dlg);
    EXPECT_EQ(command, form.windowTitle().toStdString());
    QStringList labels;
    for (QLabel* l : form.findChildren<QLabel*>()) labels << l->text();
    EXPECT_TRUE(labels.contains(command)) << labels.join(" | ").toStdString();
    EXPECT_FALSE(labels.contains("Write Internal EEPROM")) << command;
  }
  // Opened by nobody in particular, it keeps its own names.
  CEepromDlg plain;
  DialogForm form(plain);
  EXPECT_EQ("Select EEPROM Range & Value", form.windowTitle().toStdString());
}
