// The ideal host for the benchmarks: one thread, no queue, no event, no UI;
// it writes the talker's protocol straight to the line with the same bytes
// in the same order as the program and reads the answers with poll().  What
// it reaches on a rig is the best any host can do there, so the program's
// figures are printed beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RawLine.h"
#include "sim/VirtualController.h"

// How the ideal host keeps data bytes on the wire.
enum class IdealWindow {
  LockStepPairs,  // two bytes out, then both echoes
  Sliding,        // the next byte as soon as the oldest echo is in, never more than two out
};

struct IdealRun {
  bool ok = false;          // every answer arrived
  size_t mismatches = 0;    // answers that were not the expected ones (the run goes on, as the program's)
  double seconds = 0;
  size_t hostBytes = 0;    // bytes the client wrote
  size_t targetBytes = 0;  // bytes it read
};

// The bytes of a loader S-record file from address 0 up to its highest
// byte; empty when the file cannot be read or holds no byte at 0.
std::vector<uint8_t> LoaderFromFile(const std::string& path);

// The boot download: opens `path` at `bootBaud`, sends the start byte and
// the loader, waits for every echo, then moves the line to `normalBaud`.
bool IdealBoot(RawLine& line, const std::string& path, const std::vector<uint8_t>& loader, int bootBaud,
               int normalBaud);

// Everything the program's WriteFlash sends for image[first..last]: the
// EEPROM mapped out (CONFIG read and written back), then 0x71 chunks of up
// to 256 bytes, each data byte echoed, the last two of a chunk one at a
// time.
IdealRun IdealFlashWrite(RawLine& line, const std::vector<uint8_t>& image, unsigned first, unsigned last,
                         IdealWindow window);

// The program's ReadTargetBlock of first..last: 0x01 chunks of up to 256
// bytes, each byte acknowledged.  Lock-step: the program's pairs (byte,
// its acknowledgement and the next one's ahead of it, the next byte);
// sliding: one acknowledgement always ahead.  `into` gets the bytes read.
IdealRun IdealRead(RawLine& line, unsigned first, unsigned last, IdealWindow window, std::vector<uint8_t>& into);

// The lower bounds of a transfer: the line's (every byte of the busier
// direction, ten bits each) and the lock-step loop's (three character
// times for every two data bytes of a write, plus the headers).
double LineBoundSeconds(size_t hostBytes, size_t targetBytes, int baud);
// The lock-step loop's bound for the program's WriteFlash of first..last on
// a line with no delay at either end: per chunk the command and its
// complement (two character times), the three header bytes, three
// character times per pair and two per single byte; the CONFIG read and
// write before it.  About 1.5 times the line bound.
double LockStepFlashBound(unsigned first, unsigned last, int baud);

// Who took the time of a paced exchange, from the controller's trace of
// everything since `from` (its clock): the host's turnaround (from the
// moment the answer it waited for reached its side of the line to the
// moment its next byte went out) and the controller's own lateness (each
// answer's due time to its delivery), in seconds.
struct TraceShares {
  double turnaround = 0;
  double lateness = 0;
};
TraceShares SharesFromTrace(std::vector<SimTraceEntry> trace, double from, int baud);

// The p-th quantile (0..1) of `values`, nearest rank; 0 when empty.
double Quantile(std::vector<double> values, double p);
