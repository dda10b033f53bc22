#include "app/qt/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
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

  qApp->installEventFilter(this);
  // Menus and keys ask for the commands' state the way an idle loop would:
  // an exchange may start or end while no menu is open.
  connect(&m_idleTimer, &QTimer::timeout, this, &MainWindow::UpdateCommandUI);
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
    a->setStatusTip(Q(c.prompt));
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
    m_message->setText(a->statusTip());
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
  sb->addWidget(m_message, 1);
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
  m_message->setText(Q(m_frame.GetStatusText()));
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
  if (m_prompting) return;  // shown again when the menu closes
  m_message->setText(text);
  // The operations report progress here while they keep the UI thread busy,
  // so the pane is painted now rather than at the next idle moment.
  m_message->repaint();
}

void MainWindow::ShowPrompt(const QString& tip) {
  const bool inMenu = QApplication::activePopupWidget() != nullptr || menuBar()->activeAction() != nullptr;
  if (tip.isEmpty() && !inMenu) {
    EndPrompt();
    return;
  }
  // An item without a prompt shows an empty message pane while highlighted.
  m_prompting = true;
  m_message->setText(tip);
}

void MainWindow::EndPrompt() {
  if (!m_prompting) return;
  m_prompting = false;
  m_message->setText(Q(m_frame.GetStatusText()));
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

void MainWindow::RedrawView() { m_viewWidget->update(); }

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
