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
#include "support/MemoryStore.h"
#include "support/ScriptedShell.h"

// Writes `segments` (address, bytes) as S1 records, 16 bytes a line.
std::string SRecordText(const std::vector<std::pair<unsigned, std::vector<uint8_t>>>& segments);

// A write command's chunk as the host sent it: command, count byte, address,
// and where its data starts in the host byte stream.
struct SentChunk {
  uint8_t command;
  uint8_t count;
  unsigned address;
};
// Splits host bytes that consist only of write commands into their chunks.
std::vector<SentChunk> ParseWriteChunks(const std::vector<uint8_t>& host);
// Values written to one register with CMD_WRITE, in order.
std::vector<uint8_t> RegisterWrites(const std::vector<uint8_t>& host, unsigned address);

class TargetRig : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the controller and a view whose link reaches it.
  void StartSim(const SimOptions& options = SimOptions(), Line line = Line::InProcess);
  // Starts the controller and boot-loads the example loader, ready for talker commands.
  void StartTalker(const SimOptions& options = SimOptions(), Line line = Line::InProcess);
  // A file in this test's own folder.
  std::string WriteFile(const std::string& name, const std::string& text);
  std::string TempDir() const { return m_dir; }
  static std::string ExamplesDir();
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
