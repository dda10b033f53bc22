#include "panes/MainFrame.h"

#include "shell/Shell.h"

CMainFrame* g_pMainFrame = nullptr;

CMainFrame::CMainFrame() {
  static const char* const kTitles[4] = {"DTC Code: ", "Comm err: ", "XMIT: ", "RCVD: "};
  for (int i = 0; i < 4; ++i) {
    m_panes[i] = std::make_unique<CListDisp>();
    // The receive thread adds "Comm err: " lines, so this may run on it; the
    // shell only queues the repaint and never waits for the UI thread.
    m_panes[i]->m_onChanged = [i] {
      if (g_shell) g_shell->PaneChanged(i);
    };
    m_panes[i]->SetTitle(kTitles[i]);
  }
  m_pDtcPane = m_panes[PANE_DTC].get();
  m_pCommErrPane = m_panes[PANE_COMM_ERR].get();
  m_pXmitPane = m_panes[PANE_XMIT].get();
  m_pRcvdPane = m_panes[PANE_RCVD].get();
  g_pMainFrame = this;
}

CMainFrame::~CMainFrame() {
  if (g_pMainFrame == this) g_pMainFrame = nullptr;
}

void CMainFrame::SetStatusText(int pane, const std::string& text) {
  // Only the message pane carries text of ours; the others are the
  // keyboard-state indicators.
  if (pane != 0) return;
  m_statusText = text;
  if (g_shell) g_shell->StatusTextChanged(text);
}

std::string CMainFrame::GetStatusText() const { return m_statusText; }

CListDisp* CMainFrame::Pane(int index) const {
  if (index < 0 || index >= 4) return nullptr;
  return m_panes[index].get();
}

void SetStatusText(const std::string& text) {
  if (g_pMainFrame) g_pMainFrame->SetStatusText(0, text);
}
