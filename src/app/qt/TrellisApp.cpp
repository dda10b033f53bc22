#include "app/qt/TrellisApp.h"

#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "app/qt/MainWindow.h"
#include "shell/QSettingsStore.h"
#include "shell/SettingsStore.h"

CTrellisApp::CTrellisApp(SettingsStore* store) : m_recent(kRecentFileCount) {
  m_previousStore = g_settings;
  if (!store) {
    m_ownStore = std::make_unique<QSettingsStore>();
    store = m_ownStore.get();
  }
  g_settings = store;
  m_shell.Install();
}

CTrellisApp::~CTrellisApp() {
  // The view disconnects on destruction, which waits for the receive thread;
  // until then that thread may still report to the window through the shell.
  m_view.reset();
  m_shell.SetWindow(nullptr);
  m_window.reset();
  m_frame.reset();
  g_settings = m_previousStore;
}

bool CTrellisApp::InitInstance(bool show) {
  m_recent.ReadList();
  m_doc.OnNewDocument();
  m_frame = std::make_unique<CMainFrame>();
  m_view = std::make_unique<CTrellisView>();
  m_window = std::make_unique<MainWindow>(*m_view, *m_frame, m_doc, m_recent);
  m_shell.SetWindow(m_window.get());
  m_frame->SetStatusText(0, "Ready");
  if (show) m_window->show();
  return true;
}
