// Write target RAM, Read Memory and Set Config /EEPROM: one address range at
// a time through the running talker.  The menu commands ask for the run in
// CEepromDlg; keston-cli fills the run from its arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "target/Outcome.h"

class CTalker;

enum class MemoryTool { WriteTargetRam, ReadMemory, SetConfigEeprom };

struct MemoryToolRun {
  unsigned address = 0x103F;
  unsigned value = 0x7B;
  uint16_t length = 1;  // 0 stands for 65,536
  // Read Memory: each byte read twice, and a third time when they differ.
  bool readTwice = true;
};

// The opening the three tools share: "Controller not Connected!" when the
// link is down, else the dialog pre-set from the remembered parameters.
// 1 with `run` filled on OK.
int AskMemoryToolRun(CTalker& talker, MemoryTool tool, MemoryToolRun& run);

// Each returns 1 when the whole run succeeded; the status texts and boxes are
// the commands' own.  Writes are read back afterwards and a difference fails
// the run; a run that is not allowed (one running past ffff, one leaving the
// EEPROM window) is refused before anything is sent.  Each stops between
// bytes when the user asks.
int ExecuteWriteTargetRam(CTalker& talker, const MemoryToolRun& run, OpResult* result = nullptr);
// The bytes read are appended to `bytes` (also when the run fails part way)
// and shown in the "DTC Code: " pane.
int ExecuteReadMemory(CTalker& talker, const MemoryToolRun& run, std::vector<uint8_t>& bytes,
                      OpResult* result = nullptr);
int ExecuteSetConfigEeprom(CTalker& talker, const MemoryToolRun& run, OpResult* result = nullptr);
