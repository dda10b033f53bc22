#include <gtest/gtest.h>

#include <thread>

#include "panes/MainFrame.h"
#include "panes/ListDisp.h"
#include "support/ScriptedShell.h"

TEST(ListDisp, PastThreeHundredLinesTheOldestHundredGo) {
  CListDisp pane;
  pane.SetTitle("XMIT: ");
  for (int i = 0; i < 300; ++i) pane.AddLine(std::to_string(i));
  EXPECT_EQ(pane.Count(), 300);
  pane.AddLine("300");
  const auto lines = pane.Lines();
  ASSERT_EQ(pane.Count(), 201);
  ASSERT_EQ(lines.size(), 201u);
  EXPECT_EQ(lines.front(), "XMIT: 100");
  EXPECT_EQ(lines.back(), "XMIT: 300");
}

TEST(ListDisp, LongestLineWidensAndNeverNarrows) {
  CListDisp pane;
  EXPECT_EQ(pane.MaxLen(), 10);
  pane.SetTitle("RCVD: ");
  pane.AddLine("ab");  // 8 characters: still 10
  EXPECT_EQ(pane.MaxLen(), 10);
  pane.AddLine(std::string(30, 'x'));
  EXPECT_EQ(pane.MaxLen(), 36);
  pane.AddLine("short");
  EXPECT_EQ(pane.MaxLen(), 36);
  pane.ClearLines();
  EXPECT_EQ(pane.Count(), 0);
  EXPECT_TRUE(pane.Lines().empty());
  EXPECT_EQ(pane.MaxLen(), 36);
}

TEST(ListDisp, RetitlingKeepsLinesAndOnlyNewLinesCarryTheNewTitle) {
  CListDisp pane;
  pane.SetTitle("Comm err: ");
  EXPECT_GE(pane.Reserved(), 30u);
  for (int i = 0; i < 40; ++i) pane.AddLine("e");
  pane.SetTitle("DTC Code: ");  // reserves 15, fewer than held
  EXPECT_EQ(pane.Count(), 40);
  EXPECT_GE(pane.Reserved(), 40u);
  pane.SetTitle(" ");
  pane.AddLine("1234");
  const auto lines = pane.Lines();
  EXPECT_EQ(lines.front(), "Comm err: e");
  EXPECT_EQ(lines.back(), " 1234");
  EXPECT_EQ(pane.Title(), " ");
}

// The receive thread adds error lines while the UI thread draws and clears.
TEST(ListDisp, AddingDrawingAndClearingFromTwoThreadsStaysConsistent) {
  CListDisp pane;
  pane.SetTitle("Comm err: ");
  std::atomic<int> changes{0};
  pane.m_onChanged = [&] { ++changes; };
  std::atomic<bool> done{false};
  std::thread adder([&] {
    for (int i = 0; i < 400; ++i) pane.AddLine("<CE-C-" + std::to_string(i) + ">");
    done = true;
  });
  bool cleared = false;
  for (int i = 0; !done; ++i) {
    const auto lines = pane.Lines();
    ASSERT_LE(lines.size(), 300u);
    for (const auto& line : lines) ASSERT_EQ(line.rfind("Comm err: <CE-C-", 0), 0u);
    if (i == 5) {
      pane.ClearLines();
      cleared = true;
    }
  }
  adder.join();
  pane.AddLine("<CE-C-last>");
  EXPECT_LE(pane.Count(), 300);
  EXPECT_EQ(pane.Count(), static_cast<int>(pane.Lines().size()));
  EXPECT_EQ(pane.Lines().back(), "Comm err: <CE-C-last>");
  EXPECT_EQ(changes.load(), 401 + (cleared ? 1 : 0));
}

TEST(MainFrame, TitlesPanesReportsChangesAndStatusText) {
  ScriptedShell shell;
  shell.Install();
  SetStatusText("before any frame");  // nothing to show it on; must not crash
  EXPECT_TRUE(shell.statusTexts.empty());
  {
    CMainFrame frame;
    EXPECT_EQ(g_pMainFrame, &frame);
    EXPECT_EQ(frame.m_pDtcPane->Title(), "DTC Code: ");
    EXPECT_EQ(frame.m_pCommErrPane->Title(), "Comm err: ");
    EXPECT_EQ(frame.m_pXmitPane->Title(), "XMIT: ");
    EXPECT_EQ(frame.m_pRcvdPane->Title(), "RCVD: ");
    EXPECT_EQ(frame.Pane(PANE_XMIT), frame.m_pXmitPane);
    EXPECT_EQ(frame.Pane(4), nullptr);

    const int before = shell.paneChanges;
    frame.m_pCommErrPane->AddLine("x");
    EXPECT_EQ(shell.paneChanges, before + 1);

    SetStatusText("Memory written correctly");
    EXPECT_EQ(frame.GetStatusText(), "Memory written correctly");
    EXPECT_EQ(shell.LastStatus(), "Memory written correctly");
  }
  EXPECT_EQ(g_pMainFrame, nullptr);
}
