// The emulated 68HC11F1's speed: E cycles emulated per second of host time
// on a talker-like loop mix, and what the controller costs the host on a
// pseudo-terminal, paced and unpaced.  Prints figures; never fails on them.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "RawLine.h"
#include "sim/VirtualController.h"
#include "sim/hc11/Machine.h"

namespace {

using Clock = std::chrono::steady_clock;

// At 0x0100: copy 64 bytes with a running checksum (X and Y indexed,
// push/pull), then a subroutine with 16-bit arithmetic, a bit set, a short
// DEY delay and MUL, and round again.  It writes memory on every turn, so no
// loop in it is ever skipped as idle.
//   0100 ldx #$0200 / ldy #$0300 / ldab #64 / clra
//   010A copy: adda 0,x / psha / ldaa 0,x / staa 0,y / pula / inx / iny / decb / bne copy
//   0119 staa $10 / bsr sub / inc $0011 / jmp $0100
//   0123 sub: ldd $12 / addd #$0123 / std $12 / bset $13,#1 / ldy #5
//   0131 dly: dey / bne dly / mul / rts
const std::vector<uint8_t> kLoopMix = {0xCE, 0x02, 0x00, 0x18, 0xCE, 0x03, 0x00, 0xC6, 0x40, 0x4F, 0xAB,
                                       0x00, 0x36, 0xA6, 0x00, 0x18, 0xA7, 0x00, 0x32, 0x08, 0x18, 0x08,
                                       0x5A, 0x26, 0xF1, 0x97, 0x10, 0x8D, 0x06, 0x7C, 0x00, 0x11, 0x7E,
                                       0x01, 0x00, 0xDC, 0x12, 0xC3, 0x01, 0x23, 0xDD, 0x12, 0x14, 0x13,
                                       0x01, 0x18, 0xCE, 0x00, 0x05, 0x18, 0x09, 0x26, 0xFC, 0x3D, 0x39};

// An echo loader: every byte comes back plus one.
const std::vector<uint8_t> kEcho = {0xCE, 0x10, 0x00, 0x1F, 0x2E, 0x20, 0xFC, 0xA6, 0x2F,
                                    0x4C, 0x1F, 0x2E, 0x80, 0xFC, 0xA7, 0x2F, 0x20, 0xF1};

void EmulatedMhz() {
  hc11::Machine m{hc11::MachineOptions()};
  m.Reset(hc11::McuMode::Bootstrap);
  std::copy(kLoopMix.begin(), kLoopMix.end(), m.Ram().begin() + 0x100);
  m.GetCpu().Regs().pc = 0x0100;
  m.GetCpu().Regs().sp = 0x03FF;
  const uint64_t cycles = 400'000'000;
  auto start = Clock::now();
  m.Run(m.Now() + cycles);
  double s = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf(
      "loop mix, unpaced: %.0f million E cycles in %.3f s = %.1f emulated MHz (%.0fx real time at E = 2 "
      "MHz)\n",
      cycles / 1e6, s, cycles / s / 1e6, cycles / s / 2e6);
  if (!m.Crash().empty() || m.GetStats().idleSkips)
    std::printf("  the loop mix did not run as meant: %s\n", m.Crash().c_str());
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

void LineFigures(bool pace) {
  SimOptions o;
  o.cpu = true;
  o.pace = pace;
  VirtualController vc(o);
  RawLine line;
  if (!vc.Start() || !line.Open(vc.SlavePath(), 1200)) {
    std::printf("could not start the controller\n");
    return;
  }
  const char* name = pace ? "paced" : "unpaced";
  std::vector<uint8_t> loader = kEcho;
  loader.resize(256, 0x01);
  std::vector<uint8_t> wire{0xFF};
  wire.insert(wire.end(), loader.begin(), loader.end());
  auto start = Clock::now();
  line.Send(wire);
  bool echoed = line.Receive(loader.size(), 20000) == loader;
  bool running = vc.WaitForMode(SimMode::Talker, 20000);
  double s = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%s: 256-byte loader downloaded at 1200 baud and started in %.3f s (line time %.3f s)%s\n",
              name, s, 257 * 10 / 1200.0, echoed && running ? "" : " FAILED");
  int exchanges = pace ? 50 : 500;
  start = Clock::now();
  int good = 0;
  for (int i = 0; i < exchanges; ++i) {
    line.Send(static_cast<uint8_t>(i));
    auto got = line.Receive(1, 2000);
    if (got.size() == 1 && got[0] == static_cast<uint8_t>(i + 1)) ++good;
  }
  s = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf(
      "%s: %d one-byte exchanges with the loader at 1202 baud: %.2f ms each (line time %.2f ms), %d right\n",
      name, exchanges, s * 1000 / exchanges, 20 * 1000 / 1202.0, good);
  // Idle: the loader waits in its poll loop.
  double c0 = CpuSeconds();
  auto w0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  double idle = (CpuSeconds() - c0) / std::chrono::duration<double>(Clock::now() - w0).count();
  std::printf("%s: host CPU while the loader waits for a byte: %.1f%% of a core\n", name, idle * 100);
  line.Close();
  vc.Stop();
}

void BusyLoopCost(bool pace) {
  SimOptions o;
  o.cpu = true;
  o.pace = pace;
  VirtualController vc(o);
  RawLine line;
  if (!vc.Start() || !line.Open(vc.SlavePath(), 7812)) return;
  // inc $0100 / bra back: busy for ever, and never idle.
  line.Send({0xFF, 0x7C, 0x01, 0x00, 0x20, 0xFB});
  line.Receive(5, 5000);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // past the unpaced free run
  double c0 = CpuSeconds();
  auto w0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  double busy = (CpuSeconds() - c0) / std::chrono::duration<double>(Clock::now() - w0).count();
  std::printf("%s: host CPU while a loader spins in a busy loop: %.1f%% of a core\n",
              pace ? "paced" : "unpaced", busy * 100);
  vc.Stop();
}

}  // namespace

int main() {
  EmulatedMhz();
  LineFigures(false);
  LineFigures(true);
  BusyLoopCost(false);
  BusyLoopCost(true);
  return 0;
}
