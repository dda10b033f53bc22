// Typed keys on the main view reach a controller behind a real pseudo-
// terminal, and the frames they send are echoed in the "XMIT: " pane.
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>

#include "AppTestSupport.h"
#include "app/CommandTable.h"
#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "app/qt/ViewWidgets.h"
#include "link/Link.h"
#include "sim/VirtualController.h"

namespace {

class KeyboardTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    ASSERT_TRUE(sim.Start());
    store.WriteProfileString("Comm", "Device 1", sim.SlavePath());
  }
  void TearDown() override {
    DesktopTest::TearDown();  // disconnects before the controller goes away
    sim.Stop();
  }

  // Waits (dispatching events) until the controller has seen `count` bytes.
  std::vector<uint8_t> HostBytesAfter(size_t count) {
    QElapsedTimer clock;
    clock.start();
    std::vector<uint8_t> bytes = sim.HostBytes();
    while (bytes.size() < count && clock.elapsed() < 20000) {
      Pump(10);
      bytes = sim.HostBytes();
    }
    return bytes;
  }

  VirtualController sim;
};

}  // namespace

TEST_F(KeyboardTest, TypedKeysSendFramesAndEchoThemWhileConnected) {
  Start();
  // Disconnected: typing sends nothing.
  QTest::keyClick(window->ViewWidget(), 'a');
  Pump(50);
  EXPECT_TRUE(sim.HostBytes().empty());
  EXPECT_EQ(0, app->Frame()->Pane(PANE_XMIT)->Count());

  QTest::keyClick(window, Qt::Key_F7);
  ASSERT_TRUE(app->View()->Link().Connected());
  EXPECT_EQ(0u, app->View()->StatusLineText().find("Connected, Connection Normal"));

  QTest::keyClicks(window->ViewWidget(), "3Ab");  // keys without a frame
  QTest::keyClick(window->ViewWidget(), 'a');
  const std::vector<uint8_t> expected = {0xF4, 0x56, 0x0A, 0xAC};
  EXPECT_EQ(expected, HostBytesAfter(4));

  std::vector<std::string> lines = app->Frame()->Pane(PANE_XMIT)->Lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("XMIT: F4,56,A,AC,", lines[0]);

  QTest::keyClick(window->ViewWidget(), '0');
  HostBytesAfter(9);
  lines = app->Frame()->Pane(PANE_XMIT)->Lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("XMIT: F4,57,1,0,B4,", lines[1]);

  QTest::keyClick(window, Qt::Key_F8);
  EXPECT_FALSE(app->View()->Link().Connected());
  EXPECT_EQ(0u, app->View()->StatusLineText().find("Disconnected, "));
}

// A key typed while the talker runs would reach it as a command and leave it
// out of step for every command after: nothing is sent, and the status bar
// says why, once.
TEST_F(KeyboardTest, KeysAreNotSentWhileTheTalkerRuns) {
  Start();
  window->RunCommand(ID_FORCE_PROG_CONNECTION);
  ASSERT_TRUE(app->View()->Link().Connected() && app->View()->Link().BootMode());
  const size_t before = sim.HostBytes().size();
  QTest::keyClicks(window->ViewWidget(), "a0a0");
  Pump(100);
  EXPECT_EQ(before, sim.HostBytes().size());
  EXPECT_EQ(0, app->Frame()->Pane(PANE_XMIT)->Count());
  EXPECT_EQ("Keys are not sent while the talker runs (Connection Boot Mode)", app->Frame()->GetStatusText());
  int said = 0;
  app->Frame()->SetStatusText(0, "something else");
  QTest::keyClick(window->ViewWidget(), 'a');
  said += app->Frame()->GetStatusText() != "something else";
  EXPECT_EQ(0, said) << "the reason is given once, not with every key";

  // A plain connection sends them again.
  window->RunCommand(ID_DISCONNECT);
  window->RunCommand(ID_CONNECT);
  QTest::keyClick(window->ViewWidget(), 'a');
  std::vector<uint8_t> bytes = HostBytesAfter(before + 4);
  ASSERT_EQ(before + 4, bytes.size());
  EXPECT_EQ((std::vector<uint8_t>{0xF4, 0x56, 0x0A, 0xAC}), std::vector<uint8_t>(bytes.end() - 4, bytes.end()));
}

TEST_F(KeyboardTest, ConnectFailureLeavesTheWindowDisconnected) {
  store.WriteProfileString("Comm", "Device 1", "/nonexistent/tty");
  Start();
  std::string text, caption;
  OnNextModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(nullptr, box);
    text = box->text().toStdString();
    caption = box->windowTitle().toStdString();
    EXPECT_EQ(QMessageBox::Warning, box->icon());
    box->accept();
  });
  window->RunCommand(ID_CONNECT);
  EXPECT_EQ("Connection failed!", text);
  EXPECT_EQ("TTY application", caption);
  EXPECT_FALSE(app->View()->Link().Connected());
}

TEST_F(KeyboardTest, ClosingTheWindowDuringAnExchangeEndsTheLinkSoTheExchangeCanUnwind) {
  Start();
  window->RunCommand(ID_CONNECT);
  ASSERT_TRUE(app->View()->Link().Connected());
  {
    CExchangeGuard exchange(app->View()->Link());  // as a command waiting for the target holds it
    window->close();
    EXPECT_FALSE(app->View()->Link().Connected());
  }
}
