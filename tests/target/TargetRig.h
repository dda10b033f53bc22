// The rig of the target suites: a virtual controller, the view pointed at
// it, the scripted shell and an in-memory store.  The controller runs in the
// same process behind the link's in-process device unless a test asks for
// the real thing: a pseudo-terminal, the serial device and its receive thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/TrellisView.h"
#include "panes/MainFrame.h"
#include "support/RigController.h"
#include "support/Wire.h"
#include "support/MemoryStore.h"
#include "support/ScriptedShell.h"

class TargetRig : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the controller and a view whose link reaches it.
  void StartSim(const SimOptions& options = SimOptions(), Line line = Line::InProcess);
  // Starts the controller and boot-loads the suite's loader (RigLoaderName),
  // ready for talker commands.
  void StartTalker(const SimOptions& options = SimOptions(), Line line = Line::InProcess);
  // A file in this test's own folder.
  std::string WriteFile(const std::string& name, const std::string& text);
  std::string TempDir() const { return m_dir; }
  static std::string SourceDir();
  // What the host sent, once the controller has taken at least `count` bytes
  // (over a pseudo-terminal the last bytes of an exchange may still be on
  // their way when it returns).
  std::vector<uint8_t> HostBytesOnceAtLeast(size_t count);
  // Hangs up the line once the host has sent `hostBytes` bytes.
  void HangUpAfter(size_t hostBytes);

  CLink& link() { return view->Link(); }
  CTalker& talker() { return view->Talker(); }

  MemoryStore store;
  ScriptedShell shell;
  std::unique_ptr<RigController> sim;
  std::unique_ptr<CMainFrame> frame;
  std::unique_ptr<CTrellisView> view;

 private:
  struct Watcher {
    std::atomic<bool> stop{false};
    std::thread thread;
    ~Watcher() {
      stop = true;
      if (thread.joinable()) thread.join();
    }
  };
  std::string m_dir;
  std::unique_ptr<Watcher> m_watcher;
};
