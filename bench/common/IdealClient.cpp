#include "IdealClient.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>

#include "image/Programmer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAnswerMs = 5000;

// Counts what crosses the line.  Bytes go one or two at a time, as the
// protocol has them.
struct Counted {
  RawLine& line;
  IdealRun& run;
  bool Send(uint8_t a) { return SendBytes(&a, 1); }
  bool Send(uint8_t a, uint8_t b) {
    const uint8_t two[2] = {a, b};
    return SendBytes(two, 2);
  }
  bool SendBytes(const uint8_t* bytes, size_t n) {
    run.hostBytes += n;
    return line.Send(std::vector<uint8_t>(bytes, bytes + n));
  }
  bool Take(uint8_t& byte) {
    std::vector<uint8_t> got = line.Receive(1, kAnswerMs);
    run.targetBytes += got.size();
    if (got.size() != 1) return false;
    byte = got[0];
    return true;
  }
  // False only when nothing came; a wrong answer is counted.
  bool Expect(uint8_t expected) {
    uint8_t got = 0;
    if (!Take(got)) return false;
    if (got != expected) ++run.mismatches;
    return true;
  }
};

bool Command(Counted& c, uint8_t command, unsigned count, unsigned address) {
  const uint8_t header[3] = {static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address & 0xFF)};
  return c.Send(command) && c.Expect(static_cast<uint8_t>(~command)) && c.SendBytes(header, 3);
}

}  // namespace

std::vector<uint8_t> LoaderFromFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  CProgrammer image;
  image.ReadSRecordStream(in);
  if (image.m_badRecords != 0 || !image.m_written[0]) return {};
  std::vector<uint8_t> bytes(image.m_highest + 1);
  for (unsigned a = 0; a <= image.m_highest; ++a) bytes[a] = image.GetImageByte(a);
  return bytes;
}

bool IdealBoot(RawLine& line, const std::string& path, const std::vector<uint8_t>& loader, int bootBaud,
               int normalBaud) {
  if (!line.Open(path, bootBaud)) return false;
  std::vector<uint8_t> wire(loader.size() + 1, 0xFF);  // the start byte, then the loader
  std::copy(loader.begin(), loader.end(), wire.begin() + 1);
  if (!line.Send(wire)) return false;
  const int ms = static_cast<int>(loader.size() * 10.0 / bootBaud * 1000 * 2) + 2000;
  if (line.Receive(loader.size(), ms) != loader) return false;
  // The loader switches its own rate once the last echo has left; the boot
  // ROM waits four character times of silence before it runs the loader.
  line.Drain(static_cast<int>(40.0 / bootBaud * 1000) + 100);
  return line.SetBaud(normalBaud);
}

IdealRun IdealFlashWrite(RawLine& line, const std::vector<uint8_t>& image, unsigned first, unsigned last,
                         IdealWindow window) {
  IdealRun run;
  Counted c{line, run};
  const auto start = Clock::now();
  // EEPROM out of the flash's way, as the program does first.
  uint8_t config = 0;
  if (!Command(c, 0x01, 1, 0x103F) || !c.Take(config) || !c.Send(config)) return run;
  const uint8_t off = static_cast<uint8_t>(config & 0x0E);
  if (!Command(c, 0x41, 1, 0x103F) || !c.Send(off) || !c.Expect(off)) return run;
  unsigned address = first;
  while (address <= last) {
    const unsigned n = std::min(256u, last - address + 1);
    if (!Command(c, 0x71, n, address)) return run;
    // data[i] may go out while one echo is awaited only when at least two
    // bytes of the chunk are still due from it: the last two go singly.
    auto mayOverlap = [&](unsigned i) { return n - i > 2; };
    if (window == IdealWindow::LockStepPairs) {
      unsigned i = 0;
      while (i < n) {
        if (mayOverlap(i)) {
          if (!c.Send(image[address + i], image[address + i + 1]) || !c.Expect(image[address + i]) ||
              !c.Expect(image[address + i + 1]))
            return run;
          i += 2;
        } else {
          if (!c.Send(image[address + i]) || !c.Expect(image[address + i])) return run;
          i += 1;
        }
      }
    } else {
      unsigned sent = 0, echoed = 0;
      while (echoed < n) {
        // Fill the window: two out while the next may overlap, else one.
        while (sent < n && (sent == echoed || (sent - echoed == 1 && mayOverlap(sent)))) {
          if (!c.Send(image[address + sent])) return run;
          ++sent;
        }
        if (!c.Expect(image[address + echoed])) return run;
        ++echoed;
      }
    }
    address += n;
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.ok = true;
  return run;
}

IdealRun IdealRead(RawLine& line, unsigned first, unsigned last, IdealWindow window, std::vector<uint8_t>& into) {
  IdealRun run;
  Counted c{line, run};
  into.assign(last - first + 1, 0);
  const auto start = Clock::now();
  unsigned address = first;
  while (address <= last) {
    const unsigned n = std::min(256u, last - address + 1);
    if (!Command(c, 0x01, n, address)) return run;
    uint8_t* out = into.data() + (address - first);
    if (window == IdealWindow::LockStepPairs) {
      // As the program counts: the 8-bit count left, where 0 is 256 (so a
      // whole chunk starts with a single byte).
      unsigned i = 0;
      uint8_t count = static_cast<uint8_t>(n);
      do {
        if (!c.Take(out[i]) || !c.Send(out[i])) return run;
        if (count > 2) {
          if (!c.Send(0) || !c.Take(out[i + 1])) return run;
          i += 2;
          --count;
        } else {
          i += 1;
        }
        --count;
      } while (count != 0);
    } else {
      for (unsigned i = 0; i < n; ++i) {
        if (!c.Take(out[i])) return run;
        if (i == 0 && !c.Send(out[0])) return run;
        if (i + 1 < n && !c.Send(0)) return run;
      }
    }
    address += n;
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.ok = true;
  return run;
}

double LineBoundSeconds(size_t hostBytes, size_t targetBytes, int baud) {
  return static_cast<double>(std::max(hostBytes, targetBytes)) * 10.0 / baud;
}

double LockStepFlashBound(unsigned first, unsigned last, int baud) {
  // CONFIG read: command 2, header 3, the byte 1, its acknowledgement 1;
  // CONFIG write: command 2, header 3, the byte and its echo 2.
  double characters = 7 + 7;
  for (unsigned address = first; address <= last;) {
    const unsigned n = std::min(256u, last - address + 1);
    const unsigned singles = n > 2 ? 2 + (n % 2) : n;  // pairs while more than two remain
    characters += 2 + 3 + 3.0 * ((n - singles) / 2) + 2.0 * singles;
    address += n;
  }
  return characters * 10.0 / baud;
}

double Quantile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  const size_t rank = std::min(values.size() - 1, static_cast<size_t>(std::ceil(p * values.size())) - (p > 0 ? 1 : 0));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank), values.end());
  return values[rank];
}

TraceShares SharesFromTrace(std::vector<SimTraceEntry> trace, double from, int baud) {
  const double charTime = 10.0 / baud;
  std::sort(trace.begin(), trace.end(),
            [](const SimTraceEntry& a, const SimTraceEntry& b) { return a.seconds < b.seconds; });
  TraceShares shares;
  double lastDelivered = -1, lastHostWrite = -1;
  for (const SimTraceEntry& e : trace) {
    if (e.seconds < from) continue;
    if (!e.fromHost) {
      if (e.delivered >= 0) {
        lastDelivered = e.delivered;
        shares.lateness += std::max(0.0, e.delivered - e.seconds);
      }
      continue;
    }
    // A host byte's entry is stamped when its stop bit arrived.
    const double written = e.seconds - charTime;
    if (lastDelivered >= 0 && lastDelivered > lastHostWrite && written > lastDelivered)
      shares.turnaround += written - lastDelivered;
    lastHostWrite = written;
  }
  return shares;
}
