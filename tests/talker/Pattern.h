// Byte helpers shared by the talker's tests and its benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A reproducible pseudo-random fill.
Bytes Pattern(size_t count, uint32_t seed);
