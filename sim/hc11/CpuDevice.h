// The emulated MC68HC11F1 as a serial device in the same process: the
// machine (reset into bootstrap mode) runs whatever the host downloads, and
// time passes only while the host waits, so a whole host session against a
// real loader takes milliseconds and is exactly repeatable.
//
// The wire, both ways, at the level of bits:
//  * A host byte goes on the wire when the line is free at the rate the
//    host set, and its frame reaches the SCI bit by bit: the SCI samples it
//    at its own rate, so a byte sent at another rate arrives as the SCI
//    would really make it out (or not at all).  The host's UART queue holds
//    the bytes that have not started yet.
//  * A byte the SCI sends reaches the host when its stop bit has been sent,
//    garbled when the host listens at another rate.
// No quiet hold or pacing is needed: the machine's clock is the line's clock.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "link/SerialDevice.h"
#include "sim/hc11/Machine.h"

class CCpuDevice : public CSerialDevice {
 public:
  static constexpr const char* kDefaultName = "sim:cpu";
  // The device answers to `name` only, as a real port answers to its path.
  explicit CCpuDevice(const hc11::MachineOptions& options = hc11::MachineOptions(),
                      const std::string& name = kDefaultName);
  ~CCpuDevice() override;

  // ---- CSerialDevice ----
  bool Open(const std::string& path) override;
  bool IsOpen() const override { return m_open; }
  void Close() override;
  std::string Path() const override { return m_path; }
  bool SetCommMask(uint32_t) override { return m_open; }
  bool SetupComm(unsigned, unsigned) override { return m_open; }
  bool PurgeComm(unsigned flags) override;
  bool SetCommTimeouts(const CommTimeouts& timeouts) override;
  CommTimeouts GetCommTimeouts() const override { return m_timeouts; }
  bool GetCommState(CommState& state) override;
  bool SetCommState(const CommState& state) override;
  bool SetDtr(bool) override { return m_open; }
  bool ClearCommError(uint32_t& errors, uint32_t& waiting, int& error) override;
  int Read(uint8_t* buffer, unsigned length, int& error) override;
  unsigned Write(const uint8_t* data, unsigned length, int& error) override;
  bool WaitCommEvent(uint32_t& events, int& error) override;
  std::string LastError() const override { return m_lastError; }
  int LastErrorCode() const override { return m_lastErrorCode; }
  bool Synchronous() const override { return true; }
  void WaitForInput(int ms) override;
  void Sleep(int ms) override;

  // ---- the controller ----
  hc11::Machine& Machine() { return *m_machine; }
  const hc11::Machine& Machine() const { return *m_machine; }
  // The reset button, into bootstrap mode: memories keep their contents;
  // host bytes not yet on the wire and answers not yet read are gone.
  void ResetTarget();
  // The boot ROM has handed the CPU to the downloaded program.
  bool LoaderRunning() const;
  // Line time: seconds since the device was made, and the machine's cycle.
  double Now() const;
  uint64_t Cycle() const { return m_machine->Now(); }
  // Lets line time pass without the host (a test's own pause).
  void Run(double seconds);
  int HostBaud() const { return m_hostBaud; }
  // A USB serial adapter's latency timer: what the SCI sends reaches the
  // host at the next tick, one every `ms` of line time (0: at its stop bit).
  void SetAdapterLatency(int ms) { m_latencyCycles = CyclesIn(std::max(ms, 0) / 1000.0); }

  // ---- what crossed the line since the trace was cleared ----
  struct HostFrame {
    uint8_t byte;    // as the host sent it
    uint8_t onWire;  // after the line's faults
    bool dropped;    // never reached the wire
    uint64_t start;  // machine cycle of its start bit
    int baud;        // the host's rate
  };
  struct TargetFrame {
    uint8_t byte;    // as the SCI sent it
    uint8_t heard;   // as the host's UART made it out (faults, a rate mismatch)
    bool delivered;  // reached an open port (not lost on the line)
    uint64_t end;    // machine cycle at the end of its stop bit
  };
  const std::vector<HostFrame>& HostLog() const { return m_hostLog; }
  const std::vector<TargetFrame>& TargetLog() const { return m_targetLog; }
  // What the SCI's receiver assembled, in order (tag: index in HostLog, -1 for none).
  const std::vector<hc11::Sci::Received>& SciReceived() const { return m_sciReceived; }
  std::vector<uint8_t> HostBytes() const { return m_hostWritten; }  // as the host wrote them
  size_t HostByteCount() const { return m_hostWritten.size(); }
  std::vector<uint8_t> TargetBytes() const;  // as the SCI sent them
  void ClearTrace();
  // Crash reports, traps and too-short EEPROM pulses since the last call.
  std::vector<std::string> TakeMessages() { return m_machine->TakeMessages(); }

  // ---- faults ----
  // The host's bytes after the next `after` ones are lost, `count` of them.
  void DropHostBytes(int count, int after = 0) {
    m_dropCount = count;
    m_dropAfter = after;
  }
  // The talker's bytes after the next `after` ones are lost on their way to
  // the host, `count` of them (a receiver that missed a start bit).
  void DropTargetBytes(int count, int after = 0) {
    m_dropTargetCount = count;
    m_dropTargetAfter = after;
  }
  // The nth byte from now in that direction (1 = the next) has `mask` flipped.
  void SpoilHostByte(int nth, uint8_t mask);
  void SpoilTargetByte(int nth, uint8_t mask);
  // Noise: each byte either way is hit with probability `rate` (random bits flipped).
  void SetRandomCorruption(double rate, uint32_t seed);
  // The line goes away (an adapter pulled out) now, or once the host has
  // written `count` bytes since the trace was cleared; Replug brings it back.
  void HangUp() { m_hungUp = true; }
  void HangUpAfterHostBytes(size_t count) { m_hangUpAfter = count; }
  void Replug();
  // The controller freezes: the CPU halts and nothing more reaches the host
  // until the reset button.
  void Stall();
  bool Stalled() const { return m_stalled; }
  bool HungUp() const { return m_hungUp; }
  // Line noise where a test wants it: each byte of a direction passes
  // through the filter with its index in that direction's log (counted from
  // the last ClearTrace) and arrives as what it returns.
  std::function<uint8_t(size_t index, uint8_t byte)> hostNoise;
  std::function<uint8_t(size_t index, uint8_t byte)> targetNoise;

 private:
  struct Queued {
    uint8_t byte;
    double start;  // machine cycle (fractional) of its start bit
    double bit;    // cycles per bit at the host's rate
    int baud;
  };
  void Settle();
  void RunUntil(uint64_t limit, bool untilInput);
  void PutOnWire(const Queued& q);
  void Collect();
  uint8_t Noise(uint8_t byte);
  uint64_t CyclesIn(double seconds) const;

  std::unique_ptr<hc11::Machine> m_machine;
  std::string m_name;
  uint64_t m_origin = 0;
  bool m_open = false;
  bool m_hungUp = false;
  bool m_stalled = false;
  std::string m_path;
  std::string m_lastError;
  int m_lastErrorCode = 0;
  CommTimeouts m_timeouts;
  CommState m_state;
  int m_hostBaud = 9600;
  double m_lineIn = 0;        // cycle at which the host's line is next free
  std::deque<Queued> m_in;    // the host UART's queue: not started yet
  std::deque<uint8_t> m_out;  // arrived, not read
  // Sent but held by the adapter until its next tick (cycle), in order.
  std::deque<std::pair<uint8_t, uint64_t>> m_held;
  uint64_t m_latencyCycles = 0;
  void ReleaseHeld();
  std::vector<uint8_t> m_hostWritten;
  std::vector<HostFrame> m_hostLog;
  std::vector<TargetFrame> m_targetLog;
  std::vector<hc11::Sci::Received> m_sciReceived;
  int m_tagBase = 0;  // SCI tag of HostLog's first entry
  int m_dropCount = 0, m_dropAfter = 0;
  int m_dropTargetCount = 0, m_dropTargetAfter = 0;
  int m_spoilHostAt = 0, m_spoilTargetAt = 0;
  uint8_t m_spoilHostMask = 0, m_spoilTargetMask = 0;
  double m_noiseRate = 0;
  std::mt19937 m_random;
  size_t m_hangUpAfter = 0;
};
