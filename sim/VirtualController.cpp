#include "sim/VirtualController.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <random>
#include <thread>

#include "sim/PtyLine.h"
#include "sim/SimTarget.h"
#include "sim/hc11/Hc11Target.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// While nobody holds the slave the master reports a hang-up continuously, so
// the thread looks for the host's return in slices of this length.
constexpr double kClosedSlice = 0.005;
// After the host opens the line it usually sets the rate a moment later; the
// rate is looked at this often until the first byte arrives.
constexpr double kOpenRateSlice = 0.010;
// Paced bytes are due at exact times.  A wake-up from the kernel comes a
// few microseconds to over a hundred microseconds late (an idle processor
// wakes slowly) even with no timer slack, so the thread sleeps until this
// long before a deadline and spins (still watching the line) for the rest.
constexpr double kSpinBefore = 150e-6;

// A UART tolerates a few percent between the two ends' clocks.
bool RatesMatch(int sent, int listening) {
  if (sent <= 0 || listening <= 0) return false;
  return std::abs(sent - listening) <= listening * 0.02;
}

}  // namespace

// What a UART listening at `listening` makes of a byte sent at `sent`: it
// synchronises on the start bit's edge and samples each data bit in the
// middle of its own bit time, which lands on the wrong bits of the sender's
// frame.  The result never equals the byte, so a wrong rate is always seen.
uint8_t SimGarbleByte(uint8_t byte, int sent, int listening) {
  double ratio = (sent > 0 && listening > 0) ? static_cast<double>(sent) / listening : 0.5;
  unsigned out = 0;
  for (int bit = 0; bit < 8; ++bit) {
    double senderBit = std::floor((bit + 1.5) * ratio);
    unsigned level;
    if (senderBit < 1)
      level = 0;  // still the start bit
    else if (senderBit <= 8)
      level = (byte >> static_cast<int>(senderBit - 1)) & 1;
    else
      level = 1;  // stop bit and idle line
    out |= level << bit;
  }
  // A sender much faster than the receiver looks like a lone start bit and
  // samples as 0xFF.  The frame is broken anyway (framing error), and taking
  // it for the bootstrap start byte would start downloads from noise, so such
  // frames, like those that happen to sample right, become another value.
  if (out == byte || out == 0xFF) out = byte ^ 0x81u;
  if (out == 0xFF) out = byte ^ 0x83u;
  return static_cast<uint8_t>(out);
}

struct VirtualController::Impl {
  explicit Impl(const SimOptions& o) : options(o), target(o) {
    if (o.cpu) cpu = std::make_unique<Hc11Target>(o);
  }

  struct InByte {
    uint8_t byte;
    double at;  // when the UART has received it
    int rate;   // the host's rate when it was written
  };
  struct OutByte {
    uint8_t byte;
    double at;     // when it is on the host's side of the line
    size_t entry;  // its trace entry, counted like traceBase
  };

  SimOptions options;
  mutable std::mutex mutex;
  mutable std::condition_variable modeChanged;
  SimTarget target;
  std::unique_ptr<Hc11Target> cpu;                    // the emulated CPU, when chosen
  size_t traceBase = 0;                               // host-byte tags count from here after ClearTrace
  std::vector<hc11::Sci::Received> received;          // scratch
  std::vector<std::pair<uint8_t, uint64_t>> cpuSent;  // scratch
  std::vector<std::string> cpuMessages;

  int master = -1;
  int wake = -1;
  std::string slavePath;
  bool linkMade = false;
  std::thread thread;
  std::atomic<bool> stopping{false};
  bool serving = false;  // the thread is in its loop (guarded by the mutex)
  std::chrono::steady_clock::time_point origin;

  bool lineOpen = true;  // a fresh pseudo-terminal does not report a hang-up
  bool hungUp = false;
  bool openArmed = false;  // the host opened the line and has not sent yet
  // The rate the line last had in use (bytes, or the close); a change from
  // it after an open shows what the host has asked for.
  int rateAtOpen = 0;
  int opens = -1;  // inotify: every open of the slave, even one missed by polling
  int hostBaud = 0;
  double lastIn = 0;   // paced: when the previous host byte completed
  double lastOut = 0;  // paced: when the previous target byte completed
  std::deque<InByte> in;
  std::deque<OutByte> out;
  std::vector<SimTraceEntry> trace;
  // Kept beside the trace so that a test polling them copies bytes, not
  // the whole trace, while the serving thread waits for the lock.
  std::vector<uint8_t> hostBytes, targetBytes;
  // Bytes each way since Start, however much of the trace was let go.
  size_t hostTotal = 0, targetTotal = 0;
  std::vector<std::pair<uint8_t, double>> sent;  // scratch for CollectOutput
  std::vector<double> lateness;                  // paced: per byte written, seconds

  int dropCount = 0;
  double randomRate = 0;
  std::mt19937 random;

  double Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
  }
  SimMode ModeLocked() const { return hungUp ? SimMode::HungUp : cpu ? cpu->Mode() : target.Mode(); }
  int ListeningLocked() const { return cpu ? cpu->ListeningBaud() : target.ListeningBaud(); }
  void Wake() {
    if (wake < 0) return;
    uint64_t one = 1;
    ssize_t n = write(wake, &one, sizeof one);
    (void)n;
  }

  void Run();
  void BoundTraces();
  void Serving();
  void Serve(double now);
  double ServeCpu(double now);
  void ReceiveCpu(const InByte& byte);
  void CollectCpu(double now);
  void Receive(const InByte& byte);
  void CollectOutput();
  void FlushOutput(double now);
  // When a byte that left the target's side at `when` reaches the host: at
  // the next tick of the adapter's latency timer.  A real adapter also sends
  // early once its buffer fills; that only shortens the wait of long
  // streams, whose rate batching does not limit anyway.
  double AdapterDelivery(double when) const {
    if (options.adapterLatencyMs <= 0) return when;
    const double period = options.adapterLatencyMs / 1000.0;
    return std::ceil(when / period) * period;
  }
  void ReadInput();
  void CheckOpenRate();
  void NoteOpens();
  void ResetLocked(bool keepInput);
  // With both rates alike, opening the line says nothing about the host's
  // intent, and a talker session must not be reset by its own reconnection.
  bool OpenAsksForReset(int rate) const {
    return options.resetOnBootstrapRateOpen && RatesMatch(rate, options.bootstrapBaud) &&
           !RatesMatch(options.normalBaud, options.bootstrapBaud) && ModeLocked() != SimMode::Bootstrap;
  }
};

void VirtualController::Impl::ResetLocked(bool keepInput) {
  if (cpu)
    cpu->Reset();
  else
    target.Reset();
  if (!keepInput) in.clear();
  out.clear();
  modeChanged.notify_all();
}

void VirtualController::Impl::ReceiveCpu(const InByte& e) {
  // The byte goes on the wire at the host's rate; what the SCI makes of it
  // is filled in when it has sampled it (CollectCpu).
  SimTraceEntry entry{cpu->MachineSeconds(), true, e.byte, false};
  entry.received = e.byte;
  if (dropCount > 0) {
    --dropCount;
    entry.dropped = true;
  } else if (randomRate > 0 && std::uniform_real_distribution<double>(0, 1)(random) < randomRate) {
    entry.received ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(random));
    entry.garbled = true;
  }
  int tag = static_cast<int>(traceBase + trace.size());
  trace.push_back(entry);
  hostBytes.push_back(e.byte);
  ++hostTotal;
  BoundTraces();
  if (!entry.dropped) cpu->HostByte(entry.received, e.rate > 0 ? e.rate : options.bootstrapBaud, tag, Now());
}

void VirtualController::Impl::CollectCpu(double now) {
  received.clear();
  cpu->TakeReceived(received);
  for (const auto& r : received) {
    if (r.tag < 0 || static_cast<size_t>(r.tag) < traceBase) continue;
    size_t i = static_cast<size_t>(r.tag) - traceBase;
    if (i >= trace.size() || trace[i].received != trace[i].byte) continue;  // first character only
    trace[i].received = r.value;
    trace[i].garbled = trace[i].garbled || r.value != trace[i].byte || r.framingError;
  }
  cpuSent.clear();
  cpu->TakeOutput(cpuSent);
  for (auto [byte, cycle] : cpuSent) {
    double when = options.pace ? cpu->HostTimeOf(cycle) : now;
    out.push_back({byte, AdapterDelivery(when), traceBase + trace.size()});
    SimTraceEntry entry{static_cast<double>(cycle) / cpu->Machine().EHz(), false, byte, false};
    entry.received = byte;
    trace.push_back(entry);
    targetBytes.push_back(byte);
    ++targetTotal;
  }
  BoundTraces();
  for (auto& m : cpu->TakeMessages())
    if (cpuMessages.size() < 100000) cpuMessages.push_back(std::move(m));
}

double VirtualController::Impl::ServeCpu(double now) {
  SimMode before = ModeLocked();
  while (!in.empty()) {
    InByte e = in.front();
    in.pop_front();
    if (openArmed) {
      openArmed = false;
      if (OpenAsksForReset(e.rate)) ResetLocked(true);
    }
    ReceiveCpu(e);
  }
  double wait = cpu->Serve(now);
  CollectCpu(now);
  FlushOutput(now);
  if (ModeLocked() != before) modeChanged.notify_all();
  if (!out.empty() && out.front().at > now) wait = std::min(wait, out.front().at - now);
  return wait;
}

void VirtualController::Impl::Receive(const InByte& e) {
  if (openArmed) {
    openArmed = false;
    // A host that opens the line at the bootstrap rate means to download: a
    // controller whose program is running gets the reset the user would give it.
    if (OpenAsksForReset(e.rate)) ResetLocked(true);
  }
  target.Advance(e.at);  // the download may have ended before this byte
  SimTraceEntry entry{e.at, true, e.byte, false};
  entry.received = e.byte;
  int listening = ListeningLocked();
  if (!RatesMatch(e.rate, listening)) {
    entry.received = SimGarbleByte(e.byte, e.rate, listening);
    entry.garbled = true;
  }
  if (dropCount > 0) {
    --dropCount;
    entry.dropped = true;
  } else if (randomRate > 0 && std::uniform_real_distribution<double>(0, 1)(random) < randomRate) {
    entry.received ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(random));
    entry.garbled = true;
  }
  trace.push_back(entry);
  hostBytes.push_back(e.byte);
  ++hostTotal;
  BoundTraces();
  if (!entry.dropped) target.Receive(entry.received, e.at);
}

void VirtualController::Impl::CollectOutput() {
  sent.clear();
  target.TakeOutput(sent);
  for (auto [byte, at] : sent) {
    double when = at;
    if (options.pace) {
      when = std::max(at, lastOut) + 10.0 / ListeningLocked();
      lastOut = when;
    }
    out.push_back({byte, AdapterDelivery(when), traceBase + trace.size()});
    SimTraceEntry entry{when, false, byte, false};
    entry.received = byte;
    trace.push_back(entry);
    targetBytes.push_back(byte);
    ++targetTotal;
  }
  BoundTraces();
}

void VirtualController::Impl::BoundTraces() {
  // A controller serving for hours must not keep every byte it ever saw:
  // past the limit the older half of each record goes.  Tests clear the
  // trace long before that.
  if (trace.size() > options.traceLimit) {
    const size_t drop = trace.size() / 2;
    trace.erase(trace.begin(), trace.begin() + static_cast<std::ptrdiff_t>(drop));
    traceBase += drop;
  }
  for (std::vector<uint8_t>* bytes : {&hostBytes, &targetBytes}) {
    if (bytes->size() > options.traceLimit)
      bytes->erase(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(bytes->size() / 2));
  }
}

void VirtualController::Impl::FlushOutput(double now) {
  while (!out.empty() && out.front().at <= now) {
    if (master < 0 || !lineOpen) {
      // Nobody holds the line: what the target sends is lost, as on a cable.
      out.pop_front();
      continue;
    }
    uint8_t buffer[512];
    size_t n = 0;
    while (n < out.size() && n < sizeof buffer && out[n].at <= now) {
      buffer[n] = out[n].byte;
      ++n;
    }
    // The moment the bytes are handed over: what the pseudo-terminal then
    // takes to wake the host is the line's part, not the controller's.
    const double at = Now();
    ssize_t written = write(master, buffer, n);
    if (written > 0) {
      for (ssize_t i = 0; i < written; ++i) {
        const OutByte& o = out[static_cast<size_t>(i)];
        if (options.pace) lateness.push_back(at - o.at);
        if (o.entry >= traceBase && o.entry - traceBase < trace.size()) trace[o.entry - traceBase].delivered = at;
      }
      if (lateness.size() > options.traceLimit)
        lateness.erase(lateness.begin(), lateness.begin() + static_cast<std::ptrdiff_t>(lateness.size() / 2));
    }
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return;  // the host is not reading; POLLOUT tells when
      // The line is gone (nobody holds it): what was on the wire is lost.
      out.erase(out.begin(), out.begin() + static_cast<long>(n));
      continue;
    }
    out.erase(out.begin(), out.begin() + written);
  }
}

void VirtualController::Impl::Serve(double now) {
  SimMode before = ModeLocked();
  while (!in.empty() && in.front().at <= now) {
    InByte e = in.front();
    in.pop_front();
    Receive(e);
    CollectOutput();
  }
  target.Advance(now);
  CollectOutput();
  FlushOutput(now);
  if (ModeLocked() != before) modeChanged.notify_all();
}

void VirtualController::Impl::ReadInput() {
  for (;;) {
    uint8_t buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // EAGAIN, or EIO once the host has closed the line
    double now = Now();
    int rate = PtyHostBaud(master);
    std::lock_guard<std::mutex> lock(mutex);
    hostBaud = rate;
    if (!openArmed && rate > 0) rateAtOpen = rate;
    for (ssize_t i = 0; i < n; ++i) {
      double at = now;
      if (options.pace) {
        // Absolute deadlines: a late wake-up catches up instead of drifting.
        at = std::max(now, lastIn) + 10.0 / (rate > 0 ? rate : ListeningLocked());
        lastIn = at;
      }
      in.push_back({buffer[i], at, rate});
    }
  }
}

void VirtualController::Impl::NoteOpens() {
  alignas(inotify_event) char buffer[4096];
  bool opened = false;
  for (;;) {
    ssize_t n = read(opens, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->mask & IN_OPEN) opened = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  if (!opened || master < 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    openArmed = true;
  }
  CheckOpenRate();
}

void VirtualController::Impl::CheckOpenRate() {
  int rate = PtyHostBaud(master);
  std::lock_guard<std::mutex> lock(mutex);
  if (!openArmed) return;
  hostBaud = rate;
  if (rate == rateAtOpen) return;
  rateAtOpen = rate;
  if (OpenAsksForReset(rate) && !hungUp) {
    openArmed = false;
    // Bytes already here came after the open: they are for the new session.
    ResetLocked(true);
  }
}

void VirtualController::Impl::Run() {
  Serving();
  std::lock_guard<std::mutex> lock(mutex);
  serving = false;
  modeChanged.notify_all();
}

void VirtualController::Impl::Serving() {
  // The default 50 us of timer slack would make every paced byte late by
  // about that much: at 115200 baud more than half a character time.
  if (options.pace) {
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // Waking an idle processor can take longer than the spin before a due
    // byte; a real-time thread is woken first.  Without the privilege the
    // controller keeps its ordinary priority (and its spin).
    sched_param param{};
    param.sched_priority = 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  }
  while (!stopping.load()) {
    double now = Now();
    double deadline;
    bool outputWaiting;
    bool closed;
    bool armed;
    int fd;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (hungUp && master >= 0) {
        close(master);
        master = -1;
        modeChanged.notify_all();
      }
      if (cpu) {
        deadline = now + ServeCpu(now);
        outputWaiting = !out.empty() && out.front().at <= now;
      } else {
        Serve(now);
        deadline = kInf;
        if (!in.empty()) deadline = in.front().at;
        outputWaiting = !out.empty() && out.front().at <= now;
        // Bytes due but refused by a host that is not reading wait for POLLOUT,
        // not for a timer that has already run out.
        if (!out.empty() && !outputWaiting) deadline = std::min(deadline, out.front().at);
        deadline = std::min(deadline, target.NextDeadline());
      }
      fd = master;
      closed = !lineOpen;
      armed = openArmed;
    }
    // Measured from now, not from the top of the loop: serving took time.
    double wait = deadline - Now();
    if (fd >= 0 && closed) wait = std::min(wait, kClosedSlice);
    if (fd >= 0 && armed) wait = std::min(wait, kOpenRateSlice);
    wait = std::clamp(wait, 0.0, 1.0);
    // Close to a paced deadline: look at the line without sleeping until it
    // is due (the loop comes round again at once), so the byte leaves on time.
    const bool spin = options.pace && wait <= kSpinBefore;
    if (spin) wait = 0;
    else if (options.pace && wait < 1.0) wait -= kSpinBefore;

    // While the line is closed the master would report the hang-up at once
    // and forever; only sleep then, and look at the master afterwards.
    // Negative descriptors are passed over by ppoll.
    pollfd fds[3] = {{wake, POLLIN, 0},
                     {opens, POLLIN, 0},
                     {closed ? -1 : fd, static_cast<short>(POLLIN | (outputWaiting ? POLLOUT : 0)), 0}};
    timespec ts;
    ts.tv_sec = static_cast<time_t>(wait);
    ts.tv_nsec = static_cast<long>((wait - static_cast<double>(ts.tv_sec)) * 1e9);
    if (ppoll(fds, 3, &ts, nullptr) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      uint64_t value;
      ssize_t n = read(wake, &value, sizeof value);
      (void)n;
    }
    if (fds[1].revents & POLLIN) NoteOpens();  // drained even after a hang-up
    if (fd < 0) continue;
    if (closed) {
      pollfd probe{fd, POLLIN, 0};
      if (poll(&probe, 1, 0) < 0) continue;
      if (probe.revents & POLLIN) ReadInput();
      if (!(probe.revents & POLLHUP)) {
        {
          std::lock_guard<std::mutex> lock(mutex);
          lineOpen = true;
          openArmed = true;
        }
        // The host sets its rate right after opening; compared with the rate
        // the line had when it was closed, a change shows what it asked for.
        CheckOpenRate();
      }
      continue;
    }
    {
      if (fds[2].revents & POLLIN) ReadInput();
      if (fds[2].revents & POLLHUP) {
        ReadInput();  // what the host wrote before it closed still counts
        int rate = PtyHostBaud(fd);
        // The host may have opened the line again already; then its bytes
        // and the answers to them must not be taken for a closed line's.
        pollfd again{fd, POLLIN, 0};
        bool stillClosed = poll(&again, 1, 0) == 1 && (again.revents & POLLHUP);
        std::lock_guard<std::mutex> lock(mutex);
        if (stillClosed) {
          lineOpen = false;
          openArmed = false;
          if (rate > 0) rateAtOpen = rate;
        } else {
          openArmed = true;
        }
      }
    }
    if (armed) CheckOpenRate();
  }
}

// ---- public face ----

VirtualController::VirtualController(const SimOptions& options) : m_impl(std::make_unique<Impl>(options)) {}

VirtualController::~VirtualController() { Stop(); }

bool VirtualController::Start() {
  Stop();
  Impl& d = *m_impl;
  std::string error;
  int fd = PtyOpenMaster(d.options.bootstrapBaud, d.slavePath, error);
  if (fd < 0) return false;
  int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    close(fd);
    return false;
  }
  if (!d.options.symlinkPath.empty()) {
    // Replace an old link, but never a file or folder that happens to be there.
    struct stat st;
    if (lstat(d.options.symlinkPath.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode) || unlink(d.options.symlinkPath.c_str()) != 0) {
        close(fd);
        close(wake);
        return false;
      }
    }
    if (symlink(d.slavePath.c_str(), d.options.symlinkPath.c_str()) != 0) {
      close(fd);
      close(wake);
      return false;
    }
    d.linkMade = true;
  }
  // Without inotify the opens are still seen through the master's hang-up
  // state, only less surely when the host reopens within a few milliseconds.
  int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (opens >= 0 && inotify_add_watch(opens, d.slavePath.c_str(), IN_OPEN) < 0) {
    close(opens);
    opens = -1;
  }
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    d.master = fd;
    d.wake = wake;
    d.opens = opens;
    d.origin = std::chrono::steady_clock::now();
    d.lineOpen = true;
    d.hungUp = false;
    d.openArmed = false;
    d.hostBaud = PtyHostBaud(fd);
    d.lastIn = d.lastOut = 0;
    d.in.clear();
    d.out.clear();
    d.traceBase += d.trace.size();
    d.trace.clear();
    if (d.cpu) d.cpu->SetHostOrigin();
    d.hostBytes.clear();
    d.targetBytes.clear();
    d.lateness.clear();
  }
  d.stopping = false;
  d.serving = true;
  d.thread = std::thread([&d] { d.Run(); });
  return true;
}

void VirtualController::Stop() {
  Impl& d = *m_impl;
  if (d.thread.joinable()) {
    d.stopping = true;
    d.Wake();
    d.thread.join();
  }
  std::lock_guard<std::mutex> lock(d.mutex);
  if (d.master >= 0) close(d.master);
  if (d.wake >= 0) close(d.wake);
  if (d.opens >= 0) close(d.opens);
  d.master = d.wake = d.opens = -1;
  if (d.linkMade) {
    unlink(d.options.symlinkPath.c_str());
    d.linkMade = false;
  }
}

std::string VirtualController::SlavePath() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->linkMade ? m_impl->options.symlinkPath : m_impl->slavePath;
}

void VirtualController::ResetIntoBootstrap() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->ResetLocked(false);
  m_impl->Wake();
}

SimMode VirtualController::Mode() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->ModeLocked();
}

bool VirtualController::WaitForMode(SimMode mode, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(m_impl->mutex);
  return m_impl->modeChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return m_impl->ModeLocked() == mode; });
}

uint8_t VirtualController::Read(unsigned address) const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->cpu ? m_impl->cpu->Read(address) : m_impl->target.Read(address);
}

void VirtualController::Write(unsigned address, uint8_t value) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu)
    m_impl->cpu->Poke(address, value);
  else
    m_impl->target.Poke(address, value);
}

std::vector<uint8_t> VirtualController::Flash() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->cpu ? m_impl->cpu->Flash() : m_impl->target.FlashArray();
}

void VirtualController::LoadFlash(const std::vector<uint8_t>& bytes, unsigned address) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu) {
    m_impl->cpu->LoadFlash(bytes, address);
    return;
  }
  auto& flash = m_impl->target.FlashArray();
  // The image ends at the top of the address space rather than wrapping.
  for (size_t i = 0; i < bytes.size() && address + i < flash.size(); ++i) flash[address + i] = bytes[i];
}

std::vector<uint8_t> VirtualController::Eeprom() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu) {
    auto& e = m_impl->cpu->Machine().Eeprom();
    return std::vector<uint8_t>(e.begin(), e.end());
  }
  return m_impl->target.EepromArray();
}

void VirtualController::SetEeprom(const std::vector<uint8_t>& cells) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu) {
    auto& e = m_impl->cpu->Machine().Eeprom();
    std::copy_n(cells.begin(), std::min(cells.size(), e.size()), e.begin());
    return;
  }
  auto& eeprom = m_impl->target.EepromArray();
  std::copy_n(cells.begin(), std::min(cells.size(), eeprom.size()), eeprom.begin());
}

uint8_t VirtualController::Config() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->cpu ? m_impl->cpu->Machine().ConfigCell() : m_impl->target.Config();
}

void VirtualController::SetConfig(uint8_t value) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu)
    m_impl->cpu->Machine().SetConfigCell(value);
  else
    m_impl->target.SetConfig(value);
}

std::vector<uint8_t> VirtualController::LoaderBytes() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->cpu ? m_impl->cpu->LoaderBytes() : m_impl->target.LoaderBytes();
}

int VirtualController::ListeningBaud() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->ListeningLocked();
}

int VirtualController::HostBaud() const {
  Impl& d = *m_impl;
  std::lock_guard<std::mutex> lock(d.mutex);
  // Asked directly, the line reports a rate set since the last byte too.
  if (d.master >= 0) {
    int rate = PtyHostBaud(d.master);
    if (rate > 0) d.hostBaud = rate;
  }
  return d.hostBaud;
}

std::vector<SimTraceEntry> VirtualController::Trace() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->trace;
}

std::vector<uint8_t> VirtualController::HostBytes() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->hostBytes;
}

std::vector<uint8_t> VirtualController::TargetBytes() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->targetBytes;
}

void VirtualController::TrafficCounts(size_t& fromHost, size_t& toHost) const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  fromHost = m_impl->hostTotal;
  toHost = m_impl->targetTotal;
}

size_t VirtualController::TraceSize() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->trace.size() + m_impl->hostBytes.size() + m_impl->targetBytes.size();
}

void VirtualController::ClearTrace() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->traceBase += m_impl->trace.size();
  m_impl->trace.clear();
  m_impl->hostBytes.clear();
  m_impl->targetBytes.clear();
  m_impl->lateness.clear();
}

std::vector<double> VirtualController::Lateness() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->lateness;
}

void VirtualController::DropHostBytes(int count) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->dropCount = std::max(0, count);
}

void VirtualController::CorruptEcho(int nthDataByte) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu)
    m_impl->cpu->CorruptTargetByte(nthDataByte, 0x80);
  else
    m_impl->target.CorruptEcho(std::max(0, nthDataByte));
}

void VirtualController::WrongComplementNextCommand() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu)
    m_impl->cpu->CorruptTargetByte(1, 0x01);
  else
    m_impl->target.WrongComplementNextCommand();
}

void VirtualController::Stall() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu)
    m_impl->cpu->Stall();
  else
    m_impl->target.Stall();
  m_impl->modeChanged.notify_all();
}

void VirtualController::HangUp() {
  Impl& d = *m_impl;
  std::unique_lock<std::mutex> lock(d.mutex);
  d.hungUp = true;
  d.out.clear();
  d.in.clear();
  d.modeChanged.notify_all();
  // The serving thread owns the descriptor while it runs; it closes it, so
  // that no poll or read of it can meet a reused number.
  if (d.serving) {
    d.Wake();
    d.modeChanged.wait(lock, [&] { return d.master < 0 || !d.serving; });
  }
  if (d.master >= 0) close(d.master);
  d.master = -1;
}

void VirtualController::SetRandomCorruption(double rate, uint32_t seed) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->randomRate = std::clamp(rate, 0.0, 1.0);
  m_impl->random.seed(seed);
}

// ---- the emulated CPU ----

bool VirtualController::UsesCpu() const { return m_impl->cpu != nullptr; }

std::string VirtualController::CpuRegisters() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->cpu ? m_impl->cpu->Machine().RegisterText() : std::string();
}

std::string VirtualController::CpuStatus() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->cpu ? m_impl->cpu->Status() : std::string();
}

void VirtualController::SetCpuTrace(bool on) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu) m_impl->cpu->Machine().SetTrace(on);
}

void VirtualController::SetBreakpoint(int address) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu) m_impl->cpu->Machine().SetBreakpoint(address);
}

void VirtualController::ContinueCpu() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->cpu) m_impl->cpu->Machine().Continue();
  m_impl->Wake();
}

std::vector<std::string> VirtualController::TakeCpuMessages() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  std::vector<std::string> out;
  out.swap(m_impl->cpuMessages);
  return out;
}
