// keston-flash, the desktop program.
#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "app/CommandTable.h"
#include "app/qt/MainWindow.h"
#include "app/qt/TrellisApp.h"

namespace {

// Hooks for the demo script and for timing the start-up; unset in normal use.
//   KESTON_FLASH_CONNECT=1         run Connect once the window is shown
//   KESTON_FLASH_QUIT_AFTER_MS=n   quit n milliseconds after the window is shown
int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

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
  const int quitAfter = EnvInt("KESTON_FLASH_QUIT_AFTER_MS", -1);
  if (quitAfter >= 0) QTimer::singleShot(quitAfter, &app, &QApplication::quit);
  return app.exec();
}
