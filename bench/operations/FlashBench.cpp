// QuickFlash end to end against the virtual controller paced at the real line
// rate: boot load of the example loader, then the 32 KB example program into
// the erase-first chip, no dialogs.  Prints the wall time and its ratio to the
// line-time lower bound of the bytes that crossed the wire (the download at
// the bootstrap rate, then the busier direction at the normal rate, since the
// line is full duplex), then the same for a second QuickFlash while the talker
// still runs, which is the flash alone.
//
//   operations_flash_bench [rate ...]     default: 9600 115200
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "panes/MainFrame.h"
#include "app/TrellisView.h"
#include "image/Programmer.h"
#include "operations/AddressRangeDlg.h"
#include "operations/FileChoice.h"
#include "shell/Shell.h"
#include "sim/VirtualController.h"
#include "support/MemoryStore.h"
#include "target/BootLoad.h"

namespace {

// QuickFlash asks nothing; this shell only keeps the last status text.
class BenchShell : public Shell {
 public:
  void StatusTextChanged(const std::string& text) override { last = text; }
  void PaneChanged(int) override {}
  void RedrawView() override {}
  int MessageBox(const std::string& text, const std::string&, int) override {
    std::fprintf(stderr, "unexpected message box: %s\n", text.c_str());
    return IDCANCEL;
  }
  int RunModal(CDialogModel&) override { return IDCANCEL; }
  bool ChooseFile(const FileDialogRequest&, FileDialogResult&) override { return false; }
  void ProgressOpened(CProgressDlg&) override {}
  void ProgressChanged(CProgressDlg&) override {}
  void ProgressClosed(CProgressDlg&) override {}
  bool DispatchPendingEvent() override { return false; }
  std::string last;
};

int RunOnce(int baud) {
  const std::string source = KESTON_SOURCE_DIR;
  SimOptions options;
  options.chip = SimChip::EraseFirst;
  options.pace = true;
  options.normalBaud = baud;
  options.bootstrapBaud = 1200;
  VirtualController sim(options);
  if (!sim.Start()) {
    std::fprintf(stderr, "virtual controller did not start\n");
    return 1;
  }
  BenchShell shell;
  MemoryStore store;
  g_shell = &shell;
  g_settings = &store;
  store.WriteProfileString("Comm", "Device 1", sim.SlavePath());
  store.WriteProfileInt("Comm", "Port", 0);
  store.WriteProfileInt("Comm", "BSB", options.bootstrapBaud);
  store.WriteProfileInt("Comm", "Normal Baud", baud);
  store.WriteProfileString("file", "BOOT PATH", source + "/examples/");
  store.WriteProfileString("file", "BOOT NAME", "stand-in-loader.s19");
  store.WriteProfileString("file", "Default path", source + "/examples/");
  store.WriteProfileString("file", "Default Name", "demo-program.s19");
  ForgetBootFileChoice();
  ForgetRememberedFiles();
  CAddressRangeDlg::ForgetRemembered();

  CProgrammer program;
  program.FillImage(0xFF);
  if (FILE* f = std::fopen((source + "/examples/demo-program.s19").c_str(), "r")) {
    program.ReadSRecordFile(f);
    std::fclose(f);
  }

  auto differing = [&] {
    std::vector<uint8_t> flash = sim.Flash();
    int wrong = 0;
    for (unsigned a = program.m_lowest; a <= program.m_highest; ++a)
      wrong += flash[a] != program.GetImageByte(a);
    return wrong;
  };
  double seconds = 0;
  double flashSeconds = 0;
  size_t flashHost = 0, flashTarget = 0;
  int wrong = 0;
  std::string flashStatus;
  {
    CMainFrame frame;
    CTrellisView view;
    auto t0 = std::chrono::steady_clock::now();
    view.OnQuickFlash();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    wrong = differing();

    // The same again with the talker running: the flash alone.
    std::vector<uint8_t> host = sim.HostBytes(), target = sim.TargetBytes();
    size_t host0 = host.size(), target0 = target.size();
    sim.LoadFlash(std::vector<uint8_t>(0x10000 - program.m_lowest, 0xFF), program.m_lowest);
    std::string first = shell.last;
    t0 = std::chrono::steady_clock::now();
    view.OnQuickFlash();
    flashSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    flashHost = sim.HostBytes().size() - host0;
    flashTarget = sim.TargetBytes().size() - target0;
    flashStatus = shell.last;
    shell.last = first;
    wrong += differing();
  }

  size_t loader = sim.LoaderBytes().size();
  size_t host = sim.HostBytes().size() - flashHost;
  size_t target = sim.TargetBytes().size() - flashTarget;
  size_t bootHost = loader + 1;  // start byte and loader
  size_t bootEcho = loader;
  size_t talkHost = host > bootHost ? host - bootHost : 0;
  size_t talkTarget = target > bootEcho ? target - bootEcho : 0;
  double bound =
      bootHost * 10.0 / options.bootstrapBaud + (talkHost > talkTarget ? talkHost : talkTarget) * 10.0 / baud;
  std::printf(
      "\n%6d baud: %8.2f s total, lower bound %8.2f s (%zu loader bytes at %d, %zu host / %zu target bytes "
      "at %d), ratio %.2f; status \"%s\", %d bytes differ\n",
      baud, seconds, bound, bootHost, options.bootstrapBaud, talkHost, talkTarget, baud, seconds / bound,
      shell.last.c_str(), wrong);
  double flashBound = (flashHost > flashTarget ? flashHost : flashTarget) * 10.0 / baud;
  std::printf(
      "\n%6d baud, flash alone (talker running): %8.2f s, lower bound %8.2f s, ratio %.2f; status \"%s\"\n",
      baud, flashSeconds, flashBound, flashSeconds / flashBound, flashStatus.c_str());
  std::fflush(stdout);
  g_shell = nullptr;
  g_settings = nullptr;
  return wrong == 0 && shell.last == "Memory written correctly" && flashStatus == shell.last ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> rates;
  for (int i = 1; i < argc; ++i) rates.push_back(std::atoi(argv[i]));
  if (rates.empty()) rates = {9600, 115200};
  int status = 0;
  for (int rate : rates) status |= RunOnce(rate);
  return status;
}
