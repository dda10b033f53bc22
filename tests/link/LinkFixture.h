// A main frame, a view and a pseudo-terminal standing in for port 1.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "PtyPair.h"
#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "link/Link.h"
#include "link/ByteFifo.h"
#include "link/Event.h"
#include "link/Link.h"
#include "support/MemoryStore.h"
#include "support/ScriptedShell.h"

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell.Install();
    g_settings = &store;
    ASSERT_TRUE(pty.Ok());
    store.WriteProfileString("Comm", "Device 1", pty.SlavePath());
    frame = std::make_unique<CMainFrame>();
    view = std::make_unique<CTrellisView>();
    view->Link().Queue().Clear();
    view->Link().DataEvent().Reset();
  }
  void TearDown() override {
    view.reset();
    frame.reset();
    g_settings = nullptr;
  }

  std::vector<std::string> CommErrors() const { return frame->m_pCommErrPane->Lines(); }

  // Every byte in the queue, in order.
  std::vector<uint8_t> TakeQueue() {
    std::vector<uint8_t> out;
    while (view->Link().Queue().Count() > 0) out.push_back(view->Link().Queue().GetByte());
    return out;
  }

  MemoryStore store;
  ScriptedShell shell;
  PtyPair pty;
  std::unique_ptr<CMainFrame> frame;
  std::unique_ptr<CTrellisView> view;
};
