// Save Program: read the controller's memory back and save it as S-records.
// The menu command gathers the range (the Address Range dialog), reads, and
// then asks for the file; keston-cli builds the options from its arguments
// and names the file itself.
#pragma once

#include <string>

#include "image/Programmer.h"
#include "target/Outcome.h"

class CAddressRangeDlg;
class CTalker;

struct ReadBackOptions {
  unsigned start = 0;      // Starting
  unsigned finish = 0xFFFF;  // Finish
  bool excludeActive = false;
  unsigned excludeStart = 0xB600;
  unsigned excludeEnd = 0xB7FF;
  // Map the internal EEPROM into the page of eepromStart while reading, so
  // its contents appear there; otherwise it is switched off.
  bool enableEeprom = false;
  unsigned eepromStart = 0x4E00;
  bool noPrompt = false;  // boot-load without the reset prompt when needed
  // Read everything twice and compare ("Read twice and compare").
  bool readTwice = true;
};

ReadBackOptions ReadBackOptionsFromDialog(const CAddressRangeDlg& dlg);

struct ReadBackJob {
  ReadBackOptions options;
  CProgrammer image;  // pre-filled; the reads land at their own addresses
  bool started = false;  // the reading began (the link was there)
};

// (a) The Address Range dialog; the image is pre-filled with ff.  0 when the
// user cancelled or the range names nothing.
// With `talker`, the dialog says when its checked block reads make reading
// twice free.
int GatherReadBack(ReadBackJob& job, OpResult* result = nullptr, const CTalker* talker = nullptr);
// (b) Boot-loads when needed, maps the EEPROM, reads the passes into the
// job's image.  1 when every pass was read; `result` says what failed.
int ExecuteReadBack(CTalker& talker, ReadBackJob& job, OpResult* result = nullptr);
// After (b): "Getting File", the file (asked for when `path` is empty, else
// written there without asking), and the closing status text.  `result`
// holds what the reading came to and is updated with the saving.  After a
// read that did not complete, what was read is saved only when the user
// wants it, and then to NAME.partial: never over a file, never under the
// name given.  1 when a file was written.
int SaveReadBack(ReadBackJob& job, const std::string& path, OpResult& result);
// Where an incomplete read of `path` goes.
std::string PartialPath(const std::string& path);
// The menu command: (a), (b), then the file.  1 when a file was written.
int SaveProgram(CTalker& talker, OpResult* result = nullptr);
