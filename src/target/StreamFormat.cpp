// The extended protocol's bytes, apart from any link: the CRC, the
// signature block and the check of a block read's answer.  Kept on their
// own so that the parsers of what a talker sends can be fuzzed alone.
#include <cstring>

#include "target/Stream.h"

namespace {
constexpr char kMarker[] = "KESTON";
constexpr size_t kMarkerSize = sizeof kMarker - 1;
}  // namespace

uint16_t Crc16(const uint8_t* data, size_t n, uint16_t crc) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

bool ParseSignature(const uint8_t* bytes, size_t n, TalkerExtension& out) {
  out = TalkerExtension();
  if (!bytes || n < xproto::kSignatureSize) return false;
  if (std::memcmp(bytes, kMarker, kMarkerSize) != 0) return false;
  unsigned sum = 0;
  for (unsigned i = 0; i < xproto::kSignatureSize; ++i) sum += bytes[i];
  if ((sum & 0xFF) != 0) return false;
  const uint8_t version = bytes[6], readMax = bytes[7], caps = bytes[8];
  if (version != xproto::kVersion || (caps & xproto::kCapBlockRead) == 0) return false;
  out.present = true;
  out.version = version;
  out.readMax = readMax == 0 ? 256 : readMax;
  out.caps = caps;
  return true;
}

bool BlockReadAnswerGood(unsigned address, unsigned count, const uint8_t* answer, size_t n) {
  if (!answer || count == 0 || count > 256 || n != count + 2) return false;
  const uint8_t header[3] = {static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>((address >> 8) & 0xFF),
                             static_cast<uint8_t>(address & 0xFF)};
  const uint16_t crc = Crc16(answer, count, Crc16(header, sizeof header));
  return answer[count] == (crc >> 8) && answer[count + 1] == (crc & 0xFF);
}
