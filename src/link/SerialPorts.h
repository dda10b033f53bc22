// The serial devices present on this machine, for the settings dialog to offer.
#pragma once

#include <string>
#include <vector>

// Full paths: /dev/ttyS<n> that have a real UART behind them, /dev/ttyUSB*,
// /dev/ttyACM* and the stable names under /dev/serial/by-id/, sorted.
std::vector<std::string> ListSerialDevices();
