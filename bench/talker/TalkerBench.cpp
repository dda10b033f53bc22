// Our talker on the emulated MC68HC11F1 against the C++ model of a talker,
// with the same host code on both, and the talker's own E cycles per
// echoed byte as the emulator counts them.
//   * 32 KB flash writes at 9600 baud, in line time: both controllers run
//     in process in virtual time, so the figures are exact and repeatable.
//   * E cycles from the moment the SCI has a data byte (RDRF) to the moment
//     its echo starts out, one byte at a time so the transmitter is always
//     free when the echo is written.
// Prints figures; never fails on timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "Pattern.h"
#include "board.h"
#include "image/Programmer.h"
#include "link/Link.h"
#include "shell/SettingsStore.h"
#include "shell/Shell.h"
#include "sim/SimDevice.h"
#include "sim/hc11/CpuDevice.h"
#include "support/MemoryStore.h"
#include "talker_symbols.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/FlashChip.h"
#include "target/Talker.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Host {
  std::unique_ptr<CLink> link;
  std::unique_ptr<CTalker> talker;
};

bool Boot(Host& host, std::unique_ptr<CSerialDevice> device, MemoryStore& store, const std::string& name,
          const std::string& loaderDir, const std::string& loader) {
  store.WriteProfileString("Comm", "Device 1", name);
  store.WriteProfileInt("Comm", "BSB", 1200);
  store.WriteProfileInt("Comm", "Normal Baud", 9600);
  store.WriteProfileString("file", "BOOT PATH", loaderDir + "/");
  store.WriteProfileString("file", "BOOT NAME", loader);
  ForgetBootFileChoice();
  host.talker.reset();
  host.link = std::make_unique<CLink>(std::move(device));
  host.link->ReadSettings();
  host.talker = std::make_unique<CTalker>(*host.link);
  OpResult result;
  return BootLoad(*host.talker, true, &result) == 1 && result.Ok();
}

struct Timing {
  double line = 0;  // seconds of line time
  double real = 0;  // seconds of this process's time
  int result = 0;
};

Timing Measure(const std::function<double()>& now, const std::function<int()>& run) {
  Timing t;
  const double before = now();
  const auto start = Clock::now();
  t.result = run();
  t.real = std::chrono::duration<double>(Clock::now() - start).count();
  t.line = now() - before;
  return t;
}

// E cycles from each data byte's RDRF to its echo's start bit, from the
// device's line log of one write sent a byte at a time.
struct Latency {
  double mean = 0;
  uint64_t low = 0, high = 0, last = 0;
};

Latency EchoLatency(CCpuDevice& device, size_t headerBytes) {
  const auto& host = device.HostLog();
  const auto& target = device.TargetLog();
  const uint64_t bit = device.Machine().GetSci().BitCycles();
  std::vector<uint64_t> cycles;
  // Host bytes after the header are the data; the talker's answers after
  // its complement are the echoes, one each, in order.
  for (size_t i = headerBytes, k = 1; i < host.size() && k < target.size(); ++i, ++k) {
    const uint64_t rdrf = host[i].start + bit * 9 + bit * 10 / 16;
    const uint64_t echoStart = target[k].end - 10 * bit;
    cycles.push_back(echoStart - rdrf);
  }
  Latency l;
  if (cycles.empty()) return l;
  l.last = cycles.back();
  if (cycles.size() > 1) cycles.pop_back();  // the last byte can differ (a page write)
  l.mean = std::accumulate(cycles.begin(), cycles.end(), 0.0) / static_cast<double>(cycles.size());
  l.low = *std::min_element(cycles.begin(), cycles.end());
  l.high = *std::max_element(cycles.begin(), cycles.end());
  return l;
}

// One command's data phase, a byte at a time, on a freshly booted talker.
Latency OneAtATime(Host& host, CCpuDevice& device, uint8_t command, unsigned address, const Bytes& data) {
  device.Run(0.01);
  device.ClearTrace();
  CTalker& talker = *host.talker;
  host.link->Queue().Clear();
  talker.SendCommandHeader(command, address, static_cast<uint8_t>(data.size()));
  unsigned at = address;
  int result = 1;
  talker.SendDataPhase(
      at, static_cast<uint8_t>(data.size()), [&](unsigned a) { return data[a - address]; },
      EchoPacing::OneAtATime, 50, result);
  return EchoLatency(device, 4);
}

void PrintLatency(const char* what, const Latency& l, const char* lastNote = nullptr) {
  std::printf("  %-34s %8.1f (%llu-%llu)", what, l.mean, static_cast<unsigned long long>(l.low),
              static_cast<unsigned long long>(l.high));
  if (lastNote) std::printf("   last byte %llu (%s)", static_cast<unsigned long long>(l.last), lastNote);
  std::printf("\n");
}

}  // namespace

int main() {
  NullShell shell;
  shell.Install();
  MemoryStore store;
  g_settings = &store;
  const std::string talkerDir = KESTON_TALKER_DIR;
  const std::string examples = std::string(KESTON_SOURCE_DIR) + "/examples";

  CProgrammer image;
  const Bytes program = Pattern(0x8000, 7);
  for (unsigned i = 0; i < program.size(); ++i) image.SetImageByte(0x8000 + i, program[i]);

  std::printf("talker: %u bytes, E = %.0f Hz, SCI %lu baud (BAUD = 0x%02lX) for a 9600-baud host\n",
              talker_symbols::SIZE, static_cast<double>(talker_board::E_HZ), talker_board::SCI_RATE,
              talker_board::BAUD_VALUE);
  std::printf("\n32 KB flash write at 9600 baud, 0x8000-0xFFFF, line time (process time):\n");
  // Our talker against the model with the same, standard, commands.
  store.WriteProfileInt("Comm", "Standard Protocol", 1);
  struct Chip {
    const char* name;
    hc11::FlashChip::Kind kind;
    SimChip model;
    std::function<int(CTalker&)> write;
  };
  const Chip chips[] = {
      {"Am29F010, WriteFlash", hc11::FlashChip::Kind::Am29F010, SimChip::EraseFirst,
       [&](CTalker& t) { return WriteFlash(t, 0x8000, image, 0x7FFF, true); }},
      {"SST29EE010, WriteFlashBlocks", hc11::FlashChip::Kind::Sst29EE010, SimChip::Block,
       [&](CTalker& t) { return WriteFlashBlocks(t, 0x8000, image, 0x7FFF, true); }},
  };
  for (const Chip& chip : chips) {
    Host model;
    SimOptions options;
    options.chip = chip.model;
    auto simOwned = std::make_unique<CSimDevice>(options);
    CSimDevice* sim = simOwned.get();
    if (!Boot(model, std::move(simOwned), store, CSimDevice::kDefaultName, examples, "stand-in-loader.s19"))
      return std::puts("model: boot load failed"), 1;
    const Timing m = Measure([&] { return sim->Now(); }, [&] { return chip.write(*model.talker); });

    Host cpu;
    hc11::MachineOptions machine;
    machine.chip = chip.kind;
    auto cpuOwned = std::make_unique<CCpuDevice>(machine);
    CCpuDevice* device = cpuOwned.get();
    if (!Boot(cpu, std::move(cpuOwned), store, CCpuDevice::kDefaultName, talkerDir, "talker.s19"))
      return std::puts("talker: boot load failed"), 1;
    const Timing c = Measure([&] { return device->Now(); }, [&] { return chip.write(*cpu.talker); });
    const auto& flash = device->Machine().Chip().Array();
    const bool same = std::equal(program.begin(), program.end(), flash.begin() + 0x8000);
    std::printf("  %-30s model %7.3f s (%5.2f s)   talker %7.3f s (%5.2f s)   talker/model %.4f   %s\n",
                chip.name, m.line, m.real, c.line, c.real, c.line / m.line,
                m.result == 1 && c.result == 1 && same ? "written" : "FAILED");
  }

  store.WriteProfileInt("Comm", "Standard Protocol", 0);

  // The checked block write against the standard commands, on our talker,
  // with a USB adapter's latency timer imitated or not.
  std::printf("\n32 KB flash write at 9600 baud on our talker, line time: standard commands vs checked block write\n");
  std::printf("  %-30s %7s %12s %12s %8s\n", "chip, writer", "latency", "standard", "block write", "ratio");
  for (const Chip& chip : chips) {
    for (int latencyMs : {0, 16}) {
      double seconds[2] = {0, 0};
      bool written = true;
      for (int standard = 1; standard >= 0; --standard) {
        store.WriteProfileInt("Comm", "Standard Protocol", standard);
        Host cpu;
        hc11::MachineOptions machine;
        machine.chip = chip.kind;
        auto cpuOwned = std::make_unique<CCpuDevice>(machine);
        CCpuDevice* device = cpuOwned.get();
        if (!Boot(cpu, std::move(cpuOwned), store, CCpuDevice::kDefaultName, talkerDir, "talker.s19"))
          return std::puts("talker: boot load failed"), 1;
        device->SetAdapterLatency(latencyMs);
        const Timing t = Measure([&] { return device->Now(); }, [&] { return chip.write(*cpu.talker); });
        const auto& flash = device->Machine().Chip().Array();
        written = written && t.result == 1 && std::equal(program.begin(), program.end(), flash.begin() + 0x8000);
        seconds[standard] = t.line;
      }
      std::printf("  %-30s %4d ms %10.2f s %10.2f s %8.3f  %s\n", chip.name, latencyMs, seconds[1], seconds[0],
                  seconds[0] / seconds[1], written ? "written" : "FAILED");
    }
  }
  store.WriteProfileInt("Comm", "Standard Protocol", 0);

  std::printf("\nE cycles from a data byte's arrival (RDRF) to its echo's start bit, a byte at a time:\n");
  std::printf("  %-34s %8s %s\n", "command", "mean", "(range)");
  {
    Host host;
    hc11::MachineOptions machine;
    auto owned = std::make_unique<CCpuDevice>(machine);
    CCpuDevice& device = *owned;
    if (!Boot(host, std::move(owned), store, CCpuDevice::kDefaultName, talkerDir, "talker.s19")) return 1;
    PrintLatency("0x41 write (RAM)",
                 OneAtATime(host, device, CMD_WRITE, talker_board::PAGE_BUF, Pattern(64, 1)));
    PrintLatency("0x71 flash write (Am29F010)",
                 OneAtATime(host, device, CMD_FLASH_WRITE, 0x9000, Pattern(64, 2)));
    PrintLatency("0x71 byte already there (skipped)",
                 OneAtATime(host, device, CMD_FLASH_WRITE, 0x9000, Pattern(64, 2)));
    EepromOn(*host.talker, 0x0E00);
    host.talker->WriteTargetByte(REG_BPROT, 0);
    auto& cells = device.Machine().Eeprom();
    std::fill(cells.begin(), cells.begin() + 0x40, 0x00);  // erased, then programmed
    std::fill(cells.begin() + 0x40, cells.end(), 0xFF);    // programmed only
    PrintLatency("0x31 EEPROM (erase and program)",
                 OneAtATime(host, device, CMD_EEPROM_WRITE, 0x0E00, Bytes(8, 0x5A)));
    PrintLatency("0x31 EEPROM (program only)",
                 OneAtATime(host, device, CMD_EEPROM_WRITE, 0x0E40, Bytes(8, 0x5A)));

    // Reads: the acknowledgement of the first byte of a two-byte read goes
    // out only after that byte came in, so the second byte's latency is the
    // talker's own.
    device.Run(0.01);
    device.ClearTrace();
    CProgrammer back;
    host.talker->ReadTargetBlock(0x9000, back, 1);
    device.Run(0.01);  // the last acknowledgement onto the wire
    const auto& h = device.HostLog();
    const auto& t = device.TargetLog();
    const uint64_t bit = device.Machine().GetSci().BitCycles();
    if (h.size() == 6 && t.size() == 3) {
      const uint64_t ack = h[4].start + bit * 9 + bit * 10 / 16;
      const uint64_t header = h[3].start + bit * 9 + bit * 10 / 16;
      std::printf("  %-34s %8llu\n", "0x01 read: header to first byte",
                  static_cast<unsigned long long>(t[1].end - 10 * bit - header));
      std::printf("  %-34s %8llu\n", "0x01 read: acknowledgement to next",
                  static_cast<unsigned long long>(t[2].end - 10 * bit - ack));
    }
  }
  {
    Host host;
    hc11::MachineOptions machine;
    machine.chip = hc11::FlashChip::Kind::Sst29EE010;
    auto owned = std::make_unique<CCpuDevice>(machine);
    CCpuDevice& device = *owned;
    if (!Boot(host, std::move(owned), store, CCpuDevice::kDefaultName, talkerDir, "talker.s19")) return 1;
    PrintLatency("0x51 block write (SST29EE010)",
                 OneAtATime(host, device, CMD_FLASH_BLOCK_WRITE, 0xA000, Pattern(64, 4)), "page write");
    PrintLatency("0x51 block across two pages",
                 OneAtATime(host, device, CMD_FLASH_BLOCK_WRITE, 0xA0E0, Pattern(64, 5)), "two page writes");
  }
  g_settings = nullptr;
  return 0;
}
