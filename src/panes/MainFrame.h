// CMainFrame's logic half: the four pane models and the message pane's text.
// The desktop program's window shows them; the command line prints them.
#pragma once

#include <memory>
#include <string>

#include "panes/ListDisp.h"

enum { PANE_DTC = 0, PANE_COMM_ERR = 1, PANE_XMIT = 2, PANE_RCVD = 3 };

class CMainFrame {
 public:
  CMainFrame();  // sets g_pMainFrame and titles the four panes
  ~CMainFrame();

  // Every caller uses pane 0, the message pane.
  void SetStatusText(int pane, const std::string& text);
  std::string GetStatusText() const;
  CListDisp* Pane(int index) const;

  CListDisp* m_pDtcPane = nullptr;      // "DTC Code: "
  CListDisp* m_pCommErrPane = nullptr;  // "Comm err: "
  CListDisp* m_pXmitPane = nullptr;     // "XMIT: "
  CListDisp* m_pRcvdPane = nullptr;     // "RCVD: "

 private:
  std::unique_ptr<CListDisp> m_panes[4];
  std::string m_statusText;
};

extern CMainFrame* g_pMainFrame;

// SetStatusText(0, text) on the one main frame, if there is one.
void SetStatusText(const std::string& text);
