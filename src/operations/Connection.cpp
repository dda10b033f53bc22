#include "operations/Connection.h"

#include "shell/Shell.h"
#include "target/BootLoad.h"
#include "target/Talker.h"

bool RequireTalker(CTalker& talker, bool noPrompt, OpResult& result) {
  OpResult boot;
  EnsureTalker(talker, noPrompt, &boot);
  if (talker.Connected()) return true;
  AfxMessageBox("Can't write, not connected");
  // A talker that was started but does not answer left the link up; a link
  // that is down after the boot load is a connection failure whatever the
  // boot load's first contact said.
  result = boot.Ok() || boot.outcome == Outcome::NoTalker ? OpResult::With(Outcome::NotConnected) : boot;
  return false;
}
