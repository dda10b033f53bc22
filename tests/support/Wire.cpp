#include "support/Wire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

std::string SRecordText(const std::vector<std::pair<unsigned, std::vector<uint8_t>>>& segments) {
  std::string text = "S00600004844521B\n";
  for (const auto& [start, bytes] : segments) {
    for (size_t i = 0; i < bytes.size(); i += 16) {
      size_t n = std::min<size_t>(16, bytes.size() - i);
      unsigned address = static_cast<unsigned>(start + i);
      unsigned sum = static_cast<unsigned>(n + 3) + (address >> 8) + (address & 0xFF);
      char part[16];
      std::snprintf(part, sizeof part, "S1%02X%04X", static_cast<unsigned>(n + 3), address);
      text += part;
      for (size_t j = 0; j < n; ++j) {
        std::snprintf(part, sizeof part, "%02X", bytes[i + j]);
        text += part;
        sum += bytes[i + j];
      }
      std::snprintf(part, sizeof part, "%02X\n", 0xFF - (sum & 0xFF));
      text += part;
    }
  }
  return text + "S9030000FC\n";
}

std::vector<SentChunk> ParseWriteChunks(const std::vector<uint8_t>& host) {
  std::vector<SentChunk> chunks;
  size_t i = 0;
  while (i + 4 <= host.size()) {
    SentChunk c{host[i], host[i + 1], static_cast<unsigned>(host[i + 2] << 8 | host[i + 3])};
    chunks.push_back(c);
    i += 4 + (c.count == 0 ? 256 : c.count);
  }
  EXPECT_EQ(i, host.size()) << "host bytes do not end on a chunk boundary";
  return chunks;
}

std::vector<uint8_t> RegisterWrites(const std::vector<uint8_t>& host, unsigned address) {
  std::vector<uint8_t> values;
  for (size_t i = 0; i + 5 <= host.size(); ++i) {
    if (host[i] == 0x41 && host[i + 1] == 1 && host[i + 2] == (address >> 8) &&
        host[i + 3] == (address & 0xFF)) {
      values.push_back(host[i + 4]);
      i += 4;
    }
  }
  return values;
}

