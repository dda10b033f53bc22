// USB serial adapters hold received bytes back until their latency timer
// runs out (16 ms by default on many), which costs a whole timer period on
// every echo the host waits for.  While a port is open we ask for 1 ms and
// put the old value back at close.
#pragma once

#include <string>

struct UsbLatencyTimer {
  std::string file;   // the adapter's latency_timer, empty when there is none
  int original = -1;  // milliseconds found at open; -1 unknown
  bool changed = false;
};

// For the device at `path` (symlinks such as /dev/serial/by-id/... followed),
// finds `<sysRoot>/bus/usb-serial/devices/<tty>/latency_timer` and sets it to
// 1 ms.  Returns a note for the user when the timer is above 1 ms and cannot
// be changed (with the udev rule that lets us), otherwise "".
std::string LowerUsbLatency(const std::string& path, const std::string& sysRoot, UsbLatencyTimer& timer);
// Puts back the value LowerUsbLatency replaced, if it replaced one.
void RestoreUsbLatency(UsbLatencyTimer& timer);
