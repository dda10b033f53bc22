// Throughput of the virtual controller: unpaced it must never be what limits
// a test run; paced it must run as close to the line's ten-bit-per-byte
// limit as a real UART.  Prints figures; never fails on them.
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "IdealClient.h"
#include "RawLine.h"
#include "sim/VirtualController.h"

namespace {

using Clock = std::chrono::steady_clock;

bool BootTalker(VirtualController& vc, RawLine& line, const SimOptions& o) {
  std::string marker = o.talkerSignature;
  std::vector<uint8_t> wire{0xFF};
  wire.insert(wire.end(), marker.begin(), marker.end());
  while (wire.size() < 65) wire.push_back(0x01);
  if (!line.Open(vc.SlavePath(), o.bootstrapBaud) || !line.Send(wire)) return false;
  if (line.Receive(wire.size() - 1, 20000).size() != wire.size() - 1) return false;
  if (!vc.WaitForMode(SimMode::Talker, 5000)) return false;
  return line.SetBaud(o.normalBaud);
}

// Writes `chunks` CMD_FLASH_WRITE commands of 256 bytes as one stream while
// another thread takes the replies; returns the seconds from the first byte
// sent to the last reply, or a negative value when replies went missing or
// differed.
double StreamFlashWrites(RawLine& line, int chunks, size_t& hostBytes) {
  std::vector<uint8_t> wire, expected;
  for (int c = 0; c < chunks; ++c) {
    // 0x4000-0xFFFF is flash that nothing else shadows; more than 48 KB
    // goes round it again, which the block chip takes as sent.
    unsigned address = 0x4000 + (c % 192) * 256;
    wire.insert(wire.end(), {0x71, 0x00, static_cast<uint8_t>(address >> 8), 0x00});
    expected.push_back(0x8E);
    for (int i = 0; i < 256; ++i) {
      uint8_t b = static_cast<uint8_t>(c * 17 + i * 3);
      wire.push_back(b);
      expected.push_back(b);
    }
  }
  hostBytes = wire.size();
  std::vector<uint8_t> got;
  auto start = Clock::now();
  std::thread reader([&] { got = line.Receive(expected.size(), 120000); });
  line.Send(wire);
  reader.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (got != expected) {
    size_t i = 0;
    while (i < got.size() && got[i] == expected[i]) ++i;
    std::printf("  %zu of %zu replies, first difference at %zu\n", got.size(), expected.size(), i);
    return -1;
  }
  return seconds;
}

// The host's own pace: two data bytes out, then their two echoes.
double LockStepFlashWrites(RawLine& line, int chunks) {
  auto start = Clock::now();
  for (int c = 0; c < chunks; ++c) {
    unsigned address = 0x4000 + (c % 192) * 256;
    line.Send({0x71, 0x00, static_cast<uint8_t>(address >> 8), 0x00});
    if (line.Receive(1).size() != 1) return -1;
    for (int i = 0; i < 256; i += 2) {
      line.Send({0x00, 0x00});
      if (line.Receive(2).size() != 2) return -1;
    }
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Unpaced() {
  SimOptions o;
  o.chip = SimChip::Block;
  VirtualController vc(o);
  RawLine line;
  if (!vc.Start() || !BootTalker(vc, line, o)) {
    std::printf("unpaced: could not start the talker\n");
    return;
  }
  size_t hostBytes = 0;
  double s = StreamFlashWrites(line, 256, hostBytes);
  if (s <= 0) {
    std::printf("unpaced stream: replies missing or wrong\n");
    return;
  }
  std::printf("unpaced, 64 KB of CMD_FLASH_WRITE streamed: %.3f s, %.0f data bytes/s (%.0f KB/s)\n", s,
              65536 / s, 65536 / s / 1024);
  double l = LockStepFlashWrites(line, 64);
  if (l > 0)
    std::printf("unpaced, 16 KB in the host's two-bytes-then-echoes step: %.3f s, %.0f data bytes/s\n", l,
                16384 / l);
}

void Paced(int baud, int chunks) {
  SimOptions o;
  o.chip = SimChip::Block;
  o.pace = true;
  o.bootstrapBaud = baud;  // a short download at the same rate keeps the run brief
  o.normalBaud = baud;
  VirtualController vc(o);
  RawLine line;
  if (!vc.Start() || !BootTalker(vc, line, o)) {
    std::printf("paced %d: could not start the talker\n", baud);
    return;
  }
  size_t hostBytes = 0;
  double s = StreamFlashWrites(line, chunks, hostBytes);
  if (s <= 0) {
    std::printf("paced %d: replies missing or wrong\n", baud);
    return;
  }
  // The last echo follows the last host byte by one character time.
  double ideal = (hostBytes + 1) * 10.0 / baud;
  double throughput = hostBytes / s;
  std::printf(
      "paced at %d bit/s: %zu host bytes in %.3f s = %.1f bytes/s; line limit %.1f bytes/s; "
      "%.2f%% of the limit (ideal time %.3f s)\n",
      baud, hostBytes, s, throughput, baud / 10.0, 100.0 * ideal / s, ideal);
}

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  uint32_t state = 7;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

// The controller's own lateness, answer by answer, while the ideal host
// drives it in lock step: each answer's write to the line against the end
// of its stop bit.  Nothing else is on the line, so every late microsecond
// is the controller's.
void Lateness(const char* what, SimOptions o, const std::vector<uint8_t>& loader, int bootBaud, size_t bytes) {
  o.pace = true;
  VirtualController vc(o);
  RawLine line;
  if (!vc.Start() || !IdealBoot(line, vc.SlavePath(), loader, bootBaud, o.normalBaud)) {
    std::printf("%s: could not start the talker\n", what);
    return;
  }
  const std::vector<uint8_t> image = Pattern(0x10000);
  vc.ClearTrace();
  IdealRun run = IdealFlashWrite(line, image, 0x4000, static_cast<unsigned>(0x4000 + bytes - 1),
                                 IdealWindow::LockStepPairs);
  const std::vector<double> late = vc.Lateness();
  if (!run.ok) {
    std::printf("%s: the flash write failed\n", what);
    return;
  }
  const double bound = LineBoundSeconds(run.hostBytes, run.targetBytes, o.normalBaud);
  std::printf(
      "%s, lock-step flash of %zu bytes by the ideal host: %.3f s (%.2fx the line bound %.3f s); the controller's "
      "lateness over %zu answers: median %.1f us, p99 %.1f us, max %.1f us\n",
      what, bytes, run.seconds, run.seconds / bound, bound, late.size(), Quantile(late, 0.5) * 1e6,
      Quantile(late, 0.99) * 1e6, Quantile(late, 1.0) * 1e6);
  // KESTON_BENCH_DETAIL=1 lists the late answers, to tell a pattern from a
  // machine busy with something else.
  if (std::getenv("KESTON_BENCH_DETAIL"))
    for (size_t i = 0; i < late.size(); ++i)
      if (late[i] > 50e-6) std::printf("  answer %zu: %.1f us late\n", i, late[i] * 1e6);
}

std::vector<uint8_t> ModelLoader(const SimOptions& o) {
  std::vector<uint8_t> loader(o.talkerSignature.begin(), o.talkerSignature.end());
  loader.resize(64, 0x01);
  return loader;
}

}  // namespace

int main() {
  Unpaced();
  Paced(9600, 8);
  Paced(115200, 64);

  SimOptions model;
  for (int baud : {9600, 115200}) {
    model.bootstrapBaud = model.normalBaud = baud;
    Lateness(baud == 9600 ? "paced model 9600" : "paced model 115200", model, ModelLoader(model), baud,
             baud == 9600 ? 1024 : 8192);
  }
#ifdef KESTON_TALKER_S19
  SimOptions cpu;
  cpu.cpu = true;
  cpu.bootstrapBaud = 7812;  // the boot ROM's fast rate at E = 2 MHz
  cpu.normalBaud = 9600;
  const std::vector<uint8_t> talker = LoaderFromFile(KESTON_TALKER_S19);
  if (talker.empty())
    std::printf("paced CPU: cannot read %s\n", KESTON_TALKER_S19);
  else
    Lateness("paced CPU with our talker 9600", cpu, talker, 7812, 1024);
#endif
  return 0;
}
