// What every programming operation does first: the talker, boot-loaded when
// it is not taken to be running, and a connection to speak to it over.
#pragma once

#include "target/Outcome.h"

class CTalker;

// true when the link is connected afterwards; otherwise the box "Can't write,
// not connected" has been shown and `result` says why (the boot load's own
// outcome when it failed).
bool RequireTalker(CTalker& talker, bool noPrompt, OpResult& result);
