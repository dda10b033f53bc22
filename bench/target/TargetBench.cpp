// Throughput of the talker transfers against the virtual controller.
//   unpaced: how fast the host side alone can drive the protocol;
//   paced at 115,200 baud: a 64 KB WriteFlash against the protocol's own
//   lower bound (three character times per two data bytes plus headers).
// Prints figures; never fails on timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "image/Programmer.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "sim/VirtualController.h"
#include "target/BootLoad.h"
#include "target/FlashChip.h"
#include "target/Talker.h"

namespace {

class QuietShell : public Shell {
 public:
  void StatusTextChanged(const std::string&) override {}
  void PaneChanged(int) override {}
  void RedrawView() override {}
  int MessageBox(const std::string& text, const std::string&, int) override {
    std::fprintf(stderr, "box: %s\n", text.c_str());
    return IDOK;
  }
  int RunModal(CDialogModel&) override { return IDCANCEL; }
  bool ChooseFile(const FileDialogRequest&, FileDialogResult&) override { return false; }
  void ProgressOpened(CProgressDlg&) override {}
  void ProgressChanged(CProgressDlg&) override {}
  void ProgressClosed(CProgressDlg&) override {}
  bool DispatchPendingEvent() override { return false; }
};

class MapStore : public SettingsStore {
 public:
  int GetProfileInt(const std::string& s, const std::string& k, int d) override {
    auto it = m_values.find(s + "/" + k);
    return it == m_values.end() ? d : std::stoi(it->second);
  }
  bool WriteProfileInt(const std::string& s, const std::string& k, int v) override {
    m_values[s + "/" + k] = std::to_string(v);
    return true;
  }
  std::string GetProfileString(const std::string& s, const std::string& k, const std::string& d) override {
    auto it = m_values.find(s + "/" + k);
    return it == m_values.end() ? d : it->second;
  }
  bool WriteProfileString(const std::string& s, const std::string& k, const std::string& v) override {
    m_values[s + "/" + k] = v;
    return true;
  }

 private:
  std::map<std::string, std::string> m_values;
};

struct Rig {
  std::unique_ptr<VirtualController> sim;
  std::unique_ptr<CTrellisView> view;
};

bool Connect(Rig& rig, MapStore& store, const SimOptions& options) {
  rig.view.reset();
  rig.sim = std::make_unique<VirtualController>(options);
  if (!rig.sim->Start()) return false;
  store.WriteProfileString("Comm", "Device 1", rig.sim->SlavePath());
  store.WriteProfileInt("Comm", "BSB", options.bootstrapBaud);
  store.WriteProfileInt("Comm", "Normal Baud", options.normalBaud);
  rig.view = std::make_unique<CTrellisView>();
  return BootLoad(rig.view->Talker(), true) == 1 && rig.view->Link().Connected();
}

template <typename F>
double Seconds(F&& run, int& result) {
  auto start = std::chrono::steady_clock::now();
  result = run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  QuietShell shell;
  MapStore store;
  g_shell = &shell;
  g_settings = &store;
  store.WriteProfileString("file", "BOOT PATH", std::string(KESTON_SOURCE_DIR) + "/examples/");
  store.WriteProfileString("file", "BOOT NAME", "stand-in-loader.s19");
  CMainFrame frame;  // status texts take their real path

  CProgrammer image;
  uint32_t state = 1;
  for (unsigned a = 0; a < 0x10000; ++a) {
    state = state * 1664525u + 1013904223u;
    image.SetImageByte(a, static_cast<uint8_t>(state >> 24));
  }
  const double kBytes = 65536.0;
  Rig rig;
  int result = 0;

  SimOptions unpaced;
  unpaced.bootstrapBaud = 115200;
  unpaced.normalBaud = 115200;
  if (!Connect(rig, store, unpaced)) return std::puts("boot load failed"), 1;
  double t = Seconds([&] { return WriteFlash(rig.view->Talker(), 0, image, 0xFFFF, true); }, result);
  std::fprintf(stderr, "unpaced WriteFlash        64 KB: %7.3f s  %9.0f bytes/s\n", t, kBytes / t);
  CProgrammer back;
  t = Seconds([&] { return rig.view->Talker().ReadTargetBlock(0, back, 0xFFFF); }, result);
  std::fprintf(stderr, "unpaced ReadTargetBlock   64 KB: %7.3f s  %9.0f bytes/s  (result %d)\n", t,
               kBytes / t, result);

  SimOptions block = unpaced;
  block.chip = SimChip::Block;
  if (!Connect(rig, store, block)) return std::puts("boot load failed"), 1;
  t = Seconds([&] { return WriteFlashBlocks(rig.view->Talker(), 0, image, 0xFFFF, true); }, result);
  std::fprintf(stderr, "unpaced WriteFlashBlocks  64 KB: %7.3f s  %9.0f bytes/s\n", t, kBytes / t);

  SimOptions paced = unpaced;
  paced.pace = true;
  if (!Connect(rig, store, paced)) return std::puts("boot load failed"), 1;
  t = Seconds([&] { return WriteFlash(rig.view->Talker(), 0, image, 0xFFFF, true); }, result);
  const double charTime = 10.0 / 115200.0;
  const double bound = (kBytes / 2 * 3 + 256 * 5) * charTime;
  std::fprintf(stderr, "paced 115200 WriteFlash   64 KB: %7.3f s  lower bound %.3f s  ratio %.4f\n", t, bound,
               t / bound);

  // The part of the time the host itself took: from the moment the line
  // delivered the echo the host was waiting for to the moment the host's next
  // byte reached the line (the controller's own lateness is included, so this
  // is an upper bound on the host's share).
  std::vector<SimTraceEntry> trace = rig.sim->Trace();
  std::sort(trace.begin(), trace.end(),
            [](const SimTraceEntry& a, const SimTraceEntry& b) { return a.seconds < b.seconds; });
  double turnaround = 0;
  double lastTarget = -1, lastHostRead = -1;
  for (const SimTraceEntry& e : trace) {
    if (!e.fromHost) {
      lastTarget = e.seconds;
      continue;
    }
    double read = e.seconds - charTime;
    if (lastTarget >= 0 && lastTarget > lastHostRead && read > lastTarget) turnaround += read - lastTarget;
    lastHostRead = read;
  }
  std::fprintf(stderr, "paced 115200 WriteFlash   host turnaround %.3f s = %.1f%% of the lower bound\n",
               turnaround, 100.0 * turnaround / bound);

  rig.view.reset();
  g_shell = nullptr;
  g_settings = nullptr;
  return 0;
}
