// What our talker sends in its extended protocol, as the host reads it: the
// signature block and the answer to a checked block read.  Each is checked
// against an independent reading: a table-driven CRC, and a signature block
// taken apart by hand.  A good answer must turn bad when any one bit of it
// changes (a CRC-16 sees every single-bit error).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "target/Stream.h"

namespace {

uint16_t TableCrc(const uint8_t* data, size_t n, uint16_t crc) {
  static uint16_t table[256];
  static bool built = false;
  if (!built) {
    for (unsigned i = 0; i < 256; ++i) {
      uint16_t c = static_cast<uint16_t>(i << 8);
      for (int b = 0; b < 8; ++b) c = static_cast<uint16_t>(c & 0x8000 ? (c << 1) ^ 0x1021 : c << 1);
      table[i] = c;
    }
    built = true;
  }
  for (size_t i = 0; i < n; ++i) crc = static_cast<uint16_t>((crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF]);
  return crc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The signature block: anything at all, of any length.
  TalkerExtension ext;
  const bool parsed = ParseSignature(data, size, ext);
  const bool expected = size >= xproto::kSignatureSize && std::memcmp(data, "KESTON", 6) == 0 &&
                        data[6] == xproto::kVersion && (data[8] & xproto::kCapBlockRead) != 0 && [&] {
                          unsigned sum = 0;
                          for (unsigned i = 0; i < xproto::kSignatureSize; ++i) sum += data[i];
                          return (sum & 0xFF) == 0;
                        }();
  if (parsed != expected || parsed != ext.present) std::abort();
  if (parsed && (ext.readMax < 1 || ext.readMax > 256)) std::abort();

  // A block read's answer: address (2 bytes) and count (1, 0 = 256) first.
  if (size < 3) return 0;
  const unsigned address = static_cast<unsigned>(data[0] << 8 | data[1]);
  const unsigned count = data[2] == 0 ? 256 : data[2];
  std::vector<uint8_t> answer(data + 3, data + size);
  const bool good = BlockReadAnswerGood(address, count, answer.data(), answer.size());
  bool right = answer.size() == count + 2;
  if (right) {
    const uint8_t header[3] = {data[2], data[0], data[1]};
    const uint16_t crc = TableCrc(answer.data(), count, TableCrc(header, 3, 0xFFFF));
    right = answer[count] == (crc >> 8) && answer[count + 1] == (crc & 0xFF);
  }
  if (good != right) std::abort();
  if (good) {
    const size_t bit = (static_cast<size_t>(data[2]) * 131 + answer[0]) % (answer.size() * 8);
    answer[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    if (BlockReadAnswerGood(address, count, answer.data(), answer.size())) std::abort();
  }
  return 0;
}
