#include "target/Eeprom.h"

#include "panes/MainFrame.h"
#include "image/Programmer.h"
#include "link/Link.h"
#include "shell/Shell.h"
#include "target/HexFormat.h"
#include "target/Stream.h"
#include "target/Talker.h"
#include "target/TargetRange.h"

namespace {

// PPROG bits.
constexpr uint8_t PPROG_EPGM = 0x01;
constexpr uint8_t PPROG_EELAT = 0x02;
constexpr uint8_t PPROG_ERASE = 0x04;
constexpr uint8_t PPROG_BYTE = 0x10;

constexpr unsigned kEepromSize = 0x200;
constexpr unsigned kEepromOffset = 0x0E00;

// The programming voltage must stay on this long for a cell to take.
void ProgrammingPulse(CTalker& talker) { talker.Link().SleepMs(10); }

uint8_t PageBits(unsigned address) { return static_cast<uint8_t>((address & 0xF000) >> 8); }

// One latch-and-pulse sequence of the 68HC11's PPROG register on one cell.
int PulseCell(CTalker& talker, unsigned address, uint8_t latch, uint8_t data) {
  if (!talker.WriteTargetByte(REG_PPROG, latch)) return 0;
  // The cell does not read back what was written while latched, so this
  // echo carries no meaning.
  talker.WriteTargetByte(address, data);
  if (!talker.WriteTargetByte(REG_PPROG, latch | PPROG_EPGM)) return 0;
  ProgrammingPulse(talker);
  return talker.WriteTargetByte(REG_PPROG, 0x00);
}

bool ClearBlockProtection(CTalker& talker) {
  if (talker.WriteTargetByte(REG_BPROT, 0x00)) return true;
  AfxMessageBox("BPROT clear failed", MB_YESNO);
  return false;
}

}  // namespace

int EepromOn(CTalker& talker, unsigned address) {
  uint8_t config = 0;
  if (!talker.ReadTargetByte(REG_CONFIG, config)) return 0;
  return talker.WriteTargetByte(REG_CONFIG, PageBits(address) | (config & 0x0F) | 0x01);
}

int EepromOff(CTalker& talker) {
  uint8_t config = 0;
  if (!talker.ReadTargetByte(REG_CONFIG, config)) return 0;
  return talker.WriteTargetByte(REG_CONFIG, config & 0x0E);
}

int EraseEepromByte(CTalker& talker, unsigned address, uint8_t value) {
  // An erased cell reads 0xFF and programming only clears bits, so a 0x00
  // needs no erase first.
  if (value == 0x00) return 1;
  return PulseCell(talker, address, PPROG_BYTE | PPROG_ERASE | PPROG_EELAT, 0xFF);
}

int ProgramEepromByte(CTalker& talker, unsigned address, uint8_t value) {
  if (value == 0xFF) return 1;
  return PulseCell(talker, address, PPROG_EELAT, value);
}

int UpdateEepromByte(CTalker& talker, unsigned address, uint8_t value) {
  SetStatusText(HexPairText(address, value));
  if (!EraseEepromByte(talker, address, value)) return 0;
  return ProgramEepromByte(talker, address, value);
}

int WriteEepromByte(CTalker& talker, unsigned address, uint8_t value) {
  if (!talker.Connected()) return 0;
  // An address outside the window its page maps the EEPROM to is refused
  // before CONFIG or BPROT are touched: a refusal must change nothing.
  const unsigned pageBase = (address & 0xF000) + kEepromOffset;
  if (address != REG_CONFIG && (address < pageBase || address >= pageBase + kEepromSize)) return 0;
  uint8_t config = 0;
  if (!talker.ReadTargetByte(REG_CONFIG, config)) return 0;
  uint8_t newConfig = static_cast<uint8_t>(PageBits(address) + ((config & 0x0F) | 0x01));
  if (!talker.WriteTargetByte(REG_CONFIG, newConfig)) return 0;
  unsigned base = (static_cast<unsigned>(newConfig & 0xF0) << 8) + kEepromOffset;
  if (!ClearBlockProtection(talker)) return 0;
  if ((address >= base && address < base + kEepromSize) || address == REG_CONFIG) {
    return UpdateEepromByte(talker, address, value);
  }
  return 0;
}

int WriteEepromBlock(CTalker& talker, unsigned address, CProgrammer& programmer, unsigned countMinusOne) {
  const unsigned lastOffset = countMinusOne < kEepromSize ? countMinusOne : kEepromSize - 1;
  if (!RangeFits(address, lastOffset)) return 0;
  if (!ClearBlockProtection(talker)) return 0;
  if (!EepromOn(talker, address)) return 0;
  if (!talker.Connected()) return 0;

  if (UseBlockWrite(talker)) {
    // Checked blocks, each cell erased and programmed as by the byte write.
    auto source = [&](unsigned a) { return programmer.GetImageByte(a); };
    auto done = [&](unsigned next) {
      SetStatusText(HexPairText((next - 1) & 0xFFFF, programmer.GetImageByte(next - 1)));
    };
    return StreamWriteRange(talker, address, lastOffset, xproto::BlockKind::Eeprom, source, {}, done);
  }
  talker.Link().Queue().Clear();
  // The EEPROM holds 512 bytes; anything beyond is not sent.
  unsigned remaining = lastOffset + 1;
  int result = 1;
  while (remaining > 0) {
    if (talker.StopHere()) return 0;
    uint8_t count = CountByte(remaining);
    if (!talker.SendCommandHeader(CMD_EEPROM_WRITE, address & 0xFFFF, count)) result = 0;
    SetStatusText(HexText((address - 1) & 0xFFFF) + " ");
    // The talker programs each cell before it echoes, so only one byte is in
    // flight; a byte that was never echoed was never confirmed written.
    auto source = [&](unsigned a) { return programmer.GetImageByte(a); };
    auto sent = [&](unsigned next) {
      SetStatusText(HexPairText((next - 1) & 0xFFFF, programmer.GetImageByte(next - 1)));
    };
    if (!talker.SendDataPhase(address, count, source, EchoPacing::OneAtATime, 100, result, sent)) return 0;
  }
  return result;
}

int BulkEraseEeprom(CTalker& talker) {
  if (!talker.Connected()) {
    AfxMessageBox("Failed\n Controller not connected");
    return 0;
  }
  // With BYTE clear in PPROG the erase covers the whole EEPROM and CONFIG.
  bool ok = talker.WriteTargetByte(REG_BPROT, 0x00) && talker.WriteTargetByte(REG_PPROG, PPROG_ERASE | PPROG_EELAT);
  if (ok) {
    talker.WriteTargetByte(REG_CONFIG, 0xFF);
    ok = talker.WriteTargetByte(REG_PPROG, PPROG_ERASE | PPROG_EELAT | PPROG_EPGM);
  }
  if (ok) {
    ProgrammingPulse(talker);
    ok = talker.WriteTargetByte(REG_PPROG, 0x00);
  }
  if (ok) {
    SetStatusText("68HC11 is erased!");
    return 1;
  }
  AfxMessageBox("68HC11 erase failed!");
  return 0;
}
