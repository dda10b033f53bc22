// The diagnostic request frames that typed keys send, and the text the
// "XMIT: " pane shows for a sent frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Digits map to keys 0..9 and lower-case letters from 10 on; anything below
// '0' wraps to a large number that has no frame.
unsigned KeyNumberForChar(unsigned code);
// The frame of a key; empty when the key has none.  Each frame's last byte
// makes the sum of its bytes zero modulo 256.
std::vector<uint8_t> KeyFrame(unsigned keyNumber);
// "F4,57,1,0,B4," for the pane and the traffic log.
std::string TransmitText(const uint8_t* bytes, int count);
