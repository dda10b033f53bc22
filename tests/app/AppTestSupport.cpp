#include "AppTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>


namespace {
// Parent of the watchers still waiting, so that a test cannot leave one
// behind to answer the next test's windows.
QObject& Watchers() {
  static QObject watchers;
  return watchers;
}
}  // namespace

void CancelModalWatchers() {
  const QList<QTimer*> pending = Watchers().findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
  if (!pending.isEmpty()) ADD_FAILURE() << pending.size() << " expected modal window(s) never appeared";
  qDeleteAll(pending);
}

void OnNextModal(std::function<void(QWidget*)> act, std::function<bool(QWidget*)> wanted) {
  auto* timer = new QTimer(&Watchers());
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act, wanted] {
    QWidget* w = QApplication::activeModalWidget();
    const bool found = w && w->isVisible() && (!wanted || wanted(w));
    if (!found && clock->elapsed() < 30000) return;
    timer->stop();
    timer->setParent(nullptr);
    timer->deleteLater();
    if (found)
      act(w);
    else
      ADD_FAILURE() << "no modal window appeared";
  });
  timer->start();
}

void Pump(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
}

void SaveWindowIfAsked(QWidget* window, const char* name) {
  const char* dir = std::getenv("KESTON_SCREENSHOT_DIR");
  if (!dir || !*dir) return;
  QDir().mkpath(dir);
  window->grab().save(QString(dir) + "/" + name + ".png");
}

void DesktopTest::SetUp() {}

void DesktopTest::Start() {
  app = std::make_unique<CTrellisApp>(&store);
  ASSERT_TRUE(app->InitInstance(true));
  window = app->Window();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

void DesktopTest::TearDown() {
  CancelModalWatchers();
  app.reset();
}

void OnNextMessageBox(std::function<void(QWidget*)> act) {
  OnNextModal(std::move(act), [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; });
}
