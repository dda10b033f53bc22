// Arbitrary memory images run on the emulated 68HC11F1 for a bounded number
// of E cycles: whatever a loader holds, the machine must neither crash nor
// overrun memory, and must keep its own books straight.
//   byte 0: bit 0-1 mode, bit 2 chip, bit 3 trace, bit 4 host bytes on the line
//   then 1 KB of RAM, 512 bytes of EEPROM, CONFIG, and the rest as flash at 0x8000
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "sim/hc11/Machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  ++data;
  --size;
  hc11::MachineOptions options;
  options.chip = (control & 4) ? hc11::FlashChip::Kind::Sst29EE010 : hc11::FlashChip::Kind::Am29F010;
  options.chipEraseMs = 2;
  hc11::Machine m(options);
  auto take = [&](uint8_t* into, size_t count) {
    size_t n = std::min(count, size);
    std::copy(data, data + n, into);
    data += n;
    size -= n;
  };
  take(m.Ram().data(), m.Ram().size());
  take(m.Eeprom().data(), m.Eeprom().size());
  if (size) {
    m.SetConfigCell(data[0]);
    ++data;
    --size;
  }
  take(m.Chip().Array().data() + 0x8000, 0x8000);
  // Vectors of the normal modes point into the image too.
  m.Chip().Array()[0xFFFE] = 0x80;
  m.Chip().Array()[0xFFFF] = 0x00;
  static constexpr hc11::McuMode kModes[4] = {hc11::McuMode::Bootstrap, hc11::McuMode::SpecialTest,
                                              hc11::McuMode::Expanded, hc11::McuMode::SingleChip};
  m.Reset(kModes[control & 3]);
  if (control & 3) {
    m.GetCpu().Regs().pc = 0x0000;  // straight into the RAM image
  }
  m.SetTrace(control & 8);
  if (control & 16) {
    for (int i = 0; i < 8; ++i) m.HostByte(static_cast<uint8_t>(control * 31 + i), 1200 << (i & 3), i);
  }
  const uint64_t start = m.Now();
  m.Run(start + ((control & 8) ? 20000 : 100000));
  if (m.Now() < start) std::abort();
  m.TakeMessages();
  m.RegisterText();
  // Running on from wherever it stopped must also hold.
  m.Run(m.Now() + 1000);
  return 0;
}
