// The Windows side of keston-cli's main(): the console's Ctrl-C, Ctrl-Break
// and close events, and standard output.  <windows.h> stays in the .cpp: its
// macros clash with names of the shell seam that main() includes.
#pragma once

// Ctrl-C, Ctrl-Break and closing the console call `interrupt` while
// `letThrough` says no; once it says yes the system's default (ending the
// process) takes over.  Both run on a thread the system starts for the event.
void InstallConsoleInterrupts(void (*interrupt)(), bool (*letThrough)());
