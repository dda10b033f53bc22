// "TTY Settings..." shown as the real form: what it opens with, what it
// refuses (message, focus, dialog kept open) and what OK takes over and stores.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "AppTestSupport.h"
#include "app/CommandTable.h"
#include "app/TrellisView.h"
#include "app/TtySettingsDlg.h"
#include "app/qt/DialogForm.h"
#include "link/Link.h"

namespace {

using D = CTtySettingsDlg;

QLineEdit* Edit(DialogForm* f, int id) { return qobject_cast<QLineEdit*>(f->Control(id)); }
QComboBox* Combo(DialogForm* f, int id) { return qobject_cast<QComboBox*>(f->Control(id)); }
QCheckBox* Check(DialogForm* f, int id) { return qobject_cast<QCheckBox*>(f->Control(id)); }
QPushButton* OkButton(DialogForm* f) {
  return f->findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok);
}

// Presses OK expecting a refusal; returns the refusal's text and checks that
// the form stays open with the refused control focused.
std::string PressOkExpectingRefusal(DialogForm* form, int badId) {
  std::string text;
  OnNextMessageBox([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    text = box->text().toStdString();
    EXPECT_EQ("KESTON Flash", box->windowTitle().toStdString());
    box->button(QMessageBox::Ok)->click();
  });
  OkButton(form)->click();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->Control(badId), form->focusWidget());
  return text;
}

class SettingsDialogTest : public DesktopTest {};

// Whether the combo's edit field shows its whole text: a text wider than the
// field scrolls as the cursor goes to its end.
bool ShowsWholeText(QComboBox* combo) {
  QLineEdit* edit = combo->lineEdit();
  const QString text = edit->text();
  edit->setCursorPosition(0);
  edit->repaint();
  const int start = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
  edit->setCursorPosition(static_cast<int>(text.size()));
  edit->repaint();
  const int end = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
  return end - start >= edit->fontMetrics().horizontalAdvance(text) && end < edit->width();
}

}  // namespace

TEST_F(SettingsDialogTest, DeviceFieldShowsLongPathsWholeAndStillTakesATypedOne) {
  const std::string demo = "/work/wt-desktop/build/demo/keston-vc";
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  store.WriteProfileString("Comm", "Device 1", demo);
  store.WriteProfileString("Comm", "Device 2", byId);
  Start();
  bool seen = false;
  OnNextModal([&](QWidget* w) {
    auto* form = qobject_cast<DialogForm*>(w);
    ASSERT_NE(nullptr, form);
    seen = true;
    QComboBox* device = Combo(form, D::IDC_DEVICE);
    EXPECT_TRUE(device->isEditable());
    EXPECT_EQ(demo, device->currentText().toStdString());
    EXPECT_TRUE(ShowsWholeText(device)) << device->width() << " pixels";
    Combo(form, D::IDC_PORT)->setCurrentIndex(1);
    EXPECT_EQ(byId, device->currentText().toStdString());
    EXPECT_TRUE(ShowsWholeText(device)) << device->width() << " pixels";
    // Any path may still be typed in.
    device->setEditText("/tmp/my-adapter");
    OkButton(form)->click();
  });
  QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(seen);
  EXPECT_EQ("/tmp/my-adapter", store.GetProfileString("Comm", "Device 2", ""));
}

TEST_F(SettingsDialogTest, OpensWithTheCurrentSettingsAndListsInOrder) {
  store.WriteProfileInt("Comm", "Port", 1);
  store.WriteProfileInt("Comm", "Normal Baud", 1920);
  store.WriteProfileInt("Comm", "BSB", 1200);
  store.WriteProfileInt("Comm", "Bootstrap Start Byte", 7);
  store.WriteProfileString("Comm", "Device 2", "/dev/ttyUSB3");
  Start();

  bool seen = false;
  OnNextModal([&](QWidget* w) {
    auto* form = qobject_cast<DialogForm*>(w);
    ASSERT_NE(nullptr, form);
    seen = true;
    EXPECT_EQ("TTY Settings...", form->windowTitle().toStdString());
    EXPECT_EQ(1, Combo(form, D::IDC_PORT)->currentIndex());
    EXPECT_EQ("/dev/ttyUSB3", Combo(form, D::IDC_DEVICE)->currentText().toStdString());
    // A rate that merely begins like a list entry is shown as it is.
    EXPECT_EQ("1920", Combo(form, D::IDC_BAUD)->currentText().toStdString());
    EXPECT_EQ(14, Combo(form, D::IDC_BAUD)->count());
    EXPECT_EQ("976", Combo(form, D::IDC_BAUD)->itemText(0).toStdString());
    EXPECT_EQ("115200", Combo(form, D::IDC_BAUD)->itemText(13).toStdString());
    EXPECT_EQ("8", Combo(form, D::IDC_DATA_BITS)->currentText().toStdString());
    EXPECT_EQ("None", Combo(form, D::IDC_PARITY)->currentText().toStdString());
    EXPECT_EQ("Space", Combo(form, D::IDC_PARITY)->itemText(4).toStdString());
    EXPECT_EQ("1", Combo(form, D::IDC_STOP_BITS)->currentText().toStdString());
    EXPECT_EQ("1.5", Combo(form, D::IDC_STOP_BITS)->itemText(1).toStdString());
    EXPECT_EQ("1200", Edit(form, D::IDC_INITIAL_BAUD)->text().toStdString());
    EXPECT_EQ("7", Edit(form, D::IDC_PREBYTE)->text().toStdString());
    EXPECT_TRUE(Check(form, D::IDC_DISPLAY_COMM)->isChecked());
    EXPECT_FALSE(Check(form, D::IDC_DTR_DSR)->isChecked());
    EXPECT_TRUE(form->findChild<QWidget*>("group_com"));
    EXPECT_TRUE(form->findChild<QWidget*>("group_tty"));

    // Another port shows its own device; coming back keeps the edit made.
    Combo(form, D::IDC_DEVICE)->setEditText("/dev/ttyACM0");
    Combo(form, D::IDC_PORT)->setCurrentIndex(0);
    EXPECT_EQ("/dev/ttyS0", Combo(form, D::IDC_DEVICE)->currentText().toStdString());
    Combo(form, D::IDC_PORT)->setCurrentIndex(1);
    EXPECT_EQ("/dev/ttyACM0", Combo(form, D::IDC_DEVICE)->currentText().toStdString());
    form->reject();
  });
  window->RunCommand(ID_SETTINGS);
  EXPECT_TRUE(seen);
  EXPECT_EQ("/dev/ttyUSB3", store.GetProfileString("Comm", "Device 2", ""));
  EXPECT_EQ(1920, app->View()->Link().m_settings.normalBaud);
}

// The rate our talker is moved to after a download: shown as stored,
// refused when it is no rate, stored as typed.
TEST_F(SettingsDialogTest, FastBaudIsShownRefusedAndStored) {
  store.WriteProfileInt("Comm", "Fast Baud", 125000);
  Start();
  std::string shown, refusal;
  OnNextModal([&](QWidget* w) {
    auto* form = qobject_cast<DialogForm*>(w);
    ASSERT_NE(nullptr, form);
    shown = Edit(form, D::IDC_FAST_BAUD)->text().toStdString();
    SaveWindowIfAsked(form, "settings-fast-baud");
    Edit(form, D::IDC_FAST_BAUD)->setText("fast");
    refusal = PressOkExpectingRefusal(form, D::IDC_FAST_BAUD);
    Edit(form, D::IDC_FAST_BAUD)->setText("62500");
    OkButton(form)->click();
  });
  window->RunCommand(ID_SETTINGS);
  EXPECT_EQ("125000", shown);
  EXPECT_EQ("Please enter a positive integer between 0 and 4000000.", refusal);
  EXPECT_EQ(62500, store.GetProfileInt("Comm", "Fast Baud", 0));
}

TEST_F(SettingsDialogTest, RefusesOutOfRangeValuesAndKeepsTheDialogOpen) {
  Start();
  const int writesBefore = store.Writes();
  std::vector<std::string> refusals;
  OnNextModal([&](QWidget* w) {
    auto* form = qobject_cast<DialogForm*>(w);
    ASSERT_NE(nullptr, form);
    Edit(form, D::IDC_INITIAL_BAUD)->setText("99");
    refusals.push_back(PressOkExpectingRefusal(form, D::IDC_INITIAL_BAUD));
    Edit(form, D::IDC_INITIAL_BAUD)->setText("115201");
    refusals.push_back(PressOkExpectingRefusal(form, D::IDC_INITIAL_BAUD));
    Edit(form, D::IDC_INITIAL_BAUD)->setText("115200");
    Edit(form, D::IDC_PREBYTE)->setText("256");
    refusals.push_back(PressOkExpectingRefusal(form, D::IDC_PREBYTE));
    Edit(form, D::IDC_PREBYTE)->setText("0");
    Combo(form, D::IDC_BAUD)->setEditText("abc");
    refusals.push_back(PressOkExpectingRefusal(form, D::IDC_BAUD));
    Combo(form, D::IDC_BAUD)->setEditText("");
    refusals.push_back(PressOkExpectingRefusal(form, D::IDC_BAUD));
    form->reject();
  });
  window->RunCommand(ID_SETTINGS);
  ASSERT_EQ(5u, refusals.size());
  EXPECT_EQ("Please enter a positive integer between 100 and 115200.", refusals[0]);
  EXPECT_EQ(refusals[0], refusals[1]);
  EXPECT_EQ("Please enter an integer between 0 and 255.", refusals[2]);
  EXPECT_FALSE(refusals[3].empty());
  // Nothing was taken over or stored by the refused attempts or the Cancel.
  EXPECT_EQ(writesBefore, store.Writes());
  EXPECT_EQ(9600, app->View()->Link().m_settings.normalBaud);
  EXPECT_EQ(1200, app->View()->Link().m_settings.bootstrapBaud);
}

TEST_F(SettingsDialogTest, OkTakesOverEveryValueAndStoresOnlyTheLinkOnes) {
  Start();
  OnNextModal([&](QWidget* w) {
    auto* form = qobject_cast<DialogForm*>(w);
    ASSERT_NE(nullptr, form);
    Combo(form, D::IDC_BAUD)->setEditText("19200");
    Combo(form, D::IDC_PORT)->setCurrentIndex(2);
    Combo(form, D::IDC_DEVICE)->setEditText("/dev/ttyUSB0");
    Combo(form, D::IDC_DATA_BITS)->setCurrentIndex(0);
    Combo(form, D::IDC_PARITY)->setCurrentIndex(2);
    Combo(form, D::IDC_STOP_BITS)->setCurrentIndex(2);
    Check(form, D::IDC_RTS_CTS)->setChecked(true);
    Check(form, D::IDC_DISPLAY_COMM)->setChecked(false);
    EXPECT_FALSE(Check(form, D::IDC_STANDARD_PROTOCOL)->isChecked());
    Check(form, D::IDC_STANDARD_PROTOCOL)->setChecked(true);
    Edit(form, D::IDC_INITIAL_BAUD)->setText("976");
    Edit(form, D::IDC_PREBYTE)->setText("0");
    OkButton(form)->click();
  });
  window->RunCommand(ID_SETTINGS);
  EXPECT_EQ(19200, app->View()->Link().m_settings.normalBaud);
  EXPECT_EQ(2, app->View()->Link().m_settings.port);
  EXPECT_EQ(7, app->View()->Link().m_settings.dataBits);
  EXPECT_EQ(2, app->View()->Link().m_settings.parity);
  EXPECT_EQ(2, app->View()->Link().m_settings.stopBits);
  EXPECT_TRUE(app->View()->Link().m_settings.rtsCtsFlow);
  EXPECT_FALSE(app->View()->Link().m_settings.dtrDsrFlow);
  EXPECT_EQ(976, app->View()->Link().m_settings.bootstrapBaud);
  EXPECT_EQ(0, app->View()->m_displayComm);
  EXPECT_EQ(19200, store.GetProfileInt("Comm", "Normal Baud", -1));
  EXPECT_EQ(2, store.GetProfileInt("Comm", "Port", -1));
  EXPECT_EQ(976, store.GetProfileInt("Comm", "BSB", -1));
  EXPECT_EQ(0, store.GetProfileInt("Comm", "Bootstrap Start Byte", -1));
  EXPECT_EQ("/dev/ttyUSB0", store.GetProfileString("Comm", "Device 3", ""));
  EXPECT_EQ("/dev/ttyUSB0", CLink::DevicePathForPort(2));
  EXPECT_FALSE(store.Has("Comm", "Data Bits"));
  EXPECT_EQ(1, store.GetProfileInt("Comm", "Standard Protocol", -1));

  // Confirming again without changes rewrites the same values.
  OnNextModal([&](QWidget* w) {
    auto* form = qobject_cast<DialogForm*>(w);
    EXPECT_TRUE(Check(form, D::IDC_STANDARD_PROTOCOL)->isChecked());
    OkButton(form)->click();
  });
  window->RunCommand(ID_SETTINGS);
  EXPECT_EQ(19200, store.GetProfileInt("Comm", "Normal Baud", -1));
  EXPECT_EQ(976, store.GetProfileInt("Comm", "BSB", -1));
  EXPECT_EQ(7, app->View()->Link().m_settings.dataBits);
}

TEST(TtySettingsModel, BaudTextLimitAndReading) {
  D dlg;
  dlg.m_port = dlg.m_dataBits = dlg.m_parity = dlg.m_stopBits = 0;
  dlg.m_device = "/dev/ttyS0";
  std::string message;
  int bad = 0;
  std::vector<FieldInput> in = dlg.CurrentInputs();
  for (FieldInput& f : in)
    if (f.id == D::IDC_BAUD) f.text = "1152000";
  EXPECT_EQ(0, dlg.Exchange(in, message, bad));
  EXPECT_EQ(D::IDC_BAUD, bad);
  EXPECT_EQ("Please enter no more than 6 characters.", message);

  for (FieldInput& f : in)
    if (f.id == D::IDC_BAUD) f.text = "4800xy";
  EXPECT_EQ(1, dlg.Exchange(in, message, bad));
  EXPECT_EQ(4800, dlg.BaudValue());

  // A stored port outside the list leaves no selection, which is refused
  // rather than taken over as index -1.
  dlg.m_port = -1;
  EXPECT_EQ(0, dlg.Exchange(dlg.CurrentInputs(), message, bad));
  EXPECT_EQ(D::IDC_PORT, bad);
}
