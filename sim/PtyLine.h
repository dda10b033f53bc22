// Thin helpers over the master side of a pseudo-terminal.  The termios2
// calls live in their own source file because the kernel's termbits header
// cannot share a translation unit with the C library's <termios.h>.
#pragma once

#include <string>

// Opens a new master (non-blocking, close-on-exec), unlocks its slave and
// puts the slave's line into raw mode at `baud`.  Returns the master's fd or
// -1; `slavePath` receives the slave's device name.
int PtyOpenMaster(int baud, std::string& slavePath, std::string& error);

// The line rate the host last set on the slave, read through the master
// (on Linux the master's termios calls reach the slave's settings).  0 when
// it cannot be read.
int PtyHostBaud(int masterFd);

// Sets raw mode and an arbitrary rate on the slave's line, as a serial
// port's owner would; used by the controller at start and by test clients.
bool PtySetRawBaud(int fd, int baud);
