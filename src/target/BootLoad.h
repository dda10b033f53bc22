// Downloading the talker through the 68HC11's bootstrap ROM.  The download
// itself is CProgrammer::BootLoad (src/image/Programmer.h).
#pragma once

#include <cstdint>

class CByteFifo;

// Takes up to `length` echo bytes from the queue; 0 when it ran dry or the link was lost.
// The echoed values are not compared: the count of echoes is what the check relies on.
int VerifyBootEcho(const uint8_t* expected, CByteFifo& queue, unsigned length);

// Drops the in-memory copy of the loader file's folder and name, so that the
// next boot load reads "BOOT PATH" and "BOOT NAME" from the store again, as
// at program start.
void ForgetBootFileChoice();
