// Throughput of the virtual controller: unpaced it must never be what limits
// a test run; paced it must run as close to the line's ten-bit-per-byte
// limit as a real UART.  Prints figures; never fails on them.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace

int main() {
  Unpaced();
  Paced(9600, 8);
  Paced(115200, 64);
  return 0;
}
