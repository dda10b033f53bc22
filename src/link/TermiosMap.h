// How a CommState becomes Linux line settings; separate so that the mapping
// can be checked for settings a pseudo-terminal does not keep (it forces
// 8 data bits without parity).  Include only where <termios.h> is not used.
#pragma once

#include <asm/termbits.h>

#include <string>

#include "link/SerialDevice.h"

// Changes only what the state decides; the rest of `tio` keeps the driver's
// values.  false, with the reason in `why`, for a setting Linux cannot give.
bool BuildTermios(const CommState& state, struct termios2& tio, std::string& why);
