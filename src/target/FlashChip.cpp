#include "target/FlashChip.h"

#include "panes/MainFrame.h"
#include "image/Programmer.h"
#include "link/Link.h"
#include "shell/Shell.h"
#include "target/BootLoad.h"
#include "target/Eeprom.h"
#include "target/HexFormat.h"
#include "target/ProgressDlg.h"
#include "target/Stream.h"
#include "target/Talker.h"
#include "target/TargetRange.h"

namespace {

constexpr uint8_t kFlashIdAck = 0x37;
constexpr uint8_t kEraseAck = 0x2E;
constexpr uint8_t kEraseGo = 0x3F;
constexpr uint8_t kErased = 0xFF;
constexpr unsigned kBlockSize = 64;

// The write through checked block writes of `kind`, when the talker offers
// them: the same bytes as the byte and block writers send, each block
// confirmed by the CRC of what the chip holds afterwards.
int WriteFlashChecked(CTalker& talker, unsigned address, CProgrammer& programmer, unsigned countMinusOne,
                      bool writeAll, xproto::BlockKind kind, CProgressDlg& progress) {
  const unsigned first = address;
  auto source = [&](unsigned a) { return programmer.GetImageByte(a); };
  auto skip = [&](unsigned a) { return programmer.m_written[a & 0xFFFF] == 0; };
  auto done = [&](unsigned next) {
    SetStatusText(HexText((next - 1) & 0xFFFF) + " ");
    progress.SetPos(next - 1);
    progress.SetAddress(next - 1, true);
    progress.SetValue(programmer.GetImageByte(next - 1), true);
    progress.SetDone(next - first);
  };
  return StreamWriteRange(talker, address, countMinusOne, kind, source,
                          writeAll ? std::function<bool(unsigned)>() : std::function<bool(unsigned)>(skip), done);
}

// Passes over addresses the loaded file did not cover, but always leaves at
// least one byte so that every chunk has something to program.
void SkipUnwritten(unsigned& address, unsigned& remaining, const CProgrammer& programmer) {
  while (programmer.m_written[address & 0xFFFF] == 0 && remaining > 1) {
    ++address;
    --remaining;
  }
}

}  // namespace

unsigned GetFlashId(CTalker& talker) {
  talker.Link().Queue().Clear();
  talker.CountCommand();
  if (!talker.SendByte(CMD_FLASH_ID)) return 0;
  uint8_t reply = 0, manufacturer = 0, device = 0;
  if (!talker.ReceiveByteChecked(reply)) return 0;
  if (reply != kFlashIdAck) {
    talker.NoteFault(Outcome::CommandRejected);
    return 0;
  }
  if (!talker.ReceiveByteChecked(manufacturer)) return 0;
  // Half an identity is no identity.
  if (!talker.SendByte(manufacturer) || !talker.ReceiveByteChecked(device)) return 0;
  return (static_cast<unsigned>(manufacturer) << 8) | device;
}

int ChipErase(CTalker& talker) {
  talker.Link().Queue().Clear();
  talker.CountCommand();
  if (!talker.SendByte(CMD_CHIP_ERASE)) return 0;
  uint8_t reply = 0;
  if (!talker.ReceiveByteChecked(reply)) return 0;
  if (reply != kEraseAck) {
    talker.NoteFault(Outcome::CommandRejected);
    return 0;
  }
  if (!talker.SendByte(kEraseGo)) return 0;
  // The erase takes seconds; the wait keeps the UI alive meanwhile.
  if (!talker.ReceiveByteChecked(reply)) return 0;
  if (reply == kErased) return 1;
  talker.NoteFault(Outcome::ChipFailed);
  return 0;
}

int EraseFlash(CTalker& talker, OpResult* out) {
  OpResult scratch;
  OpResult& result = out ? *out : scratch;
  result = OpResult();
  OpResult boot;
  EnsureTalker(talker, false, &boot);
  bool confirmed = AfxMessageBox("Erase Program?", MB_OKCANCEL) == IDOK;
  if (confirmed && talker.Connected()) {
    talker.ClearFault();
    unsigned id = GetFlashId(talker);
    result.chipId = id;
    SetStatusText("M " + HexText(id >> 8) + " CH " + HexText(id & 0xFF));
    if (id == kFlashEepromChipId) {
      // That chip is rewritten block by block and needs no erase.
      SetStatusText("Can't Erase, Flash EEPROM ");
      return 1;
    }
    SetStatusText("Erasing AMD29F010");
    talker.ClearFault();
    // The erase takes seconds and shows no position: the window says it runs.
    CProgressDlg progress;
    progress.Begin("Erasing Flash", 0, 0, 0xFF, Transfer::Erase);
    if (ChipErase(talker)) {
      SetStatusText("AMD chip is erased! ");
      return 1;
    }
    AfxMessageBox("AMD Erase Failed!");
    result.outcome = talker.FaultOutcome() == Outcome::LinkLost ? Outcome::LinkLost : Outcome::ChipFailed;
    return 0;
  }
  if (!talker.Connected()) {
    AfxMessageBox("Communications not connected");
    result = boot.Ok() ? OpResult::With(Outcome::NotConnected) : boot;
    if (result.outcome == Outcome::NoTalker) result.outcome = Outcome::NotConnected;
  } else {
    result = OpResult::With(Outcome::Cancelled, "Erase Program?");
  }
  return 0;
}

int WriteFlash(CTalker& talker, unsigned address, CProgrammer& programmer, unsigned countMinusOne,
               bool writeAll) {
  if (!RangeFits(address, countMinusOne)) return 0;
  // With the EEPROM mapped over the flash the bytes would land in the wrong chip.
  if (!EepromOff(talker)) return 0;
  CProgressDlg progress;
  progress.Begin("Writing Flash", address, countMinusOne, programmer.GetImageByte(address), Transfer::WriteFlash);
  if (UseBlockWrite(talker))
    return WriteFlashChecked(talker, address, programmer, countMinusOne, writeAll, xproto::BlockKind::Am29F010,
                             progress);
  talker.Link().Queue().Clear();
  const unsigned first = address;
  unsigned remaining = countMinusOne + 1;
  int result = 1;
  auto source = [&](unsigned a) { return programmer.GetImageByte(a); };
  auto sent = [](unsigned next) {
    if ((next & 0xF) == 0) SetStatusText(HexText(next) + " ");
  };
  while (remaining > 0) {
    if (!talker.Connected()) {
      talker.NoteFault(Outcome::LinkLost, address);
      return 0;
    }
    if (talker.StopHere()) return 0;
    if (!writeAll) SkipUnwritten(address, remaining, programmer);
    uint8_t count = CountByte(remaining);
    if (!talker.SendCommandHeader(CMD_FLASH_WRITE, address & 0xFFFF, count)) result = 0;
    SetStatusText(HexText((address - 1) & 0xFFFF) + " ");
    if (!talker.SendDataPhase(address, count, source, EchoPacing::PairsButLastTwo, 50, result, sent)) return 0;
    progress.SetPos(address - 1);
    progress.SetAddress(address - 1, true);
    progress.SetValue(programmer.GetImageByte(address - 1), true);
    progress.SetDone(address - first);
  }
  return result;
}

int WriteFlashBlocks(CTalker& talker, unsigned address, CProgrammer& programmer, unsigned countMinusOne,
                     bool writeAll) {
  CProgressDlg progress;
  progress.Begin("Writing Flash", address, countMinusOne, programmer.GetImageByte(address), Transfer::WriteFlash);
  if (!talker.Connected() || !RangeFits(address, countMinusOne)) return 0;
  // With the EEPROM mapped over the flash the bytes would land in the wrong
  // chip, as for the byte writer.
  if (!EepromOff(talker)) return 0;
  if (UseBlockWrite(talker))
    return WriteFlashChecked(talker, address, programmer, countMinusOne, writeAll, xproto::BlockKind::Sst, progress);

  talker.Link().Queue().Clear();
  const unsigned first = address;
  unsigned remaining = countMinusOne + 1;
  int result = 1;
  auto source = [&](unsigned a) { return programmer.GetImageByte(a); };
  while (remaining > 0) {
    if (!talker.Connected()) {
      talker.NoteFault(Outcome::LinkLost, address);
      return 0;
    }
    if (talker.StopHere()) return 0;
    if (!writeAll) SkipUnwritten(address, remaining, programmer);
    unsigned count = remaining < kBlockSize ? remaining : kBlockSize;
    remaining -= count;
    if (!talker.SendCommandHeader(CMD_FLASH_BLOCK_WRITE, address & 0xFFFF, static_cast<uint8_t>(count)))
      result = 0;
    SetStatusText(HexText((address - 1) & 0xFFFF));
    if (!talker.SendDataPhase(address, static_cast<uint8_t>(count), source, EchoPacing::PairsButLastTwo, 50,
                              result))
      return 0;
    progress.SetPos(address);
    progress.SetAddress(address, true);
    progress.SetValue(programmer.GetImageByte(address), true);
    progress.SetDone(address - first);
  }
  return result;
}
