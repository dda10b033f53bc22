// keston-convert: converts a program image between S-record, binary and
// hex-dump files, the forms chosen by the names' extensions.
#pragma once

// Process exit status: 0 when the conversion was made, 1 otherwise.
int ConsoleMain(int argc, char** argv);
// The usage text, on standard error.
void PrintUsage();
