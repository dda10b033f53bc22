// A main frame, a view and a pseudo-terminal standing in for port 1.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "PtyPair.h"
#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "link/ByteFifo.h"
#include "link/Event.h"
#include "link/LinkImpl.h"
#include "link/LinkState.h"
#include "link/SerialDevice.h"
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
    g_rxFifo.Clear();
    g_rxDataEvent.Reset();
  }
  void TearDown() override {
    view.reset();
    frame.reset();
    g_settings = nullptr;
    g_rxFifo.Clear();
  }

  std::vector<std::string> CommErrors() const { return frame->m_pCommErrPane->Lines(); }

  // Every byte in the queue, in order.
  static std::vector<uint8_t> TakeQueue() {
    std::vector<uint8_t> out;
    while (g_rxFifo.Count() > 0) out.push_back(g_rxFifo.GetByte());
    return out;
  }

  MemoryStore store;
  ScriptedShell shell;
  PtyPair pty;
  std::unique_ptr<CMainFrame> frame;
  std::unique_ptr<CTrellisView> view;
};
