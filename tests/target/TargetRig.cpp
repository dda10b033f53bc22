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

std::string SRecordText(const std::vector<std::pair<unsigned, std::vector<uint8_t>>>& segments) {
  std::string text = "S00600004844521B\n";
  for (const auto& [start, bytes] : segments) {
    for (size_t i = 0; i < bytes.size(); i += 16) {
      size_t n = std::min<size_t>(16, bytes.size() - i);
      unsigned address = static_cast<unsigned>(start + i);
      unsigned sum = static_cast<unsigned>(n + 3) + (address >> 8) + (address & 0xFF);
      char part[16];
      std::snprintf(part, sizeof part, "S1%02X%04X", static_cast<unsigned>(n + 3), address);
      text += part;
      for (size_t j = 0; j < n; ++j) {
        std::snprintf(part, sizeof part, "%02X", bytes[i + j]);
        text += part;
        sum += bytes[i + j];
      }
      std::snprintf(part, sizeof part, "%02X\n", 0xFF - (sum & 0xFF));
      text += part;
    }
  }
  return text + "S9030000FC\n";
}

std::vector<SentChunk> ParseWriteChunks(const std::vector<uint8_t>& host) {
  std::vector<SentChunk> chunks;
  size_t i = 0;
  while (i + 4 <= host.size()) {
    SentChunk c{host[i], host[i + 1], static_cast<unsigned>(host[i + 2] << 8 | host[i + 3])};
    chunks.push_back(c);
    i += 4 + (c.count == 0 ? 256 : c.count);
  }
  EXPECT_EQ(i, host.size()) << "host bytes do not end on a chunk boundary";
  return chunks;
}

std::vector<uint8_t> RegisterWrites(const std::vector<uint8_t>& host, unsigned address) {
  std::vector<uint8_t> values;
  for (size_t i = 0; i + 5 <= host.size(); ++i) {
    if (host[i] == 0x41 && host[i + 1] == 1 && host[i + 2] == (address >> 8) &&
        host[i + 3] == (address & 0xFF)) {
      values.push_back(host[i + 4]);
      i += 4;
    }
  }
  return values;
}

void TargetRig::SetUp() {
  shell.Install();
  g_settings = &store;
  ForgetBootFileChoice();
  m_dir = (fs::temp_directory_path() / ("keston-target-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name()))
              .string();
  fs::create_directories(m_dir);
  store.WriteProfileString("file", "BOOT PATH", ExamplesDir() + "/");
  store.WriteProfileString("file", "BOOT NAME", "stand-in-loader.s19");
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

std::string TargetRig::ExamplesDir() {
  const char* root = std::getenv("KESTON_SOURCE_DIR");
  return std::string(root ? root : KESTON_SOURCE_DIR) + "/examples";
}

std::vector<uint8_t> TargetRig::HostBytesOnceAtLeast(size_t count) {
  std::vector<uint8_t> host = sim->HostBytes();
  if (sim->Device()) return host;
  for (int i = 0; i < 500 && host.size() < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    host = sim->HostBytes();
  }
  return host;
}

void TargetRig::HangUpAfter(size_t hostBytes) {
  if (sim->Device()) return sim->Device()->HangUpAfterHostBytes(hostBytes);
  m_watcher = std::make_unique<Watcher>();
  Watcher* watcher = m_watcher.get();
  VirtualController* controller = sim->Pty();
  watcher->thread = std::thread([watcher, controller, hostBytes] {
    while (!watcher->stop && controller->HostBytes().size() < hostBytes)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (!watcher->stop) controller->HangUp();
  });
}
