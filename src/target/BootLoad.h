#pragma once

#include <cstdint>

class CByteFifo;

// Takes up to `length` echo bytes from the queue; 0 when it ran dry or the link was lost.
int VerifyBootEcho(const uint8_t* expected, CByteFifo& queue, unsigned length);
