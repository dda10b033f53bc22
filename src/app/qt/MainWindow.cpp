#include "app/qt/MainWindow.h"
#include "target/Stream.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

#include "app/AboutDlg.h"
#include "app/CommandTable.h"
#include "panes/MainFrame.h"
#include "app/TrellisDoc.h"
#include "app/TrellisView.h"
#include "app/qt/ToolIcons.h"
#include "app/qt/ViewWidgets.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The X11 modifier bits that carry the lock states in a key event.
constexpr quint32 kX11LockMask = 0x02;
constexpr quint32 kX11NumLockMask = 0x10;

bool IsOnMenuBar(int id) {
  for (const MenuEntry& e : MenuBar())
    if (e.kind == MenuEntry::Item && e.id == id) return true;
  return false;
}

// Where the window keeps its own layout; the program's sections are "Comm",
// "file", "flash" and the recent-file list.
constexpr const char* kWindowSection = "Window";
constexpr int kRowCount = 5;

// "a,b,c,..." with exactly `count` integers and nothing else; false for
// anything a person or another program version may have left there.
bool ParseInts(const std::string& text, int count, std::vector<int>& out) {
  out.clear();
  const QStringList parts = Q(text).split(',');
  if (parts.size() != count) return false;
  for (const QString& p : parts) {
    bool ok = false;
    const int v = p.trimmed().toInt(&ok);
    if (!ok) return false;
    out.push_back(v);
  }
  return true;
}

QString JoinInts(const QList<int>& values) {
  QStringList parts;
  for (int v : values) parts << QString::number(v);
  return parts.join(',');
}

// A status text may span lines ("Bootload verify Failed.\n Boot again.\n ");
// the message pane shows it on one, so that the bar keeps its height.
QString OneLine(const QString& text) {
  if (!text.contains('\n')) return text;
  QStringList parts;
  for (const QString& line : text.split('\n')) {
    const QString t = line.trimmed();
    if (!t.isEmpty()) parts << t;
  }
  return parts.join(' ');
}

}  // namespace

MainWindow::MainWindow(CTrellisView& view, CMainFrame& frame, CTrellisDoc& doc, CRecentFileList& recent)
    : m_view(view), m_frame(frame), m_doc(doc), m_recent(recent), m_printer(new QPrinter) {
  setObjectName("MainWindow");
  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  CreateClient();
  UpdateTitle();
  resize(800, sizeHint().height());
  RestoreWindowState();
  RefreshConnection(false);

  qApp->installEventFilter(this);
  // Menus and keys ask for the commands' state the way an idle loop would:
  // an exchange may start or end while no menu is open.
  connect(&m_idleTimer, &QTimer::timeout, this, [this] {
    UpdateCommandUI();
    // Flags changed by code that asked for no redraw still reach the screen.
    RefreshConnection(true);
  });
  m_idleTimer.start(200);
  UpdateCommandUI();
}

MainWindow::~MainWindow() { qApp->removeEventFilter(this); }

void MainWindow::CreateActions() {
  for (const CommandInfo& c : CommandTable()) {
    if (c.id >= ID_FILE_MRU_FILE1 && c.id < ID_FILE_MRU_FILE1 + kRecentFileCount) continue;
    auto* a = new QAction(this);
    a->setObjectName(QString("cmd%1").arg(c.id));
    a->setData(c.id);
    a->setText(Q(c.menuText.empty() ? c.toolTip : c.menuText));
    a->setToolTip(Q(c.toolTip));
    QList<QKeySequence> keys;
    for (const std::string& k : c.keys) {
      // An item directly on the menu bar whose key is its own mnemonic
      // ("&Settings..." and Alt+S) is reached by the mnemonic alone: the
      // same key registered twice is ambiguous and would do nothing.
      if (QKeySequence(Q(k)) == QKeySequence::mnemonic(Q(c.menuText)) && IsOnMenuBar(c.id)) continue;
      keys << QKeySequence(Q(k));
    }
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    // A menu lists an item's key beside it; the menu bar cannot, so the
    // prompt of an item placed there names the key instead.
    QString prompt = Q(c.prompt);
    if (IsOnMenuBar(c.id) && !keys.isEmpty() && !prompt.isEmpty())
      prompt += "  (" + keys.first().toString(QKeySequence::NativeText) + ")";
    a->setStatusTip(prompt);
    const int id = c.id;
    connect(a, &QAction::triggered, this, [this, id] { RunCommand(id); });
    m_actions[id] = a;
    // Commands without a menu item (the logs, the editing keys, pane
    // switching) still need their keys to reach the window.
    addAction(a);
  }
  for (int i = 0; i < kRecentFileCount; ++i) {
    auto* a = new QAction(this);
    const int id = ID_FILE_MRU_FILE1 + i;
    a->setObjectName(QString("cmd%1").arg(id));
    a->setData(id);
    a->setStatusTip(Q(FindCommand(id)->prompt));
    connect(a, &QAction::triggered, this, [this, id] { RunCommand(id); });
    m_actions[id] = a;
  }
}

void MainWindow::CreateMenus() {
  QMenuBar* bar = menuBar();
  std::function<void(QMenu*, const std::vector<MenuEntry>&)> fill =
      [&](QMenu* menu, const std::vector<MenuEntry>& entries) {
        for (const MenuEntry& e : entries) {
          switch (e.kind) {
            case MenuEntry::Item:
              menu->addAction(m_actions.at(e.id));
              break;
            case MenuEntry::Separator:
              menu->addSeparator();
              break;
            case MenuEntry::Submenu: {
              QMenu* sub = menu->addMenu(Q(e.text));
              sub->setObjectName(Q("menu_" + e.text));
              fill(sub, e.children);
              break;
            }
            case MenuEntry::RecentFiles:
              m_recentPlaceholder = menu->addAction("Recent File");
              m_recentPlaceholder->setEnabled(false);
              for (int i = 0; i < kRecentFileCount; ++i) menu->addAction(m_actions.at(ID_FILE_MRU_FILE1 + i));
              break;
          }
        }
      };
  for (const MenuEntry& e : MenuBar()) {
    if (e.kind == MenuEntry::Submenu) {
      QMenu* menu = bar->addMenu(Q(e.text));
      menu->setObjectName(Q("menu_" + e.text));
      fill(menu, e.children);
      if (e.text == "&File") m_fileMenu = menu;
      connect(menu, &QMenu::aboutToShow, this, &MainWindow::UpdateCommandUI);
      connect(menu, &QMenu::aboutToHide, this, &MainWindow::EndPrompt);
    } else if (e.kind == MenuEntry::Item) {
      bar->addAction(m_actions.at(e.id));
    }
  }
  RebuildRecentFiles();

  // The items on the bar itself show their prompts while highlighted, as the
  // items inside the menus do.
  connect(bar, &QMenuBar::hovered, this, [this](QAction* a) {
    if (a->menu()) return;
    m_prompting = true;
    SetMessage(a->statusTip());
  });
  bar->installEventFilter(this);
}

void MainWindow::CreateToolBar() {
  m_toolBar = addToolBar("Standard");
  m_toolBar->setObjectName("ToolBar");
  m_toolBar->setIconSize(QSize(16, 15));
  m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
  m_toolBar->setMovable(true);
  m_toolBar->setFloatable(true);
  for (int id : ToolBarCommands()) {
    if (id == 0) {
      m_toolBar->addSeparator();
      continue;
    }
    QAction* a = m_actions.at(id);
    a->setIcon(ToolIcon(id));
    m_toolBar->addAction(a);
  }
}

void MainWindow::CreateStatusBar() {
  QStatusBar* sb = statusBar();
  sb->setObjectName("StatusBar");
  sb->setSizeGripEnabled(true);
  m_message = new QLabel;
  m_message->setObjectName("MessagePane");
  m_message->setTextFormat(Qt::PlainText);
  // A long text is cut at the bar's edge instead of widening the window.
  m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  sb->addWidget(m_message, 1);
  m_connection = new QLabel;
  m_connection->setObjectName("ConnectionField");
  m_connection->setTextFormat(Qt::PlainText);
  m_connection->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  sb->addPermanentWidget(m_connection);
  static const char* const kNames[3] = {"CAP", "NUM", "SCRL"};
  for (int i = 0; i < 3; ++i) {
    auto* l = new QLabel;
    l->setObjectName(kNames[i]);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QString(kNames[i])) + 12);
    sb->addPermanentWidget(l);
    m_indicators[i] = l;
  }
  UpdateIndicators(QGuiApplication::queryKeyboardModifiers(), 0, 0, false);
  SetMessage(Q(m_frame.GetStatusText()));
}

void MainWindow::CreateClient() {
  m_splitter = new QSplitter(Qt::Vertical, this);
  m_splitter->setObjectName("Splitter");
  m_splitter->setChildrenCollapsible(false);
  m_viewWidget = new TrellisViewWidget(m_view);
  m_viewWidget->m_onActivated = [this] { SetActiveView(0); };
  m_splitter->addWidget(m_viewWidget);
  static const char* const kNames[4] = {"DtcPane", "CommErrPane", "XmitPane", "RcvdPane"};
  for (int i = 0; i < 4; ++i) {
    m_panes[i] = new ListDispWidget(*m_frame.Pane(i));
    m_panes[i]->setObjectName(kNames[i]);
    m_panes[i]->m_onActivated = [this, i] { SetActiveView(i + 1); };
    m_splitter->addWidget(m_panes[i]);
  }
  // Extra height goes to the main view; the panes keep their 50 pixels.
  m_splitter->setStretchFactor(0, 1);
  for (int i = 1; i <= 4; ++i) m_splitter->setStretchFactor(i, 0);
  m_splitter->setSizes({400, 50, 50, 50, 50});
  setCentralWidget(m_splitter);
  m_viewWidget->setFocus(Qt::OtherFocusReason);
  m_viewWidget->SetActive(true);
}

QAction* MainWindow::Action(int id) const {
  auto it = m_actions.find(id);
  return it == m_actions.end() ? nullptr : it->second;
}

ListDispWidget* MainWindow::PaneWidget(int index) const {
  return index >= 0 && index < 4 ? m_panes[index] : nullptr;
}

QLabel* MainWindow::Indicator(int index) const {
  return index >= 0 && index < 3 ? m_indicators[index] : nullptr;
}

void MainWindow::SetActiveView(int index) {
  if (index == m_activeView) return;
  m_activeView = index;
  m_viewWidget->SetActive(index == 0);
  for (int i = 0; i < 4; ++i) m_panes[i]->SetActive(index == i + 1);
  UpdateCommandUI();
}

void MainWindow::RunCommand(int id) {
  switch (RouteCommand(id, m_activeView == 0)) {
    case CommandRoute::View:
      m_view.OnCommand(id);
      break;
    case CommandRoute::FrameNoOp:
    case CommandRoute::Unhandled:
      break;
    case CommandRoute::Application:
      RunApplicationCommand(id);
      break;
  }
  UpdateCommandUI();
  // Settings may have chosen another port or device.
  m_device.clear();
  m_linkShown.port = -1;
  RefreshConnection(true);
}

void MainWindow::UpdateCommandUI() {
  const bool mainView = m_activeView == 0;
  for (auto& [id, action] : m_actions) {
    bool enabled = false;
    switch (RouteCommand(id, mainView)) {
      case CommandRoute::View:
        enabled = m_view.IsCommandEnabled(id);
        break;
      case CommandRoute::FrameNoOp:
        enabled = true;
        break;
      case CommandRoute::Application:
        enabled = true;
        break;
      case CommandRoute::Unhandled:
        enabled = false;
        break;
    }
    if (action->isEnabled() != enabled) action->setEnabled(enabled);
  }
}

void MainWindow::RebuildRecentFiles() {
  const std::vector<std::string>& files = m_recent.Files();
  for (int i = 0; i < kRecentFileCount; ++i) {
    QAction* a = m_actions.at(ID_FILE_MRU_FILE1 + i);
    const bool present = i < static_cast<int>(files.size());
    a->setVisible(present);
    if (present) a->setText(Q(m_recent.MenuText(i)));
  }
  if (m_recentPlaceholder) m_recentPlaceholder->setVisible(files.empty());
}

void MainWindow::UpdateTitle() { setWindowTitle(Q(m_doc.FrameTitle())); }

// ---- status bar ----

void MainWindow::ShowStatusText(const QString& text) {
  // What the program reports wins over a prompt: a pointer resting on a
  // menu-bar item or a toolbar button must not hide a whole flash and its
  // result.  The next item the pointer enters shows its prompt again.
  m_prompting = false;
  SetMessage(text);
  // The operations report progress here while they keep the UI thread busy,
  // so the pane is painted now rather than at the next idle moment.
  m_message->repaint();
  // Operations change the link's flags between their texts without asking
  // for a redraw; a fresh text is never stale, so nothing is cleared.
  RefreshConnection(false);
}

void MainWindow::SetMessage(const QString& text) {
  const QString line = OneLine(text);
  m_message->setText(line);
  // The full text stays within reach of the pointer.
  m_message->setToolTip(line == text ? QString() : text);
}

void MainWindow::ShowPrompt(const QString& tip) {
  const bool inMenu = QApplication::activePopupWidget() != nullptr || menuBar()->activeAction() != nullptr;
  if (tip.isEmpty() && !inMenu) {
    EndPrompt();
    return;
  }
  // An item without a prompt shows an empty message pane while highlighted.
  m_prompting = true;
  SetMessage(tip);
}

void MainWindow::EndPrompt() {
  if (!m_prompting) return;
  m_prompting = false;
  SetMessage(Q(m_frame.GetStatusText()));
}

void MainWindow::UpdateIndicators(Qt::KeyboardModifiers, quint32 native, int key, bool press) {
  // Qt reports no lock states of its own; on X11 the key events carry
  // Caps Lock and Num Lock in their native modifier bits (as they were
  // before the key), and Scroll Lock is followed by its presses.
  if (native != 0 || key != 0) {
    m_capsLock = (native & kX11LockMask) != 0;
    m_numLock = (native & kX11NumLockMask) != 0;
    if (press && key == Qt::Key_CapsLock) m_capsLock = !m_capsLock;
    if (press && key == Qt::Key_NumLock) m_numLock = !m_numLock;
    if (press && key == Qt::Key_ScrollLock) m_scrollLock = !m_scrollLock;
  }
  const bool on[3] = {m_capsLock, m_numLock, m_scrollLock};
  static const char* const kNames[3] = {"CAP", "NUM", "SCRL"};
  for (int i = 0; i < 3; ++i) m_indicators[i]->setText(on[i] ? kNames[i] : "");
}

bool MainWindow::event(QEvent* e) {
  if (e->type() == QEvent::StatusTip) {
    ShowPrompt(static_cast<QStatusTipEvent*>(e)->tip());
    return true;
  }
  return QMainWindow::event(e);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == menuBar() && e->type() == QEvent::Leave && !QApplication::activePopupWidget()) EndPrompt();
  if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (watched->isWidgetType() && !k->isAutoRepeat())
      UpdateIndicators(k->modifiers(), k->nativeModifiers(), k->key(), e->type() == QEvent::KeyPress);
  }
  return QMainWindow::eventFilter(watched, e);
}

void MainWindow::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (m_rowsFitted) return;
  m_rowsFitted = true;
  if (m_restoreMaximized) setWindowState(windowState() | Qt::WindowMaximized);
  if (m_geometryRestored) {
    // The user's own layout, once the window has the size it was given.
    QTimer::singleShot(0, this, [this] {
      if (m_restoredRows.size() == kRowCount)
        m_splitter->setSizes(m_restoredRows);
      else
        FitSplitterRows();
    });
    return;
  }
  // The rows start at 400 pixels for the view and 50 for each pane; the
  // window grows to hold them, and once it has its size the view takes
  // whatever is left over.
  const int rows = 400 + 4 * 50;
  const int handles = 4 * m_splitter->handleWidth();
  const int missing = rows + handles - m_splitter->height();
  if (missing > 0) resize(width(), height() + missing);
  QTimer::singleShot(0, this, &MainWindow::FitSplitterRows);
}

void MainWindow::FitSplitterRows() {
  const int available = m_splitter->height() - 4 * m_splitter->handleWidth();
  m_splitter->setSizes({std::max(400, available - 4 * 50), 50, 50, 50, 50});
}

void MainWindow::closeEvent(QCloseEvent* e) {
  SaveWindowState();
  // An exchange waits for bytes with no time-out of its own; once the window
  // is gone nobody could press Disconnect, so end the link first and let the
  // exchange unwind.
  if (m_view.Link().ExchangeBusy() && m_view.Link().Connected()) m_view.OnDisconnect();
  e->accept();
}

// ---- views ----

void MainWindow::RefreshPane(int index) {
  if (ListDispWidget* w = PaneWidget(index)) w->Refresh();
}

void MainWindow::RedrawView() {
  m_viewWidget->update();
  RefreshConnection(true);
}

void MainWindow::RefreshConnection(bool clearStale) {
  LinkShown now;
  const CLink& link = m_view.Link();
  now.connected = link.Connected();
  now.bootMode = now.connected && link.BootMode();
  now.logging = m_view.IsCommLogOpen();
  now.port = link.m_settings.port;
  // The rate the port runs at: the bootstrap rate during a download, a
  // faster one after our talker's rate switch; the setting while closed.
  now.rate = now.connected && link.OpenRate() > 0 ? link.OpenRate() : link.m_settings.normalBaud;
  if (now.bootMode) now.protocol = ProtocolModeShort(m_view.Talker());
  if (now == m_linkShown) return;
  const bool changed = now.connected != m_linkShown.connected || now.bootMode != m_linkShown.bootMode;
  if (now.port != m_linkShown.port || m_device.empty()) m_device = CLink::DevicePathForPort(now.port);
  m_linkShown = now;

  QString state = !now.connected ? "Disconnected" : now.bootMode ? "Talker running" : "Connected";
  if (now.bootMode && !now.protocol.empty()) state += ", " + Q(now.protocol);
  const QString device = Q(m_device);
  // A long device path is shortened in the middle, where the two ends that
  // tell devices apart stay readable; the tool tip has it whole.
  const QString shown = m_connection->fontMetrics().elidedText(
      device, Qt::ElideMiddle, 32 * m_connection->fontMetrics().averageCharWidth());
  m_connection->setText(
      QString("Port %1 %2, %3 baud: %4").arg(now.port + 1).arg(shown).arg(now.rate).arg(state));
  QString tip = QString("Port %1 %2, %3 baud: %4").arg(now.port + 1).arg(device).arg(now.rate).arg(state);
  if (now.bootMode) tip += "\n" + Q(ProtocolModeText(m_view.Talker()));
  m_connection->setToolTip(tip);
  m_viewWidget->update();

  // Within an exchange the operation reports for itself (a boot load closes
  // and reopens the port on its way); outside one the old text described a
  // connection that no longer is.
  if (changed && clearStale && !link.ExchangeBusy()) m_frame.SetStatusText(0, "Ready");
}

// ---- window layout ----

void MainWindow::SaveWindowState() const {
  const bool maximized = isMaximized();
  const QRect r = maximized ? normalGeometry() : geometry();
  WriteProfileString(kWindowSection, "Geometry",
                     JoinInts({r.x(), r.y(), r.width(), r.height()}).toStdString());
  WriteProfileInt(kWindowSection, "Maximized", maximized ? 1 : 0);
  WriteProfileString(kWindowSection, "Rows", JoinInts(m_splitter->sizes()).toStdString());
}

void MainWindow::RestoreWindowState() {
  std::vector<int> g;
  if (!ParseInts(GetProfileString(kWindowSection, "Geometry", ""), 4, g)) return;
  QRect r(g[0], g[1], g[2], g[3]);
  const QSize least = minimumSizeHint().expandedTo(QSize(200, 150));
  if (r.width() < least.width() || r.height() < least.height() || r.width() > 100000 || r.height() > 100000)
    return;
  // The screen it was on may be gone or smaller now: the window goes where
  // most of it was, or to the middle of the primary screen, and is never
  // larger than the screen it lands on.
  QScreen* screen = nullptr;
  int best = 0;
  for (QScreen* s : QGuiApplication::screens()) {
    const QRect overlap = s->availableGeometry().intersected(r);
    const int area = overlap.width() * overlap.height();
    if (area > best) {
      best = area;
      screen = s;
    }
  }
  const bool onScreen = screen != nullptr && best >= 100 * 50;
  if (!onScreen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  r.setSize(r.size().boundedTo(area.size()));
  if (!onScreen) r.moveCenter(area.center());
  if (r.right() > area.right()) r.moveRight(area.right());
  if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
  if (r.left() < area.left()) r.moveLeft(area.left());
  if (r.top() < area.top()) r.moveTop(area.top());
  setGeometry(r);
  m_geometryRestored = true;
  m_restoreMaximized = GetProfileInt(kWindowSection, "Maximized", 0) == 1;

  std::vector<int> rows;
  if (ParseInts(GetProfileString(kWindowSection, "Rows", ""), kRowCount, rows) &&
      std::all_of(rows.begin(), rows.end(), [](int h) { return h >= g_lineHeight && h <= 100000; }))
    m_restoredRows = QList<int>(rows.begin(), rows.end());
}

void MainWindow::OnNextPane(int step) {
  int next = (m_activeView + step + 5) % 5;
  QWidget* w = next == 0 ? static_cast<QWidget*>(m_viewWidget) : m_panes[next - 1];
  w->setFocus(Qt::TabFocusReason);
  SetActiveView(next);
}

// ---- application and document commands ----

void MainWindow::RunApplicationCommand(int id) {
  switch (id) {
    case ID_FILE_NEW:
      OnFileNew();
      break;
    case ID_FILE_OPEN:
      OnFileOpen();
      break;
    case ID_FILE_SAVE:
      OnFileSave();
      break;
    case ID_FILE_SAVE_AS:
      OnFileSaveAs();
      break;
    case ID_FILE_PRINT:
      OnFilePrint();
      break;
    case ID_FILE_PRINT_PREVIEW:
      OnFilePrintPreview();
      break;
    case ID_FILE_PRINT_SETUP:
      OnFilePrintSetup();
      break;
    case ID_APP_EXIT:
      close();
      break;
    case ID_APP_ABOUT:
      OnAppAbout();
      break;
    case ID_NEXT_PANE:
      OnNextPane(1);
      break;
    case ID_PREV_PANE:
      OnNextPane(-1);
      break;
    default:
      if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFileCount)
        OnOpenRecentFile(id - ID_FILE_MRU_FILE1);
      break;
  }
}

void MainWindow::OnFileNew() {
  m_doc.OnNewDocument();
  UpdateTitle();
}

void MainWindow::OnFileOpen() {
  FileDialogRequest request;
  request.title = "Open";
  request.mustExist = true;
  request.initialDir = m_doc.GetPathName().empty()
                           ? std::string()
                           : QFileInfo(Q(m_doc.GetPathName())).absolutePath().toStdString();
  FileDialogResult chosen;
  if (!g_shell || !g_shell->ChooseFile(request, chosen)) return;
  OpenDocument(chosen.pathName, -1);
}

void MainWindow::OpenDocument(const std::string& path, int recentIndex) {
  std::string error;
  if (!m_doc.OnOpenDocument(path, error)) {
    AfxMessageBox("Cannot open the document:\n" + path + "\n" + error, MB_OK | MB_ICONEXCLAMATION);
    if (recentIndex >= 0) {
      m_recent.Remove(recentIndex);
      m_recent.WriteList();
      RebuildRecentFiles();
    }
    return;
  }
  m_recent.Add(path);
  m_recent.WriteList();
  RebuildRecentFiles();
  UpdateTitle();
}

void MainWindow::OnOpenRecentFile(int index) {
  if (index < 0 || index >= static_cast<int>(m_recent.Files().size())) return;
  const std::string path = m_recent.Files()[static_cast<size_t>(index)];
  OpenDocument(path, index);
}

void MainWindow::OnFileSave() {
  if (m_doc.GetPathName().empty()) {
    OnFileSaveAs();
    return;
  }
  std::string error;
  if (!m_doc.OnSaveDocument(m_doc.GetPathName(), error)) {
    AfxMessageBox("Cannot save the document:\n" + m_doc.GetPathName() + "\n" + error,
                  MB_OK | MB_ICONEXCLAMATION);
  }
}

void MainWindow::OnFileSaveAs() {
  FileDialogRequest request;
  request.save = true;
  request.title = "Save As";
  request.overwritePrompt = true;
  request.initialName = m_doc.GetPathName().empty() ? m_doc.GetTitle() : m_doc.GetPathName();
  FileDialogResult chosen;
  if (!g_shell || !g_shell->ChooseFile(request, chosen)) return;
  std::string error;
  if (!m_doc.OnSaveDocument(chosen.pathName, error)) {
    AfxMessageBox("Cannot save the document:\n" + chosen.pathName + "\n" + error, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  m_recent.Add(chosen.pathName);
  m_recent.WriteList();
  RebuildRecentFiles();
  UpdateTitle();
}

void MainWindow::PrintTo(QPrinter& printer) {
  QPainter painter;
  if (!painter.begin(&printer)) {
    AfxMessageBox("The printer could not be started.", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // The view's picture is laid out in screen pixels; scale it to the page.
  const double scale = printer.resolution() / static_cast<double>(std::max(1, logicalDpiX()));
  painter.scale(scale, scale);
  DrawStatusLine(painter, m_view);
  painter.end();
}

void MainWindow::OnFilePrint() {
  QPrintDialog dialog(m_printer.get(), this);
  dialog.setWindowTitle("Print");
  if (dialog.exec() != QDialog::Accepted) return;
  PrintTo(*m_printer);
}

void MainWindow::OnFilePrintPreview() {
  QPrintPreviewDialog preview(m_printer.get(), this);
  connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { PrintTo(*p); });
  preview.exec();
}

void MainWindow::OnFilePrintSetup() {
  QPageSetupDialog dialog(m_printer.get(), this);
  dialog.exec();
}

void MainWindow::OnAppAbout() {
  CAboutDlg about;
  about.DoModal();
}
