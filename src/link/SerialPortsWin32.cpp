// The COM ports present on this machine, as the serial drivers list them
// under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (one value per port, its data the
// port name).  The list is only an offer: a port may still be typed by name.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "link/SerialPorts.h"

namespace {

// COM2 before COM10.
int PortNumber(const std::string& name) {
  size_t i = name.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) --i;
  if (i == name.size() || name.size() - i > 6) return -1;
  return std::stoi(name.substr(i));
}

}  // namespace

std::vector<std::string> ListSerialDevices() {
  std::vector<std::string> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return ports;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameLength = sizeof name;
    char data[256];
    DWORD dataLength = sizeof data - 1;
    DWORD type = 0;
    const LONG r = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                 &dataLength);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataLength] = '\0';
    const std::string port(data);
    if (!port.empty() && std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
    const int na = PortNumber(a), nb = PortNumber(b);
    if (na != nb) return na < nb;
    return a < b;
  });
  return ports;
}
