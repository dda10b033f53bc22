#include "target/BootLoad.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/MainFrame.h"
#include "app/TrellisView.h"
#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/LinkState.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"
#include "target/Talker.h"

namespace {

// The bootstrap ROM takes at least this many bytes, and has room for no more
// than the upper figure.
constexpr unsigned kMinLoader = 255;
constexpr unsigned kMaxLoader = 1024;
constexpr int kEchoSliceMs = 50;
constexpr int kEchoIdleSlices = 10;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

unsigned LoaderLength(const CProgrammer& programmer) {
  for (unsigned i = kMinLoader; i < kMaxLoader; ++i) {
    if (programmer.m_written[i] == 0) return i;
  }
  return kMaxLoader;
}

// The write returns once the driver holds the bytes, which at the bootstrap
// rate is long before they have left the wire.  So the echo is given up on
// only after half a second in which no new echo byte arrived, bounded by twice
// the line time of the whole download so that a noisy line cannot hold us.
void WaitForEcho(unsigned expected, unsigned bytesSent) {
  int baud = g_bootstrapBaud > 0 ? g_bootstrapBaud : 1;
  auto lineTime = std::chrono::milliseconds(static_cast<long long>(bytesSent) * 10 * 1000 / baud);
  auto limit = std::chrono::steady_clock::now() + 2 * lineTime + std::chrono::milliseconds(500);
  uint32_t seen = g_rxFifo.Count();
  int idle = 0;
  while (g_rxFifo.Count() < expected && idle < kEchoIdleSlices && std::chrono::steady_clock::now() < limit) {
    SleepMs(kEchoSliceMs);
    uint32_t now = g_rxFifo.Count();
    idle = now == seen ? idle + 1 : 0;
    seen = now;
  }
}

void ClosePortIfOpen() {
  if (g_pView) g_pView->ClosePort();
  g_bootMode = false;
}

}  // namespace

int VerifyBootEcho(const uint8_t* /*expected*/, CByteFifo& queue, unsigned length) {
  for (unsigned i = 0; i < length; ++i) {
    // Echo bytes that were never taken prove nothing about the download.
    if (!g_connected.load()) return 0;
    if (queue.Count() == 0) return 0;
    queue.GetByte();
  }
  return 1;
}

int CProgrammer::EnsureTalker(bool noPrompt) {
  if (g_bootMode.load()) return 1;
  int result = BootLoad(noPrompt);
  // The talker's records must not pass for program data loaded later.
  ClearWritten();
  ResetBounds();
  return result;
}

int CProgrammer::BootLoad(bool noPrompt) {
  if (g_connected.load() && g_pView) g_pView->ClosePort();
  SleepMs(10);

  const int keptBaud = g_normalBaud;
  g_normalBaud = g_bootstrapBaud;
  // Every way out below restores the talker's rate first.
  auto fail = [&](const char* box) {
    if (box) AfxMessageBox(box);
    ClosePortIfOpen();
    g_normalBaud = keptBaud;
    return 0;
  };

  if (!g_pView || !g_pView->OpenPort()) return fail("Failed to open connection");
  g_bootMode = true;

  std::unique_ptr<std::istream> file = ChooseBootFile();
  if (!file) return fail("Cannot open Boot file");
  ReadSRecordStream(*file);
  file.reset();
  // Sending image padding or a damaged loader would start arbitrary code in
  // the target, so such a file is refused before anything is sent.
  if (m_written[0] == 0) return fail("Boot file holds no loader at address 0");
  if (m_badRecords != 0) return fail("Boot file has checksum errors");

  const uint8_t startByte = static_cast<uint8_t>(GetProfileInt("Comm", "Bootstrap Start Byte", 255) & 0xFF);
  const unsigned n = LoaderLength(*this);
  std::vector<uint8_t> download(n + 1);
  download[0] = startByte;
  for (unsigned i = 0; i < n; ++i) download[i + 1] = m_image[i];

  if (!noPrompt) AfxMessageBox("Reset in Bootstrap Mode");

  g_rxFifo.Clear();
  SetStatusText("Bootloading Controller");
  WriteBytes(download.data(), static_cast<unsigned>(download.size()));
  SetStatusText("Waiting to complete Bootload");
  WaitForEcho(n, n + 1);

  // The start byte is not echoed; every loader byte is.
  const unsigned got = g_rxFifo.Count();
  std::string failure = "Boot Compare Failed!";
  if (got < n) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "\nGot %u bytes, Expected %u", got, n);
    failure += detail;
  }
  SetStatusText("Verifying Bootload ... ");
  // A few echo bytes lost at the start of the download are tolerated.
  const unsigned length = static_cast<double>(got) * 1.05 >= static_cast<double>(n) ? got : n;
  int result = 0;
  if (VerifyBootEcho(download.data() + 1, g_rxFifo, length)) {
    SetStatusText("Bootload Verified!.");
    result = 1;
  } else {
    AfxMessageBox(failure);
    SetStatusText("Bootload verify Failed.\n Boot again.\n ");
    g_bootMode = false;
  }
  ClosePortIfOpen();
  g_normalBaud = keptBaud;
  if (!result) return 0;

  // The talker needs a moment to switch to its own rate.
  SleepMs(100);
  if (g_pView->OpenPort()) {
    SetStatusText("Controller Connected");
  } else {
    SetStatusText("Controler Connection Failed");
  }
  if (g_connected.load()) {
    g_bootMode = true;
    // First contact with the talker; its answer is not needed.
    uint8_t hprio = 0;
    ReadTargetByte(REG_HPRIO, hprio);
    SetStatusText("Controller Connection Good, Expanded mode");
  }
  return 1;
}
