// The remembered folder and name of the program-file choosers.
#pragma once

#include <string>

// The folder a chooser opens in before anything was remembered: the user's
// home folder, ending in '/'.
std::string DefaultFileFolder();

// Forgets the in-memory copies of the load and checksum choosers, as a fresh
// start of the program would; the settings store is untouched.
void ForgetRememberedFiles();
