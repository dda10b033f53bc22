// The host's own code (CLink, CTalker, the boot load, the flash and EEPROM
// writers) against our talker running on the emulated MC68HC11F1, in the
// same process (CCpuDevice).  The talker is the one the build assembled.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Pattern.h"
#include "image/Programmer.h"
#include "link/Link.h"
#include "sim/hc11/CpuDevice.h"
#include "support/MemoryStore.h"
#include "support/ScriptedShell.h"
#include "target/Talker.h"

// The talker as the build wrote it: its bytes from address 0, read from the
// S-record file with the records' checksums checked.
Bytes TalkerImage(const std::string& s19Path);
// S1 records of `bytes` from `origin`, 32 bytes a record.
std::string SRecords(const Bytes& bytes, unsigned origin = 0);

struct RigBoard {
  hc11::FlashChip::Kind chip = hc11::FlashChip::Kind::Am29F010;
  int eraseMs = 1000;      // the chip's erase time
  double crystalHz = 8e6;  // E = 2 MHz
  // The boot ROM's fast rate (E/256) unless a test is about the 1200-baud
  // download: the download then takes a sixth of the line time.
  int bootBaud = 7812;
  int normalBaud = 9600;
  // The rate the host's adapter really makes when asked for one (an
  // adapter whose divider cannot make every rate); empty: the one asked.
  // 0 or less: the adapter refuses it.
  std::function<int(int)> adapterRate;
};

class TalkerRig : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  using Board = RigBoard;
  // A controller on `board`; the host's link is set up to reach it (Device
  // 1 and both rates) and to boot the loader chosen with UseLoader (by
  // default the talker the build assembled).
  void Start(const Board& board = Board());
  void Start(hc11::FlashChip::Kind chip) {
    Board board;
    board.chip = chip;
    Start(board);
  }
  void UseLoader(const std::string& directory, const std::string& name);
  // The setting Comm/Standard Protocol: the host keeps to the standard
  // commands even with our talker, whose wire those cases are about.
  void ForceStandardProtocol() { store.WriteProfileInt("Comm", "Standard Protocol", 1); }
  // Reset into bootstrap mode and BootLoad, checked; the trace is cleared.
  void Boot();
  // The user gives up on an exchange (Disconnect) once the controller has
  // sent nothing for `seconds` of line time while the host waited.
  void GiveUpAfterSilence(double seconds);
  // Runs `action` once, while the host waits for an answer, as soon as it
  // has written `count` bytes since the trace was cleared.
  void AtHostByte(size_t count, std::function<void()> action);

  hc11::Machine& machine() { return device->Machine(); }
  std::vector<uint8_t>& flash() { return machine().Chip().Array(); }
  uint8_t Reg(unsigned offset) const { return device->Machine().Register(static_cast<uint8_t>(offset)); }
  // The line has been quiet in both directions for a while: the host has
  // sent nothing and the talker has answered everything.
  void ExpectSilence(double seconds = 0.5);
  // `data` written from `address` by the named writer: "WriteFlash",
  // "WriteFlashBlocks", or else the EEPROM block writer; its result.
  int RunWriter(const std::string& writer, unsigned address, const Bytes& data);
  // What the target holds from `address`: the EEPROM's cells for 0x0E00
  // (where the tests map it), the flash chip's otherwise.
  Bytes TargetHolds(unsigned address, size_t size);

  MemoryStore store;
  ScriptedShell shell;
  CCpuDevice* device = nullptr;  // owned by the link
  std::unique_ptr<CLink> link;
  std::unique_ptr<CTalker> talker;
  bool gaveUp = false;

 private:
  size_t m_actionAt = 0;
  std::function<void()> m_action;
  double m_patience = 0;
  double m_lastHeard = 0;
  size_t m_heardCount = 0;
};

// A kilobyte of `chip` at 0x8000 to be read back through a faulty line, on a
// booted talker whose user gives up after three seconds of silence.
class ChipReadRig : public TalkerRig {
 protected:
  explicit ChipReadRig(uint32_t seed) : chip(Pattern(1024, seed)) {}
  void SetUp() override;
  // 1: `read` succeeded with the chip's bytes; 0: it failed; -1: it
  // succeeded with other bytes.
  int ReadChip(const std::function<int(CProgrammer&)>& read);

  const Bytes chip;
};
