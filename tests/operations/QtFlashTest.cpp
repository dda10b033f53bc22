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
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "support/qt/FileDialogAnswer.h"
#include "OpsTestSupport.h"
#include "app/qt/MainWindow.h"
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

}  // namespace
