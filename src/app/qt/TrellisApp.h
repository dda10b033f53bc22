// The application object: settings store, shell, the empty document with its
// recent-file list, the frame and view models and the main window, created in
// start-up order and taken down so that the port is closed (and the receive
// thread ended) while the window it reports to still exists.
#pragma once

#include <memory>

#include "app/TrellisDoc.h"
#include "app/qt/QtShell.h"

class CMainFrame;
class CTrellisView;
class MainWindow;
class SettingsStore;

class CTrellisApp {
 public:
  // With no store given the program's own QSettings store is used.
  explicit CTrellisApp(SettingsStore* store = nullptr);
  ~CTrellisApp();
  CTrellisApp(const CTrellisApp&) = delete;
  CTrellisApp& operator=(const CTrellisApp&) = delete;

  // Builds the document, frame, view and window and shows the window.
  bool InitInstance(bool show = true);

  MainWindow* Window() const { return m_window.get(); }
  CTrellisView* View() const { return m_view.get(); }
  CMainFrame* Frame() const { return m_frame.get(); }
  QtShell& GetShell() { return m_shell; }
  CTrellisDoc& Document() { return m_doc; }
  CRecentFileList& RecentFiles() { return m_recent; }

 private:
  std::unique_ptr<SettingsStore> m_ownStore;
  SettingsStore* m_previousStore = nullptr;
  QtShell m_shell;
  CTrellisDoc m_doc;
  CRecentFileList m_recent;
  std::unique_ptr<CMainFrame> m_frame;
  std::unique_ptr<CTrellisView> m_view;
  std::unique_ptr<MainWindow> m_window;
};
