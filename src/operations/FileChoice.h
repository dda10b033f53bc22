// Choosing program files, with the folder and name of the last choice kept in
// section "file" so that the next dialog opens where the user left off.
#pragma once

#include <cstdio>
#include <istream>
#include <memory>
#include <string>

class CProgrammer;
class CSaveFile;

// The folder a chooser opens in before anything was remembered: the user's
// home folder, ending in '/'.
std::string DefaultFileFolder();

// Forgets the in-memory copies of the load and checksum choosers, as a fresh
// start of the program would; the settings store is untouched.
void ForgetRememberedFiles();

// What the load and checksum choosers remember of a file the user picked,
// for callers that are given the file instead (keston-cli).
void RememberLoadFile(const std::string& fullPath);
void RememberChecksumFile(const std::string& fullPath);

// The program file to load: with `quick` the file chosen last when it still
// opens, else the user's choice ("Select file name to Load").  Null when no
// file was opened; `chosenPath` gets the file's full path.
std::unique_ptr<std::istream> ChooseLoadFile(bool quick, std::string* chosenPath = nullptr);
// The file whose checksum is wanted; null when none.
FILE* ChooseChecksumFile();
// The name to save a program under ("Select file name to Save Program");
// false when the user cancelled.  Nothing is created or asked about.
bool ChooseSaveName(std::string& path);
// A new file beside the chosen one that replaces it only when complete
// (SaveFile.h); null when nothing was chosen, the overwrite was declined or
// the file could not be created (said in a box).
std::unique_ptr<CSaveFile> ChooseSaveFile();
// "Get File to Load", the chooser, the Load Offset dialog (not with `quick`)
// and the S-record reader into `image`.  1 when a file was read, 0 when none
// was opened.
int LoadImageFromFile(CProgrammer& image, bool quick, std::string* chosenPath = nullptr);
