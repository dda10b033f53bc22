#include "target/FlashChip.h"

#include "app/MainFrame.h"
#include "image/Programmer.h"
#include "link/ByteFifo.h"
#include "link/LinkState.h"
#include "shell/Shell.h"
#include "target/Eeprom.h"
#include "target/HexFormat.h"
#include "target/ProgressDlg.h"
#include "target/Talker.h"
#include "target/TargetRange.h"

namespace {

constexpr uint8_t kFlashIdAck = 0x37;
constexpr uint8_t kEraseAck = 0x2E;
constexpr uint8_t kEraseGo = 0x3F;
constexpr uint8_t kErased = 0xFF;
constexpr unsigned kBlockSize = 64;

// Passes over addresses the loaded file did not cover, but always leaves at
// least one byte so that every chunk has something to program.
void SkipUnwritten(unsigned& address, unsigned& remaining, const CProgrammer& programmer) {
  while (programmer.m_written[address & 0xFFFF] == 0 && remaining > 1) {
    ++address;
    --remaining;
  }
}

// The data phase of both flash writers: up to two bytes in flight, the last
// two of a chunk one at a time.  Returns false when the link failed and the
// transfer cannot go on; a wrong echo only clears `result`.
bool ProgramChunk(unsigned& address, const CProgrammer& programmer, uint8_t count, bool reportEvery16,
                  int& result) {
  auto advance = [&]() {
    ++address;
    if (reportEvery16 && (address & 0xF) == 0) SetStatusText(HexText(address) + " ");
  };
  do {
    uint8_t first = programmer.GetImageByte(address);
    uint8_t echo = 0;
    if (!SendByte(first)) return false;
    advance();
    if (count > 2) {
      uint8_t second = programmer.GetImageByte(address);
      if (!SendByte(second)) return false;
      advance();
      --count;
      if (!ReceiveByteChecked(echo)) return false;
      if (echo != first) result = 0;
      if (!ReceiveByteChecked(echo)) return false;
      if (echo != second) result = 0;
    } else {
      if (!ReceiveByteChecked(echo)) return false;
      if (echo != first) result = 0;
    }
    --count;
  } while (count != 0);
  return true;
}

}  // namespace

unsigned GetFlashId() {
  g_rxFifo.Clear();
  if (!SendByte(CMD_FLASH_ID)) return 0;
  uint8_t reply = 0, manufacturer = 0, device = 0;
  if (!ReceiveByteChecked(reply) || reply != kFlashIdAck) return 0;
  if (!ReceiveByteChecked(manufacturer)) return 0;
  // Half an identity is no identity.
  if (!SendByte(manufacturer) || !ReceiveByteChecked(device)) return 0;
  return (static_cast<unsigned>(manufacturer) << 8) | device;
}

int ChipErase() {
  g_rxFifo.Clear();
  if (!SendByte(CMD_CHIP_ERASE)) return 0;
  uint8_t reply = 0;
  if (!ReceiveByteChecked(reply) || reply != kEraseAck) return 0;
  if (!SendByte(kEraseGo)) return 0;
  // The erase takes seconds; the wait keeps the UI alive meanwhile.
  if (!ReceiveByteChecked(reply)) return 0;
  return reply == kErased ? 1 : 0;
}

int CProgrammer::EraseFlash() {
  EnsureTalker(false);
  bool confirmed = AfxMessageBox("Erase Program?", MB_OKCANCEL) == IDOK;
  if (confirmed && g_connected.load()) {
    unsigned id = GetFlashId();
    SetStatusText("M " + HexText(id >> 8) + " CH " + HexText(id & 0xFF));
    if (id == kFlashEepromChipId) {
      // That chip is rewritten block by block and needs no erase.
      SetStatusText("Can't Erase, Flash EEPROM ");
      return 1;
    }
    SetStatusText("Erasing AMD29F010");
    if (ChipErase()) {
      SetStatusText("AMD chip is erased! ");
      return 1;
    }
    AfxMessageBox("AMD Erase Failed!");
    return 0;
  }
  if (!g_connected.load()) AfxMessageBox("Communications not connected");
  return 0;
}

int WriteFlash(unsigned address, CProgrammer& programmer, unsigned countMinusOne, bool writeAll) {
  if (!RangeFits(address, countMinusOne)) return 0;
  // With the EEPROM mapped over the flash the bytes would land in the wrong chip.
  if (!EepromOff()) return 0;
  g_rxFifo.Clear();
  unsigned remaining = countMinusOne + 1;
  int result = 1;
  while (remaining > 0) {
    if (!g_connected.load()) return 0;
    if (!writeAll) SkipUnwritten(address, remaining, programmer);
    uint8_t count = CountByte(remaining);
    if (!SendCommandHeader(CMD_FLASH_WRITE, address & 0xFFFF, count)) result = 0;
    SetStatusText(HexText((address - 1) & 0xFFFF) + " ");
    if (!ProgramChunk(address, programmer, count, true, result)) return 0;
  }
  return result;
}

int WriteFlashBlocks(unsigned address, CProgrammer& programmer, unsigned countMinusOne, bool writeAll) {
  CProgressDlg progress;
  progress.Begin("Writing Flash", address, countMinusOne, programmer.GetImageByte(address));
  if (!g_connected.load() || !RangeFits(address, countMinusOne)) return 0;

  g_rxFifo.Clear();
  unsigned remaining = countMinusOne + 1;
  int result = 1;
  while (remaining > 0) {
    if (!g_connected.load()) return 0;
    if (!writeAll) SkipUnwritten(address, remaining, programmer);
    unsigned count = remaining < kBlockSize ? remaining : kBlockSize;
    remaining -= count;
    if (!SendCommandHeader(CMD_FLASH_BLOCK_WRITE, address & 0xFFFF, static_cast<uint8_t>(count))) result = 0;
    SetStatusText(HexText((address - 1) & 0xFFFF));
    if (!ProgramChunk(address, programmer, static_cast<uint8_t>(count), false, result)) return 0;
    progress.SetPos(address);
    progress.SetAddress(address, true);
    progress.SetValue(programmer.GetImageByte(address), true);
  }
  return result;
}
