#include "link/SerialPorts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The kernel creates ttyS0..ttyS31 whether or not a UART answers there; only
// those whose port type is known are real.
bool HasRealUart(const std::string& name) {
  std::ifstream type("/sys/class/tty/" + name + "/type");
  int value = 0;
  return type && (type >> value) && value != 0;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool DigitsAfter(const std::string& s, size_t from) {
  return s.size() > from &&
         std::all_of(s.begin() + from, s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// ttyS2 before ttyS10: compare the text, then the trailing number.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
    const std::string digits = s.substr(i);
    return std::make_pair(s.substr(0, i), digits.empty() || digits.size() > 9 ? -1L : std::stol(digits));
  };
  const auto sa = split(a), sb = split(b);
  if (sa.first != sb.first) return a < b;
  if (sa.second != sb.second) return sa.second < sb.second;
  return a < b;
}

}  // namespace

std::vector<std::string> ListSerialDevices() {
  std::vector<std::string> devices;
  std::error_code ec;
  for (fs::directory_iterator it("/dev", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if ((StartsWith(name, "ttyS") && DigitsAfter(name, 4) && HasRealUart(name)) ||
        (StartsWith(name, "ttyUSB") && DigitsAfter(name, 6)) ||
        (StartsWith(name, "ttyACM") && DigitsAfter(name, 6)))
      devices.push_back(it->path().string());
  }
  std::vector<std::string> byId;
  ec.clear();
  for (fs::directory_iterator it("/dev/serial/by-id", ec), end; !ec && it != end; it.increment(ec))
    byId.push_back(it->path().string());
  std::sort(devices.begin(), devices.end(), NaturalLess);
  std::sort(byId.begin(), byId.end());
  devices.insert(devices.end(), byId.begin(), byId.end());
  return devices;
}
