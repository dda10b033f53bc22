#include "link/SerialDevice.h"

#include <chrono>
#include <thread>

void CSerialDevice::Sleep(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
