#include "panes/Keyboard.h"

#include <cstdio>

namespace {

struct KeyFrameEntry {
  unsigned key;
  uint8_t length;
  uint8_t bytes[5];
};
constexpr KeyFrameEntry kKeyFrames[] = {
    {0, 5, {0xF4, 0x57, 0x01, 0x00, 0xB4}}, {1, 5, {0xF4, 0x57, 0x01, 0x01, 0xB3}},
    {2, 5, {0xF4, 0x57, 0x01, 0x02, 0xB2}}, {4, 5, {0xF4, 0x57, 0x01, 0x04, 0xB0}},
    {6, 5, {0xF4, 0x57, 0x01, 0x06, 0xAE}}, {8, 4, {0xF4, 0x56, 0x08, 0xAE}},
    {10, 4, {0xF4, 0x56, 0x0A, 0xAC}},
};

}  // namespace

unsigned KeyNumberForChar(unsigned code) { return code <= 0x39 ? code - 0x30 : code - 0x57; }

std::vector<uint8_t> KeyFrame(unsigned keyNumber) {
  for (const KeyFrameEntry& frame : kKeyFrames)
    if (frame.key == keyNumber) return std::vector<uint8_t>(frame.bytes, frame.bytes + frame.length);
  return {};
}

std::string TransmitText(const uint8_t* bytes, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X,", static_cast<unsigned>(bytes[i]));
    text += hex;
  }
  return text;
}
