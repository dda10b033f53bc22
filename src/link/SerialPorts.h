// The serial devices present on this machine, for the settings dialog to offer.
#pragma once

#include <string>
#include <vector>

// Linux: full paths: /dev/ttyS<n> that have a real UART behind them,
// /dev/ttyUSB*, /dev/ttyACM* and the stable names under /dev/serial/by-id/,
// sorted.  Windows: the COM port names the serial drivers registered, by number.
std::vector<std::string> ListSerialDevices();
