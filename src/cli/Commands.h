// keston-cli's commands: each one sets up the answers its handler's dialogs
// will be given, runs the same handler or CProgrammer operation as the
// desktop program, and turns what really happened (the operation's result,
// the final status text, the boxes shown, the state of the link) into one
// exit status and, on failure, one line naming what failed.
#pragma once

#include <iosfwd>

// Runs keston-cli.  Results go to `results`, everything else to `err`;
// questions are read from `in`.  Returns the process exit status.
int RunKestonCli(int argc, const char* const* argv, std::ostream& results, std::ostream& err,
                 std::istream& in, bool stdinIsTerminal, bool stderrIsTerminal);
