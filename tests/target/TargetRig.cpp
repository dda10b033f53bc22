#include "TargetRig.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "image/Programmer.h"
#include "target/BootLoad.h"
#include "target/Talker.h"

namespace fs = std::filesystem;

void TargetRig::SetUp() {
  shell.Install();
  g_settings = &store;
  ForgetBootFileChoice();
  m_dir = (fs::temp_directory_path() / ("keston-target-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name()))
              .string();
  fs::create_directories(m_dir);
  store.WriteProfileString("file", "BOOT PATH", RigLoaderDir(SourceDir()));
  store.WriteProfileString("file", "BOOT NAME", RigLoaderName());
  frame = std::make_unique<CMainFrame>();
}

void TargetRig::TearDown() {
  m_watcher.reset();
  view.reset();
  frame.reset();
  sim.reset();
  g_settings = nullptr;
  std::error_code ec;
  fs::remove_all(m_dir, ec);
}

void TargetRig::StartSim(const SimOptions& options, Line line) {
  m_watcher.reset();
  view.reset();
  std::unique_ptr<CSerialDevice> device = StartRigController(options, line, store, sim);
  ASSERT_TRUE(sim);
  view = std::make_unique<CTrellisView>(std::move(device));
}

void TargetRig::StartTalker(const SimOptions& options, Line line) {
  StartSim(options, line);
  ASSERT_EQ(BootLoad(talker(), true), 1);
  ASSERT_TRUE(link().Connected() && link().BootMode());
  ASSERT_EQ(sim->Mode(), SimMode::Talker);
  // The last acknowledgement of the first contact may still be on its way; an
  // echoed write that changes nothing proves the controller has taken it.
  ASSERT_EQ(talker().WriteTargetByte(0x03FF, sim->Read(0x03FF)), 1);
  sim->ClearTrace();
  shell.statusTexts.clear();
  shell.boxes.clear();
}

std::string TargetRig::WriteFile(const std::string& name, const std::string& text) {
  std::string path = m_dir + "/" + name;
  std::ofstream(path) << text;
  return path;
}

std::string TargetRig::SourceDir() {
  const char* root = std::getenv("KESTON_SOURCE_DIR");
  return std::string(root ? root : KESTON_SOURCE_DIR);
}

std::vector<uint8_t> TargetRig::HostBytesOnceAtLeast(size_t count) {
  std::vector<uint8_t> host = sim->HostBytes();
  if (sim->InProcess()) return host;
  for (int i = 0; i < 500 && host.size() < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    host = sim->HostBytes();
  }
  return host;
}

void TargetRig::HangUpAfter(size_t hostBytes) {
  if (sim->InProcess()) return sim->HangUpAfterHostBytes(hostBytes);
  m_watcher = std::make_unique<Watcher>();
  Watcher* watcher = m_watcher.get();
  VirtualController* controller = sim->Pty();
  watcher->thread = std::thread([watcher, controller, hostBytes] {
    while (!watcher->stop && controller->HostBytes().size() < hostBytes)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (!watcher->stop) controller->HangUp();
  });
}
