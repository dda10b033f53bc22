// Flash Controller through the real desktop window under Qt's offscreen
// platform: the menu command, then every window it opens answered as a user
// would (the reset prompt, the file dialog, Load Offset, Address Range),
// against the virtual controller.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <set>
#include <QTest>
#include <QProgressBar>
#include <QScreen>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "support/qt/FileDialogAnswer.h"
#include "OpsTestSupport.h"
#include "app/TrellisView.h"
#include "app/qt/MainWindow.h"
#include "app/qt/ProgressWindow.h"
#include "app/qt/TrellisApp.h"
#include "operations/AddressRangeDlg.h"
#include "operations/FileChoice.h"
#include "sim/VirtualController.h"
#include "support/MemoryStore.h"
#include "target/BootLoad.h"

using namespace opstest;

namespace {

std::string SourceDir() {
  const char* env = std::getenv("KESTON_SOURCE_DIR");
  return env && *env ? env : KESTON_SOURCE_DIR_FALLBACK;
}

// Answers each modal window once, as it appears, and notes what it saw.
class User {
 public:
  std::function<void(QWidget*)> onAddressRange;
  std::string programFile;
  std::vector<std::string> seen;

  void Start() {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    m_timer.start();
  }
  void Stop() { m_timer.stop(); }

 private:
  void Tick() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || w == m_last) return;
    m_last = w;
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      seen.push_back("box: " + box->text().toStdString());
      box->button(box->standardButtons() & QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::Yes)->click();
    } else if (auto* files = qobject_cast<QFileDialog*>(w)) {
      seen.push_back("file: " + files->windowTitle().toStdString());
      AnswerFileDialog(files, QString::fromStdString(programFile));
    } else if (auto* buttons = w->findChild<QDialogButtonBox*>("buttons")) {
      seen.push_back("dialog: " + w->windowTitle().toStdString());
      if (w->windowTitle() == "Address Range" && onAddressRange) onAddressRange(w);
      buttons->button(QDialogButtonBox::Ok)->click();
    } else {
      seen.push_back("unknown: " + w->windowTitle().toStdString());
    }
  }

  QTimer m_timer;
  QPointer<QWidget> m_last;
};

// With KESTON_SCREENSHOT_DIR set (a run under Xvfb), the screen as the user sees
// it at the moments worth looking at, saved as PNG files there.
void Shot(const char* name) {
  const char* dir = std::getenv("KESTON_SCREENSHOT_DIR");
  if (!dir || !*dir) return;
  QApplication::processEvents();
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen) screen->grabWindow(0).save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

void Pump(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(QtFlashController, FlashesThroughTheMenusAsAUserWould) {
  VirtualController sim;
  ASSERT_TRUE(sim.Start());
  ScratchDir dir;
  std::vector<uint8_t> bytes = Pattern(0x800, 11);
  WriteText(dir.Path("ecu.s19"), SRecords(0xB400, bytes));

  MemoryStore store;
  store.WriteProfileString("Comm", "Device 1", sim.SlavePath());
  store.WriteProfileInt("Comm", "Port", 0);
  store.WriteProfileInt("Comm", "BSB", 1200);
  store.WriteProfileInt("Comm", "Normal Baud", 9600);
  store.WriteProfileString("file", "BOOT PATH", SourceDir() + "/examples/");
  store.WriteProfileString("file", "BOOT NAME", "stand-in-loader.s19");
  ForgetBootFileChoice();
  ForgetRememberedFiles();
  CAddressRangeDlg::ForgetRemembered();

  auto app = std::make_unique<CTrellisApp>(&store);
  ASSERT_TRUE(app->InitInstance(true));
  MainWindow* window = app->Window();

  User user;
  user.programFile = dir.Path("ecu.s19");
  std::string offeredStart, offeredFinish;
  user.onAddressRange = [&](QWidget* form) {
    offeredStart = form->findChild<QLineEdit*>("ctl1022")->text().toStdString();
    offeredFinish = form->findChild<QLineEdit*>("ctl1023")->text().toStdString();
    form->findChild<QCheckBox*>("ctl1031")->setChecked(true);  // Exclude Active, b600-b7ff
  };
  user.Start();
  window->RunCommand(32780);  // Memory Actions, Flash Controller
  Pump(100);
  user.Stop();

  EXPECT_EQ((std::vector<std::string>{"box: Reset in Bootstrap Mode", "file: Select file name to Load",
                                      "dialog: Load Offset", "dialog: Address Range"}),
            user.seen);
  EXPECT_EQ("b400", offeredStart);
  EXPECT_EQ("bbff", offeredFinish);
  EXPECT_EQ("Memory written correctly", window->MessagePane()->text().toStdString());

  std::vector<uint8_t> flash = sim.Flash();
  for (unsigned a = 0xB400; a < 0xBC00; ++a) {
    bool excluded = a >= 0xB600 && a <= 0xB7FF;
    ASSERT_EQ(excluded ? 0xFF : bytes[a - 0xB400], flash[a]) << std::hex << a;
  }
  EXPECT_EQ(dir.Path(), store.GetProfileString("file", "Default path", ""));
  EXPECT_EQ("ecu.s19", store.GetProfileString("file", "Default Name", ""));
  app.reset();
}

// Every pass of a flash, its verify and an erase show the progress window:
// what is written, how far, how fast; Cancel stops at the next command
// boundary and leaves the talker ready for the next command.
TEST(QtFlashController, ProgressWindowsShowEveryPassAndCancelStopsCleanly) {
  SimOptions options;
  // Long enough for the watcher below to see the erase's window: while the
  // program waits for the answer it runs the event loop only when a byte
  // comes or every 50 ms.
  options.eraseTimeMs = 400;
  VirtualController sim(options);
  ASSERT_TRUE(sim.Start());
  ScratchDir dir;
  WriteText(dir.Path("big.s19"), SRecords(0x8000, Pattern(0x3000, 5)));

  MemoryStore store;
  store.WriteProfileString("Comm", "Device 1", sim.SlavePath());
  store.WriteProfileString("file", "BOOT PATH", SourceDir() + "/examples/");
  store.WriteProfileString("file", "BOOT NAME", "stand-in-loader.s19");
  ForgetBootFileChoice();
  ForgetRememberedFiles();
  CAddressRangeDlg::ForgetRemembered();
  auto app = std::make_unique<CTrellisApp>(&store);
  ASSERT_TRUE(app->InitInstance(true));
  MainWindow* window = app->Window();

  // Watches the progress windows as they come and go.
  struct Seen {
    std::vector<std::string> labels;
    std::set<std::string> subjects;
    bool percentShown = false, rateShown = false, cancelOnErase = false;
  } seen;
  bool cancelAtQuarter = false, cancelled = false, shotTaken = false;
  QTimer watch;
  watch.setInterval(5);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* w = qobject_cast<ProgressWindow*>(top);
      if (!w || !w->isVisible()) continue;
      const std::string label = w->m_label->text().toStdString();
      if (seen.labels.empty() || seen.labels.back() != label) seen.labels.push_back(label);
      seen.subjects.insert(w->m_subject->text().toStdString());
      seen.percentShown = seen.percentShown || w->m_bar->text().endsWith("%");
      seen.rateShown = seen.rateShown || w->m_rate->text().contains("bytes/s");
      if (label == "Erasing Flash" && w->m_cancel->isVisible()) seen.cancelOnErase = true;
      const int span = w->m_bar->maximum() - w->m_bar->minimum();
      if (!shotTaken && label == "Writing Flash" && span > 0 && w->m_bar->value() - w->m_bar->minimum() > span / 3) {
        shotTaken = true;
        Shot("flash-progress");
      }
      if (cancelAtQuarter && !cancelled && label == "Writing Flash" && span > 0 &&
          w->m_bar->value() - w->m_bar->minimum() > span / 4) {
        QTest::mouseClick(w->m_cancel, Qt::LeftButton);
        cancelled = true;
      }
    }
  });
  watch.start();

  User user;
  user.programFile = dir.Path("big.s19");
  user.Start();
  window->RunCommand(32782);  // Erase Flash Chip
  window->RunCommand(32780);  // Flash Controller
  Pump(50);
  Shot("flash-done");
  EXPECT_EQ("Memory written correctly", window->MessagePane()->text().toStdString());
  EXPECT_NE(seen.labels.end(), std::find(seen.labels.begin(), seen.labels.end(), "Erasing Flash"));
  EXPECT_FALSE(seen.cancelOnErase) << "an erase is one command: nothing to stop at";
  EXPECT_NE(seen.labels.end(), std::find(seen.labels.begin(), seen.labels.end(), "Writing Flash"));
  EXPECT_NE(seen.labels.end(), std::find(seen.labels.begin(), seen.labels.end(), "Verifying"));
  EXPECT_TRUE(seen.subjects.count("big.s19"));
  EXPECT_TRUE(seen.percentShown);
  EXPECT_TRUE(seen.rateShown);

  // Cancelled at a quarter: stopped, said so, and the talker answers the next command.
  window->RunCommand(32782);
  cancelAtQuarter = true;
  window->RunCommand(32780);
  Pump(50);
  EXPECT_TRUE(cancelled);
  const std::string stopped = window->MessagePane()->toolTip().toStdString();
  EXPECT_EQ(0u, stopped.find("Memory written Failed!!!\nStopped by the user before ")) << stopped;
  EXPECT_EQ(Outcome::Interrupted, app->View()->m_lastResult.outcome);
  EXPECT_TRUE(app->View()->Link().BootMode());
  cancelAtQuarter = false;
  window->RunCommand(32780);  // no new boot load: the same talker
  Pump(50);
  user.Stop();
  EXPECT_EQ("Memory written correctly", window->MessagePane()->text().toStdString());
  EXPECT_EQ(1, std::count(user.seen.begin(), user.seen.end(), "box: Reset in Bootstrap Mode"));
  app.reset();
}

}  // namespace
