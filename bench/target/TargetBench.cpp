// Throughput of the talker transfers against the virtual controller.
//   unpaced: how fast the host side alone can drive the protocol;
//   paced at 115,200 baud: a 64 KB WriteFlash against two bounds, the
//   line's (every byte of the busier direction, ten bits each) and the
//   lock-step loop's (three character times per two data bytes, plus the
//   commands), beside the ideal host (one thread, no queue) on the same rig;
//   paced, our talker on the emulated MC68HC11F1 moved to 125,000 baud by
//   its rate switch, behind a 1 ms adapter: the 61,184 bytes above the
//   RAM, registers and EEPROM flashed (checked blocks, verified as they are
//   written) and read back.
// Prints figures; never fails on timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "IdealClient.h"
#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "image/Programmer.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "sim/VirtualController.h"
#include "target/BootLoad.h"
#include "target/FlashChip.h"
#include "target/Stream.h"
#include "target/Talker.h"
#include "operations/Checks.h"

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
  rig.sim->ClearTrace();
  t = Seconds([&] { return WriteFlash(rig.view->Talker(), 0, image, 0xFFFF, true); }, result);
  const int baud = paced.normalBaud;
  std::vector<SimTraceEntry> trace = rig.sim->Trace();
  size_t hostBytes = 0, targetBytes = 0;
  for (const SimTraceEntry& e : trace) ++(e.fromHost ? hostBytes : targetBytes);
  const double lineBound = LineBoundSeconds(hostBytes, targetBytes, baud);
  const double lockStepBound = LockStepFlashBound(0, 0xFFFF, baud);
  std::fprintf(stderr,
               "paced %d WriteFlash   64 KB: %7.3f s (result %d%s%s at 0x%04x, %zu bytes out, %zu back)\n"
               "    line bound %.3f s (ratio %.3f), lock-step bound %.3f s (ratio %.3f)\n",
               baud, t, result, result ? "" : ": ", result ? "" : OutcomeName(rig.view->Talker().FaultOutcome()),
               rig.view->Talker().FaultAddress(), hostBytes, targetBytes, lineBound, t / lineBound, lockStepBound,
               t / lockStepBound);

  // The part of the time the host itself took: from the moment the echo the
  // host was waiting for reached its side of the line to the moment the
  // host's next byte went out.  The controller's own lateness (due time to
  // delivery) is not the host's and is counted apart.
  const TraceShares shares = SharesFromTrace(trace, 0, baud);
  const double turnaround = shares.turnaround, lateness = shares.lateness;
  std::fprintf(stderr, "    host turnaround %.3f s = %.1f%% of the lock-step bound; controller lateness %.3f s in all\n",
               turnaround, 100.0 * turnaround / lockStepBound, lateness);
  rig.view.reset();
  rig.sim.reset();

  // The ideal host on a fresh controller of the same kind, same bytes.
  for (IdealWindow window : {IdealWindow::LockStepPairs, IdealWindow::Sliding}) {
    VirtualController vc(paced);
    RawLine line;
    std::vector<uint8_t> loader(paced.talkerSignature.begin(), paced.talkerSignature.end());
    loader.resize(64, 0x01);
    std::vector<uint8_t> bytes(0x10000);
    for (unsigned a = 0; a < bytes.size(); ++a) bytes[a] = image.GetImageByte(a);
    if (!vc.Start() || !IdealBoot(line, vc.SlavePath(), loader, paced.bootstrapBaud, baud)) {
      std::fprintf(stderr, "ideal host: boot failed\n");
      continue;
    }
    IdealRun run = IdealFlashWrite(line, bytes, 0, 0xFFFF, window);
    std::fprintf(stderr,
                 "    ideal host, %s: %7.3f s%s (%zu bytes out, %zu back, %zu answers not as sent), ratio to line "
                 "bound %.3f, to lock-step bound %.3f\n",
                 window == IdealWindow::Sliding ? "sliding window" : "lock-step pairs", run.seconds,
                 run.ok ? "" : " (answers missing)", run.hostBytes, run.targetBytes, run.mismatches,
                 run.seconds / lineBound, run.seconds / lockStepBound);
  }

  rig.view.reset();

  // Our talker at E/16 after its rate switch, paced, with a 1 ms adapter.
  {
    SimOptions cpu;
    cpu.cpu = true;
    cpu.pace = true;
    cpu.bootstrapBaud = 7812;  // the boot ROM's E/256 after a 0xFF start byte
    cpu.normalBaud = 9600;
    cpu.adapterLatencyMs = 1;
    const int fast = 125000;
    store.WriteProfileString("file", "BOOT PATH", std::string(KESTON_TALKER_DIR) + "/");
    store.WriteProfileString("file", "BOOT NAME", "talker.s19");
    store.WriteProfileInt("Comm", "Fast Baud", fast);
    ForgetBootFileChoice();
    if (!Connect(rig, store, cpu) || rig.view->Link().OpenRate() != fast) {
      std::fprintf(stderr, "our talker: boot load or rate switch failed (%s)\n",
                   rig.view ? rig.view->Talker().RateNote().c_str() : "");
    } else {
      CTalker& talker = rig.view->Talker();
      const unsigned first = 0x1100, last = 0xFFFF;
      // The traces keep only the latest bytes: the counts since Start are taken.
      size_t out0 = 0, back0 = 0, out1 = 0, back1 = 0;
      rig.sim->TrafficCounts(out0, back0);
      t = Seconds([&] { return WriteFlash(talker, first, image, last - first, true); }, result);
      rig.sim->TrafficCounts(out1, back1);
      const double writeBound = LineBoundSeconds(out1 - out0, back1 - back0, fast);
      std::fprintf(stderr,
                   "paced %d, our talker, 1 ms adapter: flash and check %u bytes: %7.3f s (result %d), line bound "
                   "%.3f s (ratio %.3f)\n",
                   fast, last - first + 1, t, result, writeBound, t / writeBound);
      CProgrammer readBack;
      OpResult r;
      rig.sim->TrafficCounts(out1, back1);
      t = Seconds([&] { return ReadTrusted(talker, first, last, readBack, true, r); }, result);
      int wrong = 0;
      for (unsigned a = first; a <= last; ++a) wrong += readBack.GetImageByte(a) != image.GetImageByte(a);
      rig.sim->TrafficCounts(out0, back0);
      const double readBound = LineBoundSeconds(out0 - out1, back0 - back1, fast);
      std::fprintf(stderr,
                   "    read back (read twice: one checked pass): %7.3f s (result %d, %d bytes differ), line bound "
                   "%.3f s (ratio %.3f)\n",
                   t, result, wrong, readBound, t / readBound);
      ReturnToNormalRate(talker);
    }
  }

  rig.view.reset();
  g_shell = nullptr;
  g_settings = nullptr;
  return 0;
}
