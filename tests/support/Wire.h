// Reading what crossed the line: the host's write commands and register
// writes, and S-record text for the files the tests load.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Writes `segments` (address, bytes) as S1 records, 16 bytes a line.
std::string SRecordText(const std::vector<std::pair<unsigned, std::vector<uint8_t>>>& segments);

// A write command's chunk as the host sent it: command, count byte, address,
// and where its data starts in the host byte stream.
struct SentChunk {
  uint8_t command;
  uint8_t count;
  unsigned address;
};
// Splits host bytes that consist only of write commands into their chunks.
std::vector<SentChunk> ParseWriteChunks(const std::vector<uint8_t>& host);
// Values written to one register with CMD_WRITE, in order.
std::vector<uint8_t> RegisterWrites(const std::vector<uint8_t>& host, unsigned address);

