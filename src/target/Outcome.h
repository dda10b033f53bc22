// What an operation on the controller came to, as a type: the front ends
// decide exit statuses, progress and wording from this, never from the
// status texts, which stay the program's own words for the person watching.
#pragma once

#include <string>

enum class Outcome {
  Ok = 0,
  Cancelled,        // a question was declined or a dialog cancelled; nothing was sent
  NotConnected,     // there was no open link to the controller
  LinkLost,         // the line went away during the operation
  Interrupted,      // the user stopped it at a command boundary
  FileError,        // a file could not be opened, read or written
  BadRecords,       // the program file holds records whose checksum fails
  NothingToDo,      // the options name nothing to transfer
  Refused,          // the options were refused before anything was sent
  BootFailed,       // the loader did not come back as it was sent
  NoTalker,         // nothing answers the talker's commands after the download
  CommandRejected,  // a command byte was answered with the wrong complement
  EchoMismatch,     // a written byte was echoed as another value
  VerifyMismatch,   // what was read back differs from what was written
  ReadMismatch,     // two reads of the same range differ
  ChipFailed,       // the flash chip refused or failed an erase
};

struct OpResult {
  Outcome outcome = Outcome::Ok;
  unsigned address = 0;  // the first address concerned, where one is known
  unsigned count = 0;    // bytes concerned (differing bytes, bytes written...)
  unsigned chipId = 0;   // manufacturer << 8 | device, once read
  std::string detail;    // what the user needs besides the outcome (a file, a reason)

  bool Ok() const { return outcome == Outcome::Ok; }
  static OpResult With(Outcome outcome, std::string detail = std::string(), unsigned address = 0) {
    OpResult r;
    r.outcome = outcome;
    r.detail = std::move(detail);
    r.address = address;
    return r;
  }
};

// A short English name of the outcome ("echo mismatch").
const char* OutcomeName(Outcome outcome);
