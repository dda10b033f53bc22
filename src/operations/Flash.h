// Flash Controller, Flash EEPROM CHIP and QuickFlash: write a program file
// into the controller.  The menu commands make sure the talker runs, gather
// what to do (the file, the Address Range dialog) into a FlashJob and then
// execute it; keston-cli builds the same job from its arguments and executes
// it directly.
#pragma once

#include <memory>
#include <string>

#include "image/Programmer.h"
#include "target/Outcome.h"

class CAddressRangeDlg;
class CTalker;

// Everything the Address Range dialog decides for a flash.
struct FlashOptions {
  unsigned start = 0;   // Starting
  unsigned finish = 0;  // Finish
  bool excludeActive = false;
  unsigned excludeStart = 0xB600;
  unsigned excludeEnd = 0xB7FF;
  bool configEnabled = false;  // write CONFIG with configValue
  unsigned configValue = 0x4B;
  bool enableEeprom = false;  // write the internal EEPROM window
  unsigned eepromStart = 0x4E00;
  unsigned eepromLength = 0x200;
  bool writeAll = false;  // program gaps in the file too
  // Always the 64-byte block writer (Flash EEPROM CHIP); otherwise the chip's
  // identity decides.
  bool blocks = false;
  // Boot-load without the "Reset in Bootstrap Mode" prompt when needed.
  bool noPrompt = false;
  // Read what was written back and compare ("Verify after writing").
  bool verify = true;
};

// Why these options cannot be flashed, or empty: an exclusion that ends
// below its start, an EEPROM start outside the window of its page.
std::string FlashOptionsProblem(const FlashOptions& options);

// The dialog's fields as options, and the other way round.
FlashOptions FlashOptionsFromDialog(const CAddressRangeDlg& dlg);
void FlashOptionsToDialog(const FlashOptions& options, CAddressRangeDlg& dlg);

struct FlashJob {
  FlashOptions options;
  CProgrammer image;     // the program, loaded with its offset and pre-fill
  std::string fileName;  // where it came from, for the user
};

// (a) Loads the program file and, unless `quick`, runs the Address Range
// dialog.  1 with `job` filled; 0 when the user stopped it or no file was
// loaded (`result` says which).
// With `talker`, the dialog says when its checked block writes make
// verifying free.
int GatherFlashJob(bool eepromChip, bool quick, FlashJob& job, OpResult* result = nullptr,
                   const CTalker* talker = nullptr);
// (b) Boot-loads when needed, then writes CONFIG, the EEPROM window and the
// flash passes, with the program's status texts.  1 once it went through the
// writing steps, whatever their outcome; 0 when it could not start.
int ExecuteFlash(CTalker& talker, FlashJob& job, OpResult* result = nullptr);
// The menu commands: the talker (boot-loaded when needed), then (a) and (b).
int FlashController(CTalker& talker, bool eepromChip, bool quick, OpResult* result = nullptr);
