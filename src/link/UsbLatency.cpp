#include "link/UsbLatency.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

int ReadMs(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[16] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return -1;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || value < 0 || value > 255) return -1;
  return static_cast<int>(value);
}

bool WriteMs(const std::string& file, int ms) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return false;
  const std::string text = std::to_string(ms) + "\n";
  ssize_t n;
  do n = ::write(fd, text.data(), text.size());
  while (n < 0 && errno == EINTR);
  const bool ok = n == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && ok;
}

}  // namespace

std::string LowerUsbLatency(const std::string& path, const std::string& sysRoot, UsbLatencyTimer& timer) {
  timer = UsbLatencyTimer();
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) return "";
  const char* slash = std::strrchr(resolved, '/');
  const std::string tty = slash ? slash + 1 : resolved;
  if (tty.empty()) return "";
  const std::string file = sysRoot + "/bus/usb-serial/devices/" + tty + "/latency_timer";
  if (::access(file.c_str(), F_OK) != 0) return "";
  timer.file = file;
  timer.original = ReadMs(file);
  if (timer.original == 1) return "";
  if (WriteMs(file, 1) && ReadMs(file) == 1) {
    timer.changed = timer.original > 1;
    return "";
  }
  const std::string ms = timer.original > 0 ? std::to_string(timer.original) + " ms" : "an unknown time";
  return "USB serial adapter " + tty + " holds received bytes for up to " + ms +
         " and its latency timer cannot be set to 1 ms (" + file +
         " is not writable), so transfers will be slow. A udev rule sets it when the adapter is plugged in: "
         "put ACTION==\"add\", SUBSYSTEM==\"usb-serial\", ATTR{latency_timer}=\"1\" in a file under "
         "/etc/udev/rules.d/ and plug the adapter in again.";
}

void RestoreUsbLatency(UsbLatencyTimer& timer) {
  if (timer.changed && timer.original > 0) WriteMs(timer.file, timer.original);
  timer = UsbLatencyTimer();
}
