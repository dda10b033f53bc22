// Process exit statuses of keston-cli.  Scripts rely on these numbers, so
// they never change meaning; --help lists them.
#pragma once

enum ExitStatus : int {
  EXIT_OK = 0,
  EXIT_DIFFERS = 1,       // verify: the controller's memory differs from the file
  EXIT_USAGE = 2,         // unknown command or option, bad number or range
  EXIT_FILE = 3,          // a file could not be read or written, or holds bad records
  EXIT_LINK = 4,          // port not opened, line lost, or no answer within the time-out
  EXIT_TARGET = 5,        // the controller answered, but the operation failed
  EXIT_DECLINED = 6,      // a question was declined or could not be asked
  EXIT_INTERRUPTED = 130  // Ctrl-C; the port was closed cleanly
};
