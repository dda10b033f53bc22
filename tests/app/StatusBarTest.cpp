// What the window tells the user while it works, against a virtual controller
// on a real pseudo-terminal: the message pane against hover prompts, the
// connection line and the connection field, stale texts, multi-line texts,
// and Disconnect from a pane in the middle of an exchange.
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "AppTestSupport.h"
#include "app/CommandTable.h"
#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "app/qt/ViewWidgets.h"
#include "link/Link.h"
#include "sim/VirtualController.h"
#include "support/Wire.h"
#include "support/qt/FileDialogAnswer.h"
#include "target/BootLoad.h"

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) Pump(10);
  return done();
}

// A loader the virtual controller runs: it carries the talker's marker.
std::vector<uint8_t> Loader() {
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 5);
  const std::string marker = "KESTON-VC-TALKER";
  std::copy(marker.begin(), marker.end(), bytes.begin() + 40);
  return bytes;
}

// Answers every message box with its first button (OK, Yes) as a user
// would, keeping the texts; `onBox` runs first for the test's own moves.
class BoxAnswerer : public QObject {
 public:
  BoxAnswerer() {
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      const std::string text = box->text().toStdString();
      texts.push_back(text);
      if (onBox) onBox(text);
      QAbstractButton* ok =
          box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok) : box->buttons().first();
      ok->click();
    });
    m_timer.start();
  }
  std::vector<std::string> texts;
  std::function<void(const std::string&)> onBox;

 private:
  QTimer m_timer;
};

SimOptions QuickErase() {
  SimOptions o;
  o.eraseTimeMs = 50;
  return o;
}

class StatusBarTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(dir.isValid());
    std::ofstream(dir.filePath("loader.s19").toStdString()) << SRecordText({{0, Loader()}});
    store.WriteProfileString("Comm", "Device 1", sim.SlavePath());
    store.WriteProfileString("file", "BOOT PATH", dir.path().toStdString() + "/");
    store.WriteProfileString("file", "BOOT NAME", "loader.s19");
    ForgetBootFileChoice();
  }
  void TearDown() override {
    DesktopTest::TearDown();  // disconnects before the controller goes away
    sim.Stop();
    ForgetBootFileChoice();
  }

  std::string Message() const { return window->MessagePane()->text().toStdString(); }
  std::string Field() const { return window->ConnectionField()->text().toStdString(); }
  // Moves the pointer over `w` the way the window system reports it, so
  // that the widgets under it see it enter and leave.
  void PointAt(QWidget* w, QPoint at = {}) {
    QTest::mouseMove(window->windowHandle(), w->mapTo(window, at.isNull() ? w->rect().center() : at));
    Pump(20);
  }

  VirtualController sim{QuickErase()};
  QTemporaryDir dir;
};

}  // namespace

TEST_F(StatusBarTest, ProgramTextsReplaceHoverPromptsWhichEndWhenThePointerLeaves) {
  Start();
  QMenuBar* bar = window->menuBar();
  QAction* quick = window->Action(ID_QUICK_FLASH);
  PointAt(bar, bar->actionGeometry(quick).center());
  ASSERT_EQ(quick->statusTip().toStdString(), Message());

  // An operation started from there reports while the pointer stays put.
  SetStatusText("8000 ");
  EXPECT_EQ("8000 ", Message());
  SetStatusText("Flash Succeeded");
  EXPECT_EQ("Flash Succeeded", Message());
  PointAt(window->ViewWidget());
  EXPECT_EQ("Flash Succeeded", Message());

  // A toolbar button's prompt lasts while the pointer rests on it.
  QWidget* cut = window->ToolBar()->widgetForAction(window->Action(ID_EDIT_CUT));
  PointAt(cut);
  EXPECT_EQ("Cut the selection and put it on the Clipboard", Message());
  PointAt(window->ViewWidget());
  EXPECT_EQ("Flash Succeeded", Message());
}

TEST_F(StatusBarTest, EraseReportsItsResultWithThePointerOnTheToolbar) {
  Start();
  BoxAnswerer boxes;
  QWidget* cut = window->ToolBar()->widgetForAction(window->Action(ID_EDIT_CUT));
  PointAt(cut);
  // Once the box is gone the window system finds the pointer over the
  // toolbar again, as the erase begins.
  boxes.onBox = [&](const std::string& text) {
    if (text == "Erase Program?")
      QTimer::singleShot(0, window, [&] { PointAt(cut, cut->rect().center() + QPoint(2, 1)); });
  };
  window->RunCommand(ID_ERASE_FLASH_CHIP);
  EXPECT_EQ(std::vector<std::string>({"Reset in Bootstrap Mode", "Erase Program?"}), boxes.texts);
  EXPECT_EQ("AMD chip is erased! ", Message());
  EXPECT_EQ("AMD chip is erased! ", app->Frame()->GetStatusText());
  SaveWindowIfAsked(window, "erase-pointer-on-toolbar");
  PointAt(window->ViewWidget());
  EXPECT_EQ("AMD chip is erased! ", Message());
}

TEST_F(StatusBarTest, BootLoadRedrawsTheConnectionLineAndField) {
  Start();
  EXPECT_NE(std::string::npos, Field().find("Disconnected")) << Field();
  BoxAnswerer boxes;
  window->RunCommand(ID_BOOT_LOAD);
  ASSERT_TRUE(app->View()->Link().BootMode() && app->View()->Link().Connected());
  // Nothing else repaints the view here: the change itself must.
  EXPECT_TRUE(WaitFor([&] {
    return window->ViewWidget()->DrawnText().startsWith("Connected, Connection Boot Mode");
  })) << window->ViewWidget()->DrawnText().toStdString();
  // The example loader announces no checked transfers: the standard protocol.
  EXPECT_NE(std::string::npos, Field().find("Talker running, standard")) << Field();
  EXPECT_EQ("Controller Connection Good, Expanded mode", Message());
  store.WriteProfileInt("Comm", "Standard Protocol", 1);
  app->View()->Link().SetBootMode(true);  // any change of the link redraws the field
  window->RedrawView();
  EXPECT_NE(std::string::npos, Field().find("Talker running, standard (chosen)")) << Field();

  // A flag changed outside any command reaches the screen as well.
  app->View()->Link().SetBootMode(false);
  EXPECT_TRUE(WaitFor([&] { return Field().find(": Connected") != std::string::npos; })) << Field();
  EXPECT_TRUE(
      WaitFor([&] { return window->ViewWidget()->DrawnText().startsWith("Connected, Connection Normal"); }));
}

TEST_F(StatusBarTest, ConnectionFieldNamesPortDeviceRateAndState) {
  store.WriteProfileInt("Comm", "Normal Baud", 19200);
  Start();
  const std::string device = sim.SlavePath();
  EXPECT_EQ("Port 1 " + device + ", 19200 baud: Disconnected", Field());
  QTest::keyClick(window, Qt::Key_F7);
  ASSERT_TRUE(app->View()->Link().Connected());
  EXPECT_EQ("Port 1 " + device + ", 19200 baud: Connected", Field());
  EXPECT_EQ(0, window->ViewWidget()->DrawnText().indexOf("Connected, Connection Normal"));
  QTest::keyClick(window, Qt::Key_F8);
  EXPECT_EQ("Port 1 " + device + ", 19200 baud: Disconnected", Field());
}

TEST_F(StatusBarTest, ConnectionStateStaysInSightInASmallWindow) {
  Start();
  window->resize(640, 420);
  Pump(50);
  ASSERT_LE(window->height(), 420);
  TrellisViewWidget* view = window->ViewWidget();
  // The status line lies wholly inside the view, however short it became.
  QImage image = view->grab().toImage();
  const QRgb background = image.pixel(image.width() - 4, 3);
  int first = -1, last = -1;
  for (int y = 3; y < image.height() - 3; ++y)
    for (int x = 3; x < image.width() / 2; ++x)
      if (image.pixel(x, y) != background) {
        if (first < 0) first = y;
        last = y;
      }
  EXPECT_NE(-1, first) << "no status line in a view " << view->height() << " pixels high";
  EXPECT_LT(last, view->height());
  EXPECT_TRUE(view->DrawnText().startsWith("Disconnected, "));

  // And the status bar keeps the field whole at the right.
  QLabel* field = window->ConnectionField();
  EXPECT_TRUE(field->isVisible());
  EXPECT_LE(field->mapTo(window, QPoint(field->width(), 0)).x(), window->width());
  EXPECT_GE(field->width(), field->fontMetrics().horizontalAdvance(field->text()));
  SaveWindowIfAsked(window, "window-640x420");
}

TEST_F(StatusBarTest, ConnectionChangesClearTextsAboutTheConnectionThatWas) {
  Start();
  QTest::keyClick(window, Qt::Key_F7);
  ASSERT_TRUE(app->View()->Link().Connected());
  SetStatusText("Controller Connection Good, Expanded mode");
  QTest::keyClick(window, Qt::Key_F8);
  EXPECT_EQ("Ready", Message());

  // The device goes away under a live connection.
  QTest::keyClick(window, Qt::Key_F7);
  ASSERT_TRUE(app->View()->Link().Connected());
  SetStatusText("Controller Connection Good, Expanded mode");
  sim.HangUp();
  EXPECT_TRUE(WaitFor([&] { return Field().find("Disconnected") != std::string::npos; })) << Field();
  EXPECT_EQ("Ready", Message());

  // A failed Connect leaves nothing behind that claims a good connection.
  BoxAnswerer boxes;
  window->RunCommand(ID_CONNECT);
  EXPECT_EQ(std::vector<std::string>({"Connection failed!"}), boxes.texts);
  EXPECT_EQ(std::string::npos, Message().find("Connection Good"));
}

TEST_F(StatusBarTest, MultiLineTextKeepsTheBarOneLineHigh) {
  Start();
  const int barHeight = window->statusBar()->height();
  const QRect rows = window->Splitter()->geometry();
  const std::string text = "Bootload verify Failed.\n Boot again.\n ";
  SetStatusText(text);
  Pump(50);
  EXPECT_EQ("Bootload verify Failed. Boot again.", Message());
  EXPECT_EQ(barHeight, window->statusBar()->height());
  EXPECT_EQ(rows, window->Splitter()->geometry());
  // The whole text is kept, and shown on the pane's tool tip.
  EXPECT_EQ(text, app->Frame()->GetStatusText());
  EXPECT_EQ(text, window->MessagePane()->toolTip().toStdString());
}

TEST_F(StatusBarTest, StatusLineSeparatesTheLogFromTheConnection) {
  Start();
  QTest::keyClick(window, Qt::Key_F7);
  ASSERT_TRUE(app->View()->Link().Connected());
  const QString log = dir.filePath("comm.log");
  OnNextModal([&](QWidget* w) { AnswerFileDialog(qobject_cast<QFileDialog*>(w), log); },
              [](QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; });
  QTest::keyClick(window, Qt::Key_L, Qt::AltModifier);
  ASSERT_TRUE(app->View()->IsCommLogOpen());
  EXPECT_EQ("Connected, Connection Normal, Logging comms, " + std::string(24, ' '),
            app->View()->StatusLineText());
  EXPECT_TRUE(WaitFor([&] { return window->ViewWidget()->DrawnText().contains("Normal, Logging comms, "); }));
}

TEST_F(StatusBarTest, DisconnectFromAPaneEndsAnExchangeThatHangs) {
  Start();
  BoxAnswerer boxes;
  bool disconnectAvailable = false;
  int activeWhenPressed = -1;
  boxes.onBox = [&](const std::string& text) {
    if (text != "Erase Program?") return;
    // The controller stops answering; the user clicks into a pane and
    // presses F8 while the erase waits for it.
    sim.Stall();
    QTimer::singleShot(50, window, [&] {
      QTest::mouseClick(window->PaneWidget(PANE_RCVD)->viewport(), Qt::LeftButton);
      activeWhenPressed = window->ActiveView();
      disconnectAvailable = window->Action(ID_DISCONNECT)->isEnabled();
      // Clicking gives the window back the activation the box took.
      window->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(window));
      QTest::keyClick(window, Qt::Key_F8);
      if (app->View()->Link().Connected()) {
        ADD_FAILURE() << "F8 left the link open";
        app->View()->OnDisconnect();  // lets the erase unwind
      }
    });
  };
  window->RunCommand(ID_ERASE_FLASH_CHIP);
  EXPECT_EQ(1 + PANE_RCVD, activeWhenPressed);
  EXPECT_TRUE(disconnectAvailable);
  EXPECT_FALSE(app->View()->Link().Connected());
  EXPECT_TRUE(WaitFor([&] { return Field().find("Disconnected") != std::string::npos; })) << Field();
}

// Our talker announces its checked blocks: once it runs on the emulated
// controller, the connection field says the extended protocol is in use and
// at which rate after the rate switch, and the Address Range dialog says
// that the second read costs nothing.
TEST_F(DesktopTest, ConnectionFieldNamesOurTalkersCheckedBlocks) {
  SimOptions options;
  options.cpu = true;
  VirtualController controller(options);
  ASSERT_TRUE(controller.Start());
  store.WriteProfileString("Comm", "Device 1", controller.SlavePath());
  store.WriteProfileInt("Comm", "BSB", 1200);
  store.WriteProfileInt("Comm", "Normal Baud", 9600);
  store.WriteProfileInt("Comm", "Fast Baud", 125000);
  store.WriteProfileString("file", "BOOT PATH", std::string(KESTON_TALKER_DIR) + "/");
  store.WriteProfileString("file", "BOOT NAME", "talker.s19");
  ForgetBootFileChoice();
  Start();
  BoxAnswerer boxes;
  window->RunCommand(ID_BOOT_LOAD);
  ASSERT_TRUE(app->View()->Link().BootMode()) << window->MessagePane()->text().toStdString();
  const std::string field = window->ConnectionField()->text().toStdString();
  EXPECT_NE(std::string::npos, field.find("125000 baud: Talker running, checked")) << field;
  const std::string tip = window->ConnectionField()->toolTip().toStdString();
  EXPECT_NE(std::string::npos, tip.find("extended protocol (checked blocks), at 125000 baud")) << tip;
  SaveWindowIfAsked(window, "talker-checked-blocks");
  EXPECT_EQ(controller.ListeningBaud(), 125000);

  QString note;
  OnNextModal([&](QWidget* dialog) {
    for (QLabel* label : dialog->findChildren<QLabel*>())
      if (label->text().startsWith("Checked blocks")) note = label->text();
    SaveWindowIfAsked(dialog, "address-range-checked");
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  window->RunCommand(ID_SAVE_PROGRAM);
  EXPECT_EQ(note.toStdString(), "Checked blocks: one CRC-checked read");

  // Disconnect sends the talker back to the normal rate first.
  app->View()->OnDisconnect();
  EXPECT_EQ(controller.ListeningBaud(), 9615);
  ForgetBootFileChoice();
}
