// Link figures over a pseudo-terminal whose far end echoes every byte:
//  - round trip of one byte through WriteBytes, the receive thread, the
//    queue and its event, waited for the way the talker's receive does;
//  - throughput with two bytes in flight;
//  - CPU the receive thread uses while the line is idle (it must sleep).
// Prints figures; never fails on timing.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "link/Link.h"
#include "shell/SettingsStore.h"

namespace {

class BenchStore : public SettingsStore {
 public:
  std::string device;
  int GetProfileInt(const std::string&, const std::string&, int d) override { return d; }
  bool WriteProfileInt(const std::string&, const std::string&, int) override { return true; }
  std::string GetProfileString(const std::string&, const std::string& key, const std::string& d) override {
    return key == "Device 1" ? device : d;
  }
  bool WriteProfileString(const std::string&, const std::string&, const std::string&) override {
    return true;
  }
};

using Clock = std::chrono::steady_clock;


double ProcessCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  auto sec = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
  return sec(ru.ru_utime) + sec(ru.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 5000;
  const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
      ptsname_r(master, name, sizeof name) != 0) {
    std::perror("pseudo-terminal");
    return 1;
  }
  BenchStore store;
  store.device = name;
  g_settings = &store;
  CLink link;
  link.ReadSettings();
  link.m_settings.normalBaud = 115200;
  auto ReceiveOne = [&link](uint8_t& byte) { return link.ReceiveByte(byte) == 1; };
  auto WriteBytes = [&link](const uint8_t* data, unsigned n) { return link.WriteBytes(data, n); };
  if (!link.OpenPort()) {
    std::fprintf(stderr, "cannot open %s\n", name);
    return 1;
  }

  std::atomic<bool> echoing{true}, stop{false};
  std::thread peer([&] {
    uint8_t buffer[512];
    while (!stop) {
      pollfd p{master, POLLIN, 0};
      if (!echoing || poll(&p, 1, 100) <= 0) {
        if (!echoing) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        continue;
      }
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0 && write(master, buffer, static_cast<size_t>(n)) != n) break;
    }
  });

  // Round trip of one byte at a time.
  std::vector<double> micros;
  micros.reserve(rounds);
  for (int i = 0; i < rounds; ++i) {
    const uint8_t out = static_cast<uint8_t>(i);
    uint8_t in = 0;
    const auto start = Clock::now();
    if (!WriteBytes(&out, 1) || !ReceiveOne(in) || in != out) {
      std::fprintf(stderr, "round trip %d failed\n", i);
      return 1;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(micros.begin(), micros.end());
  double sum = 0;
  for (double m : micros) sum += m;
  std::printf("round trip, one byte (%d rounds): mean %.1f us, median %.1f us, p99 %.1f us, max %.1f us\n",
              rounds, sum / rounds, micros[micros.size() / 2], micros[micros.size() * 99 / 100],
              micros.back());

  // Two bytes in flight: each echo that comes back lets the next byte go.
  const int total = rounds * 4;
  const auto start = Clock::now();
  int sent = 0, received = 0;
  for (; sent < 2; ++sent) {
    const uint8_t b = static_cast<uint8_t>(sent);
    WriteBytes(&b, 1);
  }
  while (received < total) {
    uint8_t in = 0;
    if (!ReceiveOne(in) || in != static_cast<uint8_t>(received)) {
      std::fprintf(stderr, "echo %d wrong\n", received);
      return 1;
    }
    ++received;
    if (sent < total) {
      const uint8_t b = static_cast<uint8_t>(sent++);
      WriteBytes(&b, 1);
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("two bytes in flight: %d bytes in %.3f s = %.0f bytes/s (%.1f us per byte)\n", total, seconds,
              total / seconds, seconds * 1e6 / total);

  // Idle: nothing on the line; the receive thread should be asleep in its wait.
  echoing = false;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // The main thread sleeps too, so what the process spends is the waits'.
  const double proc0 = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  const double proc1 = ProcessCpuSeconds();
  std::printf("idle %d s: process CPU %.3f ms (%.4f%%)\n", idleSeconds, (proc1 - proc0) * 1e3,
              (proc1 - proc0) * 100.0 / idleSeconds);

  stop = true;
  peer.join();
  link.ClosePort();
  close(master);
  g_settings = nullptr;
  return 0;
}
