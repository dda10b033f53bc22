// The main window as the user meets it: titles, layout, menus with their
// keys and prompts, which commands are available where, and the status line.
#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>

#include "AppTestSupport.h"
#include "sim/VirtualController.h"
#include "app/CommandTable.h"
#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "app/qt/ViewWidgets.h"
#include "link/Link.h"

namespace {

struct Expected {
  const char* path;  // menu titles down to the item, '>'-separated
  int id;
  const char* key;  // "" for none
  const char* prompt;
};

// Every program command with a menu item, where it sits, its key and prompt.
// The bar cannot show keys beside its items, so their prompts name them.
const Expected kMenuItems[] = {
    {"&Settings...", 32774, "Alt+S", "Change the COM settings"},
    {"&Boot Load", 32781, "", "Initializes re-programming Connection"},
    {"&Connect", 32771, "F7", "Connects to the COM port  (F7)"},
    {"&Disconnect", 32772, "F8", "Disconnects from the COM port  (F8)"},
    {"&QuickFlash", 32800, "Ctrl+Q", "Flashes with previous file and settings w/o dialogs  (Ctrl+Q)"},
    {"&Memory Actions>&Erase Flash Chip", 32782, "",
     "Erases the Controller's Program.  Used for flash chips requiring erasure before programming."},
    {"&Memory Actions>&Flash Controller", 32780, "", "Flashes a new program into the controller"},
    {"&Memory Actions>Special>&Save Program", 32788, "", "This saves controller program to file"},
    {"&Memory Actions>Special>Write target RAM", 32783, "", "Writes Controller memory"},
    {"&Memory Actions>Special>Read Memory", 32784, "", ""},
    {"&Memory Actions>Special>Load Memory", 32785, "", "Loads a file into PC memory"},
    {"&Memory Actions>Special>Save Memory", 32796, "", ""},
    {"&Memory Actions>Special>Set Config /EEPROM", 32786, "",
     "This writes the config register or any other eeprom value. "},
    {"&Memory Actions>Special>Clear Processor", 32787, "",
     "This bulk erases the Processor for factory new feel"},
    {"&Memory Actions>Special>&Checksum Memory", 32792, "", "Calculates a checksum for a file"},
    {"&Memory Actions>Special>&Flash ID", 32794, "", ""},
    {"&Memory Actions>Special>&Flash EEPROM CHIP", 32795, "", "Programs an EEPROM Flash chip"},
    {"&Memory Actions>Special>Change Loader", 32799, "", "clears saved filename"},
    {"&Memory Actions>Comm Actions>&Force Prog Connection", 32798, "",
     "Forces Boot Connection to be viewed as Good"},
    {"&Help>&About KESTON Flash", 57664, "", "Display program information, version number and copyright"},
    {"&File>&New", ID_FILE_NEW, "Ctrl+N", nullptr},
    {"&File>&Open...", ID_FILE_OPEN, "Ctrl+O", nullptr},
    {"&File>&Save", ID_FILE_SAVE, "Ctrl+S", nullptr},
    {"&File>Save &As...", ID_FILE_SAVE_AS, "", nullptr},
    {"&File>&Print...", ID_FILE_PRINT, "Ctrl+P", nullptr},
    {"&File>Print Pre&view", ID_FILE_PRINT_PREVIEW, "", nullptr},
    {"&File>P&rint Setup...", ID_FILE_PRINT_SETUP, "", nullptr},
    {"&File>E&xit", ID_APP_EXIT, "", nullptr},
};

// Walks the real menu bar to the item named by `path`.
QAction* FindMenuItem(QMenuBar* bar, const QString& path, QMenu** owner) {
  QStringList parts = path.split('>');
  QList<QAction*> actions = bar->actions();
  *owner = nullptr;
  for (int i = 0; i < parts.size(); ++i) {
    QAction* hit = nullptr;
    for (QAction* a : actions) {
      if (a->text() == parts[i] && a->isVisible()) hit = a;
    }
    if (!hit) return nullptr;
    if (i + 1 == parts.size()) return hit;
    if (!hit->menu()) return nullptr;
    *owner = hit->menu();
    actions = hit->menu()->actions();
  }
  return nullptr;
}

QStringList TopLevelTexts(QMenuBar* bar) {
  QStringList texts;
  for (QAction* a : bar->actions()) texts << a->text();
  return texts;
}

// Rows of the image that hold anything but the background colour, leaving
// out the frame that marks the active view.
std::pair<int, int> InkRows(const QImage& image) {
  constexpr int kInset = 3;
  const QRgb background = image.pixel(image.width() - 1 - kInset, kInset);
  int first = -1, last = -1;
  for (int y = kInset; y < image.height() - kInset; ++y) {
    for (int x = kInset; x < image.width() - kInset; ++x) {
      if (image.pixel(x, y) != background) {
        if (first < 0) first = y;
        last = y;
        break;
      }
    }
  }
  return {first, last};
}

}  // namespace

TEST_F(DesktopTest, FirstStartShowsTitledWindowWithViewAndFourEmptyPanes) {
  Start();
  EXPECT_TRUE(window->windowTitle().contains("KESTON Flash")) << window->windowTitle().toStdString();

  QSplitter* splitter = window->Splitter();
  ASSERT_EQ(5, splitter->count());
  EXPECT_EQ(splitter->widget(0), window->ViewWidget());
  QList<int> sizes = splitter->sizes();
  EXPECT_GE(sizes[0], 400);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(50, sizes[i]) << "row " << i;

  // Each empty pane shows its title where its first line will go.
  const char* titles[4] = {"DTC Code: ", "Comm err: ", "XMIT: ", "RCVD: "};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(titles[i], app->Frame()->Pane(i)->Title());
    EXPECT_EQ(0, app->Frame()->Pane(i)->Count());
    const auto ink = InkRows(window->PaneWidget(i)->viewport()->grab().toImage());
    EXPECT_NE(-1, ink.first) << "pane " << i;
    EXPECT_LT(ink.second, 18) << "pane " << i;
  }
  // An untitled empty pane draws nothing: the ink above is the title's.
  app->Frame()->Pane(PANE_RCVD)->SetTitle("");
  Pump(20);
  EXPECT_EQ(-1, InkRows(window->PaneWidget(PANE_RCVD)->viewport()->grab().toImage()).first);
  EXPECT_EQ("Disconnected, " + std::string(24, ' '), app->View()->StatusLineText());
  EXPECT_EQ("Ready", window->MessagePane()->text());

  QStringList tools;
  for (QAction* a : window->ToolBar()->actions()) tools << (a->isSeparator() ? "|" : a->toolTip());
  EXPECT_EQ(QStringList({"New", "Open", "Save", "|", "Cut", "Copy", "Paste", "|", "Print", "About"}), tools);
  for (const char* name : {"CAP", "NUM", "SCRL"})
    EXPECT_NE(nullptr, window->statusBar()->findChild<QLabel*>(name));
}

TEST_F(DesktopTest, StatusLineIsDrawnInTheTwelfthTextRowForEveryConnectionState) {
  VirtualController sim;
  ASSERT_TRUE(sim.Start());
  store.WriteProfileString("Comm", "Device 1", sim.SlavePath());
  Start();
  auto ink = InkRows(window->ViewWidget()->grab().toImage());
  EXPECT_GE(ink.first, 216);
  EXPECT_LT(ink.second, 216 + 18);

  // The text drawn follows the flags the view reads.
  app->View()->OnConnect();
  ASSERT_TRUE(app->View()->Link().Connected());
  EXPECT_EQ(0u, app->View()->StatusLineText().find("Connected, Connection Normal"));
  app->View()->Link().SetBootMode(true);
  EXPECT_EQ(0u, app->View()->StatusLineText().find("Connected, Connection Boot Mode"));
  QImage bootImage = window->ViewWidget()->grab().toImage();
  app->View()->Link().SetBootMode(false);
  QImage normalImage = window->ViewWidget()->grab().toImage();
  app->View()->OnDisconnect();
  EXPECT_NE(bootImage, normalImage);
  ink = InkRows(bootImage);
  EXPECT_GE(ink.first, 216);
  EXPECT_LT(ink.second, 216 + 18);
}

TEST_F(DesktopTest, MenuBarHoldsEveryCommandWithItsKeyAndPrompt) {
  Start();
  QMenuBar* bar = window->menuBar();
  EXPECT_EQ(QStringList({"&File", "&Memory Actions", "&Settings...", "&Boot Load", "&Connect", "&Disconnect",
                         "&QuickFlash", "&Help"}),
            TopLevelTexts(bar));

  for (const Expected& e : kMenuItems) {
    SCOPED_TRACE(e.path);
    QMenu* owner = nullptr;
    QAction* a = FindMenuItem(bar, e.path, &owner);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(e.id, a->data().toInt());
    // A key that is the item's own mnemonic on the bar is reached that way.
    const bool byMnemonic =
        !owner && a->shortcut().isEmpty() && QKeySequence::mnemonic(a->text()) == QKeySequence(e.key);
    if (!byMnemonic) {
      EXPECT_EQ(QKeySequence(e.key), a->shortcut());
    }
    if (!e.prompt) continue;

    // Highlight the item the way the mouse does and read the message pane.
    if (owner) {
      std::vector<QMenu*> chain;
      for (QMenu* m = owner; m; m = qobject_cast<QMenu*>(m->parentWidget())) chain.insert(chain.begin(), m);
      for (QMenu* m : chain) m->popup(window->mapToGlobal(QPoint(20, 40)));
      owner->setActiveAction(a);
      EXPECT_EQ(e.prompt, window->MessagePane()->text().toStdString());
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*it)->hide();
    } else {
      // The highlight the mouse or the keyboard gives an item on the bar.
      bar->setActiveAction(a);
      Pump(5);
      EXPECT_EQ(e.prompt, window->MessagePane()->text().toStdString());
      bar->setActiveAction(nullptr);
      QEvent leave(QEvent::Leave);
      QApplication::sendEvent(bar, &leave);
    }
    Pump(5);
    EXPECT_EQ("Ready", window->MessagePane()->text().toStdString()) << "after the menu closed";
  }
}

TEST_F(DesktopTest, AboutBoxNamesTheProgramAndHasOnlyOk) {
  Start();
  QString title;
  int buttons = 0;
  OnNextModal([&](QWidget* w) {
    title = w->windowTitle();
    buttons = static_cast<int>(w->findChildren<QAbstractButton*>().size());
    static_cast<QDialog*>(w)->accept();
  });
  window->RunCommand(ID_APP_ABOUT);
  EXPECT_EQ("About KESTON Flash", title.toStdString());
  EXPECT_EQ(1, buttons);
}

TEST_F(DesktopTest, AltSOpensTheSettingsDialog) {
  Start();
  QString title;
  OnNextModal([&](QWidget* w) {
    title = w->windowTitle();
    static_cast<QDialog*>(w)->reject();
  });
  QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ("TTY Settings...", title.toStdString());
}

TEST_F(DesktopTest, LogCommandsHaveNoMenuItemButAltLReachesTheTrafficLog) {
  Start();
  QMenu* owner = nullptr;
  for (QAction* a : window->findChildren<QAction*>()) {
    const int id = a->data().toInt();
    if (id == ID_LOG_COMM || id == ID_LOG_RUN) {
      for (QObject* w : a->associatedObjects()) EXPECT_EQ(nullptr, qobject_cast<QMenu*>(w)) << id;
      EXPECT_FALSE(FindMenuItem(window->menuBar(), a->text(), &owner));
    }
  }
  EXPECT_EQ(QKeySequence("Alt+L"), window->Action(ID_LOG_COMM)->shortcut());
  EXPECT_TRUE(window->Action(ID_LOG_RUN)->shortcuts().isEmpty());
  EXPECT_EQ("Logs run data to a file", window->Action(ID_LOG_RUN)->statusTip().toStdString());

  // Alt+L asks for the traffic log's file; cancelling leaves no log.
  QString title;
  OnNextModal([&](QWidget* w) {
    title = w->windowTitle();
    static_cast<QDialog*>(w)->reject();
  });
  QTest::keyClick(window, Qt::Key_L, Qt::AltModifier);
  EXPECT_FALSE(title.isEmpty());
  EXPECT_FALSE(app->View()->IsCommLogOpen());
}

TEST_F(DesktopTest, PaneFocusLeavesDisconnectSaveMemoryAndQuickFlashAndIsShownOnThePane) {
  Start();
  QAction* connect = window->Action(ID_CONNECT);
  QAction* quick = window->Action(ID_QUICK_FLASH);
  EXPECT_TRUE(connect->isEnabled());
  const QRgb highlight = window->palette().highlight().color().rgb();
  auto framed = [&](QWidget* w) { return w->grab().toImage().pixel(0, 0) == highlight; };
  EXPECT_TRUE(framed(window->ViewWidget()));

  QTest::mouseClick(window->PaneWidget(PANE_XMIT)->viewport(), Qt::LeftButton);
  EXPECT_EQ(1 + PANE_XMIT, window->ActiveView());
  // The frame moves with the keyboard: onto the pane, off the main view.
  EXPECT_TRUE(framed(window->PaneWidget(PANE_XMIT)->viewport()));
  EXPECT_FALSE(framed(window->ViewWidget()));
  for (int i : {PANE_DTC, PANE_COMM_ERR, PANE_RCVD})
    EXPECT_FALSE(framed(window->PaneWidget(i)->viewport())) << i;
  for (const CommandInfo& c : CommandTable()) {
    if (!IsViewCommand(c.id)) continue;
    // Disconnect must stay within reach whatever has the focus: it is the
    // only way to stop a transfer.
    const bool stays = c.id == ID_SAVE_MEMORY || c.id == ID_QUICK_FLASH || c.id == ID_DISCONNECT;
    EXPECT_EQ(stays, window->Action(c.id)->isEnabled()) << c.id;
  }
  EXPECT_TRUE(window->Action(ID_APP_ABOUT)->isEnabled());

  // F7 finds no handler; Ctrl+Q finds the frame's, which does nothing: no
  // file dialog, no status text.
  QTest::keyClick(window, Qt::Key_F7);
  Pump(20);
  EXPECT_FALSE(app->View()->Link().Connected());
  QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
  Pump(20);
  EXPECT_EQ(nullptr, QApplication::activeModalWidget());
  EXPECT_EQ("Ready", app->Frame()->GetStatusText());

  QTest::mouseClick(window->ViewWidget(), Qt::LeftButton);
  EXPECT_EQ(0, window->ActiveView());
  EXPECT_TRUE(connect->isEnabled());
  EXPECT_TRUE(quick->isEnabled());
  EXPECT_TRUE(framed(window->ViewWidget()));
  EXPECT_FALSE(framed(window->PaneWidget(PANE_XMIT)->viewport()));
}

TEST_F(DesktopTest, RunningExchangeDisablesOtherTargetCommandsButNotDisconnect) {
  Start();
  CExchangeGuard guard(app->View()->Link());
  ASSERT_TRUE(guard.Acquired());
  window->UpdateCommandUI();
  for (int id : {ID_BOOT_LOAD, ID_QUICK_FLASH, ID_ERASE_FLASH_CHIP, ID_FLASH_CONTROLLER, ID_SAVE_PROGRAM,
                 ID_WRITE_TARGET_RAM, ID_READ_MEMORY, ID_SET_CONFIG_EEPROM, ID_CLEAR_PROCESSOR, ID_FLASH_ID,
                 ID_FLASH_EEPROM_CHIP, ID_FORCE_PROG_CONNECTION, ID_CONNECT, ID_SETTINGS}) {
    EXPECT_FALSE(window->Action(id)->isEnabled()) << id;
    EXPECT_FALSE(app->View()->OnCommand(id)) << id;
  }
  for (int id : {ID_DISCONNECT, ID_LOAD_MEMORY, ID_SAVE_MEMORY, ID_CHECKSUM_MEMORY, ID_CHANGE_LOADER,
                 ID_LOG_COMM, ID_LOG_RUN}) {
    EXPECT_TRUE(window->Action(id)->isEnabled()) << id;
  }
  // The menus catch up by themselves once the exchange ends.
  app->View()->Link().ExchangeFlag().store(false);
  Pump(400);
  EXPECT_TRUE(window->Action(ID_FLASH_CONTROLLER)->isEnabled());
}

TEST_F(DesktopTest, PaneDrawsItsLinesAndFollowsTheNewestOne) {
  Start();
  CListDisp* pane = app->Frame()->Pane(PANE_COMM_ERR);
  for (int i = 0; i < 12; ++i) pane->AddLine("line " + std::to_string(i));
  Pump(20);
  ListDispWidget* w = window->PaneWidget(PANE_COMM_ERR);
  QScrollBar* v = w->verticalScrollBar();
  EXPECT_EQ(12 * 18 - w->viewport()->height(), v->maximum());
  EXPECT_EQ(v->maximum(), v->value());
  EXPECT_NE(-1, InkRows(w->viewport()->grab().toImage()).first);
  pane->ClearLines();
  Pump(20);
  EXPECT_EQ(0, v->maximum());
  // Emptied, the pane is back to showing only its title.
  EXPECT_LT(InkRows(w->viewport()->grab().toImage()).second, 18);
}

TEST_F(DesktopTest, WindowKeepsItsSizePlaceAndRowHeightsForTheNextRun) {
  Start();
  window->setGeometry(QRect(30, 40, 700, 480));
  Pump(50);
  window->Splitter()->setSizes({150, 40, 60, 30, 70});
  Pump(20);
  const QRect geometry = window->geometry();
  const QList<int> rows = window->Splitter()->sizes();
  window->close();
  app.reset();

  Start();
  Pump(50);
  EXPECT_EQ(geometry, window->geometry());
  EXPECT_EQ(rows, window->Splitter()->sizes());
  // The program's own sections are left alone.
  EXPECT_EQ("", store.GetProfileString("Comm", "Geometry", ""));
  EXPECT_EQ("", store.GetProfileString("file", "Rows", ""));
}

TEST_F(DesktopTest, WindowIgnoresGarbageAndComesBackFromOffScreen) {
  Start();
  const QSize firstStart = window->size();
  const QList<int> firstRows = window->Splitter()->sizes();
  app.reset();

  for (const char* garbage : {"", "wide", "1,2,3", "10,10,700,abc", "0,0,-700,500", "0,0,5,5"}) {
    SCOPED_TRACE(garbage);
    store.WriteProfileString("Window", "Geometry", garbage);
    store.WriteProfileString("Window", "Rows", "50,50");
    Start();
    Pump(50);
    EXPECT_EQ(firstStart, window->size());
    EXPECT_EQ(firstRows, window->Splitter()->sizes());
    app.reset();
  }

  // Stored on a screen that is no longer there, or larger than this one.
  for (const char* away : {"-50000,-50000,700,480", "90000,200,700,480", "10,10,50000,40000"}) {
    SCOPED_TRACE(away);
    store.WriteProfileString("Window", "Geometry", away);
    store.WriteProfileString("Window", "Rows", "-5,1,2,3,4");
    Start();
    Pump(50);
    const QRect area = window->screen()->availableGeometry();
    // On this screen, no larger than it (the window system's frame aside).
    const QRect g = window->geometry();
    EXPECT_TRUE(area.contains(g.center())) << g.x() << "," << g.y();
    EXPECT_LE(g.width(), area.width());
    EXPECT_LE(g.height(), area.height());
    EXPECT_GE(window->ViewWidget()->height(), 18);
    app.reset();
  }
}
