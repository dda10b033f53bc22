// keston-flash, the desktop program.
#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "app/CommandTable.h"
#include "app/qt/MainWindow.h"
#include "app/qt/TrellisApp.h"
#include "app/qt/ViewWidgets.h"

namespace {

// Hooks for the demo script and for timing the start-up; unset in normal use.
//   KESTON_FLASH_CONNECT=1         run Connect once the window is shown
//   KESTON_FLASH_QUIT_AFTER_MS=n   quit n milliseconds after the main view
//                                  was first painted
int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

// Starts the quit timer at the main view's first paint, which is when the
// window is really on the screen.
class QuitAfterFirstPaint : public QObject {
 public:
  explicit QuitAfterFirstPaint(int ms) : m_ms(ms) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !m_started) {
      m_started = true;
      QTimer::singleShot(m_ms, qApp, &QApplication::quit);
      watched->removeEventFilter(this);
    }
    return false;
  }

 private:
  int m_ms;
  bool m_started = false;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("KESTON Flash");
  QApplication::setOrganizationName("KESTON_FLASH");

  CTrellisApp theApp;
  if (!theApp.InitInstance()) return 1;

  MainWindow* window = theApp.Window();
  if (EnvInt("KESTON_FLASH_CONNECT", 0) == 1) {
    QTimer::singleShot(0, window, [window] { window->RunCommand(ID_CONNECT); });
  }
  QuitAfterFirstPaint quitter(EnvInt("KESTON_FLASH_QUIT_AFTER_MS", 0));
  if (EnvInt("KESTON_FLASH_QUIT_AFTER_MS", -1) >= 0) window->ViewWidget()->installEventFilter(&quitter);
  return app.exec();
}
