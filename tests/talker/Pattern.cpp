#include "Pattern.h"

Bytes Pattern(size_t count, uint32_t seed) {
  Bytes bytes(count);
  uint32_t state = seed;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}
