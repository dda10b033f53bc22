// Downloading the talker through the 68HC11's bootstrap ROM, and the
// boot-mode flag's meaning for the programming operations.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>

#include "target/Outcome.h"

class CByteFifo;
class CTalker;

// Takes `length` echo bytes from the queue and compares them with the last
// `length` of the `n` loader bytes sent: echoes lost at the start of a
// download are tolerated by the caller's count, but every echo that did
// arrive must be the byte sent.  0 when one differs, when there are more
// echoes than bytes, when the queue ran dry or the link was lost.
int VerifyBootEcho(const uint8_t* expected, unsigned n, CByteFifo& queue, unsigned length, bool connected);

// The loader file: the remembered one when it opens, else the user's choice
// (remembered when it opened).  Null when no file was opened.
std::unique_ptr<std::istream> ChooseBootFile();
// Drops the in-memory copy of the loader file's folder and name, so that the
// next boot load reads "BOOT PATH" and "BOOT NAME" from the store again, as
// at program start.
void ForgetBootFileChoice();

// The Boot Load command's download: loader at the bootstrap rate, echo check,
// reopen at the normal rate, first contact.  1 when the talker was started
// (the first contact's answer is not needed for that); `result`, when given,
// says in full what happened.
int BootLoad(CTalker& talker, bool noPrompt, OpResult* result = nullptr);
// Boot-loads unless the talker is already taken to be running.
int EnsureTalker(CTalker& talker, bool noPrompt, OpResult* result = nullptr);
