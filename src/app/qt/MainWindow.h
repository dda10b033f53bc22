// The main window: menu bar, toolbar, status bar with the message pane, the
// connection field and the CAP, NUM and SCRL indicators, and the five-row
// splitter of the main view and the four terminal panes.  Commands go to the active view first
// (the main view, or a terminal pane after a click into it), then to this
// frame and the application; see RouteCommand.
#pragma once

#include <QMainWindow>
#include <QPrinter>
#include <QTimer>
#include <map>
#include <memory>

class CTrellisView;
class CMainFrame;
class CTrellisDoc;
class CRecentFileList;
class ListDispWidget;
class TrellisViewWidget;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow(CTrellisView& view, CMainFrame& frame, CTrellisDoc& doc, CRecentFileList& recent);
  ~MainWindow() override;

  // The action of a command id (nullptr if the id has none).
  QAction* Action(int id) const;
  TrellisViewWidget* ViewWidget() const { return m_viewWidget; }
  ListDispWidget* PaneWidget(int index) const;
  QSplitter* Splitter() const { return m_splitter; }
  QToolBar* ToolBar() const { return m_toolBar; }
  QLabel* MessagePane() const { return m_message; }
  // Port, rate and connection state, always on show at the right.
  QLabel* ConnectionField() const { return m_connection; }
  QLabel* Indicator(int index) const;  // 0 CAP, 1 NUM, 2 SCRL
  QMenu* RecentMenuHost() const { return m_fileMenu; }
  // 0: the main view; 1..4: the terminal panes in row order.
  int ActiveView() const { return m_activeView; }
  void SetActiveView(int index);

  // Runs a command as its menu item or key would.
  void RunCommand(int id);
  // Enables and disables every action for the present state.
  void UpdateCommandUI();

  // Called by the shell on the UI thread.
  void ShowStatusText(const QString& text);
  void RefreshPane(int index);
  void RedrawView();
  // Brings the status line and the connection field up to date with the
  // link's flags, which any thread and any layer may change.  With
  // `clearStale`, a change made outside a running exchange also replaces the
  // message pane's text, which described the connection that is gone.
  void RefreshConnection(bool clearStale);

  // Size, position and row heights, kept in the settings store.
  void SaveWindowState() const;

  // Paints the document (the main view's picture) onto a printer.
  void PrintTo(QPrinter& printer);

  QPrinter& Printer() { return *m_printer; }

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreateClient();
  void FitSplitterRows();
  void RestoreWindowState();
  void SetMessage(const QString& text);
  void RebuildRecentFiles();
  void UpdateTitle();
  void ShowPrompt(const QString& tip);
  void EndPrompt();
  void UpdateIndicators(Qt::KeyboardModifiers mods, quint32 native, int key, bool press);

  void RunApplicationCommand(int id);
  void OnFileNew();
  void OnFileOpen();
  void OnFileSave();
  void OnFileSaveAs();
  void OnFilePrint();
  void OnFilePrintPreview();
  void OnFilePrintSetup();
  void OnAppAbout();
  void OnOpenRecentFile(int index);
  void OpenDocument(const std::string& path, int recentIndex);
  void OnNextPane(int step);

  CTrellisView& m_view;
  CMainFrame& m_frame;
  CTrellisDoc& m_doc;
  CRecentFileList& m_recent;

  std::map<int, QAction*> m_actions;
  QAction* m_recentPlaceholder = nullptr;
  QAction* m_recentEnd = nullptr;  // the separator after the recent files
  QMenu* m_fileMenu = nullptr;
  QToolBar* m_toolBar = nullptr;
  QSplitter* m_splitter = nullptr;
  TrellisViewWidget* m_viewWidget = nullptr;
  ListDispWidget* m_panes[4] = {};
  QLabel* m_message = nullptr;
  QLabel* m_connection = nullptr;
  QLabel* m_indicators[3] = {};
  bool m_capsLock = false, m_numLock = false, m_scrollLock = false;
  bool m_prompting = false;
  bool m_rowsFitted = false;
  int m_activeView = 0;

  // What the status line and the connection field show now.
  struct LinkShown {
    bool connected = false;
    bool bootMode = false;
    bool logging = false;
    int port = -1;
    int rate = 0;
    std::string protocol;  // with a talker running: which protocol it is spoken to in
    bool operator==(const LinkShown&) const = default;
  };
  LinkShown m_linkShown;
  std::string m_device;  // the path of the port shown, read when the port changes

  bool m_geometryRestored = false;
  bool m_restoreMaximized = false;
  QList<int> m_restoredRows;
  QTimer m_idleTimer;
  std::unique_ptr<QPrinter> m_printer;
};
