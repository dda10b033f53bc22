#include "target/BootLoad.h"

#include <cstdio>
#include <vector>

#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/Link.h"
#include "panes/MainFrame.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"
#include "target/Stream.h"
#include "target/Talker.h"

namespace {

// The bootstrap ROM takes at least this many bytes, and has room for no more
// than the upper figure.
constexpr unsigned kMinLoader = 255;
constexpr unsigned kMaxLoader = 1024;
constexpr int kEchoSliceMs = 50;
constexpr int kEchoIdleSlices = 10;

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
void WaitForEcho(CLink& link, unsigned expected, unsigned bytesSent) {
  const int baud = link.m_settings.bootstrapBaud > 0 ? link.m_settings.bootstrapBaud : 1;
  const long long lineMs = static_cast<long long>(bytesSent) * 10 * 1000 / baud;
  const long long maxSlices = (2 * lineMs + 500) / kEchoSliceMs + 1;
  uint32_t seen = link.Queue().Count();
  int idle = 0;
  for (long long slice = 0; link.Queue().Count() < expected && idle < kEchoIdleSlices && slice < maxSlices;
       ++slice) {
    link.SleepMs(kEchoSliceMs);
    uint32_t now = link.Queue().Count();
    idle = now == seen ? idle + 1 : 0;
    seen = now;
  }
}

void ClosePortIfOpen(CLink& link) {
  link.ClosePort();
  link.SetBootMode(false);
}

}  // namespace

int VerifyBootEcho(const uint8_t* expected, unsigned n, CByteFifo& queue, unsigned length, bool connected) {
  if (length > n) return 0;
  const uint8_t* sent = expected + (n - length);
  int same = 1;
  for (unsigned i = 0; i < length; ++i) {
    // Echo bytes that were never taken prove nothing about the download.
    if (!connected) return 0;
    if (queue.Count() == 0) return 0;
    if (queue.GetByte() != sent[i]) same = 0;
  }
  return same;
}

int EnsureTalker(CTalker& talker, bool noPrompt, OpResult* result) {
  if (talker.Link().BootMode()) {
    if (result) *result = OpResult();
    return 1;
  }
  return BootLoad(talker, noPrompt, result);
}

int BootLoad(CTalker& talker, bool noPrompt, OpResult* out) {
  CLink& link = talker.Link();
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  if (link.Connected() || link.PortHeld()) link.ClosePort();
  talker.ForgetExtension();
  link.SleepMs(10);

  auto fail = [&](const char* box, Outcome outcome, const std::string& detail) {
    if (box) AfxMessageBox(box);
    ClosePortIfOpen(link);
    result = OpResult::With(outcome, detail);
    return 0;
  };

  if (!link.OpenAt(link.m_settings.bootstrapBaud))
    return fail("Failed to open connection", Outcome::NotConnected, "the port did not open at the bootstrap rate");
  link.SetBootMode(true);

  CProgrammer loader;
  std::unique_ptr<std::istream> file = ChooseBootFile();
  if (!file) return fail("Cannot open Boot file", Outcome::FileError, "no loader file could be opened");
  loader.ReadSRecordStream(*file);
  file.reset();
  // Sending image padding or a damaged loader would start arbitrary code in
  // the target, so such a file is refused before anything is sent.
  if (loader.m_written[0] == 0)
    return fail("Boot file holds no loader at address 0", Outcome::FileError, "the loader file holds nothing at address 0");
  if (loader.m_badRecords != 0)
    return fail("Boot file has checksum errors", Outcome::BadRecords, "the loader file has checksum errors");
  // The bootstrap ROM stores 1024 bytes at the most; a loader that runs on
  // past them would start with its end cut off.
  if (loader.m_written[kMaxLoader] != 0)
    return fail("Boot file is longer than the 1024 bytes the bootstrap loads", Outcome::FileError,
                "the loader runs on past address 0x3FF");

  const uint8_t startByte = static_cast<uint8_t>(GetProfileIntInRange("Comm", "Bootstrap Start Byte", 255, 0, 255));
  const unsigned n = LoaderLength(loader);
  std::vector<uint8_t> download(n + 1);
  download[0] = startByte;
  for (unsigned i = 0; i < n; ++i) download[i + 1] = loader.m_image[i];

  if (!noPrompt) AfxMessageBox("Reset in Bootstrap Mode");

  link.Queue().Clear();
  SetStatusText("Bootloading Controller");
  // A download the driver did not take in full never reached the ROM whole.
  const bool sentWhole = link.WriteBytes(download.data(), static_cast<unsigned>(download.size()));
  SetStatusText("Waiting to complete Bootload");
  if (sentWhole) WaitForEcho(link, n, n + 1);

  // The start byte is not echoed; every loader byte is.
  const unsigned got = link.Queue().Count();
  std::string failure = "Boot Compare Failed!";
  if (got < n) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "\nGot %u bytes, Expected %u", got, n);
    failure += detail;
  }
  SetStatusText("Verifying Bootload ... ");
  // A few echo bytes lost at the start of the download are tolerated.
  const unsigned length = static_cast<double>(got) * 1.05 >= static_cast<double>(n) ? got : n;
  int verified = 0;
  if (sentWhole && VerifyBootEcho(download.data() + 1, n, link.Queue(), length, link.Connected())) {
    SetStatusText("Bootload Verified!.");
    verified = 1;
    // The loader itself says whether it speaks the extended protocol; only
    // the bytes that went out and came back are taken for it.
    TalkerExtension extension;
    SignatureInLoader(loader, extension);
    talker.SetExtension(extension);
  } else {
    AfxMessageBox(failure);
    SetStatusText("Bootload verify Failed.\n Boot again.\n ");
    link.SetBootMode(false);
    result = OpResult::With(Outcome::BootFailed,
                            sentWhole ? "got " + std::to_string(got) + " of " + std::to_string(n) +
                                            " echo bytes" + (got * 1.05 >= n ? ", not as sent" : "")
                                      : "the download could not be sent whole");
    result.count = got;
  }
  ClosePortIfOpen(link);
  if (!verified) return 0;

  // The talker needs a moment to switch to its own rate.
  link.SleepMs(100);
  if (link.OpenPort()) {
    SetStatusText("Controller Connected");
  } else {
    SetStatusText("Controler Connection Failed");
    result = OpResult::With(Outcome::NotConnected, "the port did not reopen at the normal rate");
  }
  if (link.Connected()) {
    link.SetBootMode(true);
    // First contact with the talker; its answer is not needed to go on, but
    // it says whether a talker is there at all.
    uint8_t hprio = 0;
    talker.ClearFault();
    talker.SetRateNote("");
    if (!talker.ReadTargetByte(REG_HPRIO, hprio)) {
      result = OpResult::With(link.Connected() ? Outcome::NoTalker : Outcome::LinkLost,
                              "the talker did not answer its first command");
    } else if (const int fast = FastBaudSetting(); fast > link.OpenRate() && UseExtension(talker)) {
      // The user's adapter can go faster than the normal rate, and our
      // talker can follow: move both there, or stay where both are.
      SetStatusText("Switching to " + std::to_string(fast) + " baud");
      std::string why;
      const int switched = SwitchRate(talker, fast, why);
      talker.SetRateNote(switched == 1 ? "at " + std::to_string(fast) + " baud"
                                       : std::to_string(fast) + " baud not used: " + why);
      if (switched < 0) result = OpResult::With(talker.FaultOutcome(), "rate switch: " + why);
    }
    SetStatusText("Controller Connection Good, Expanded mode");
  }
  return 1;
}
