#include "converter/ConsoleMain.h"

#include <cstdio>
#include <string>

#include "image/Programmer.h"
#include "shell/Paths.h"

namespace {

// The converter's one image.  It starts as zero bytes and never pre-fills, so
// addresses the input does not cover are written out as 0x00.
CProgrammer g_consoleProgrammer;

// The name's extension, from its last '.' on, case kept.  Only the last path
// component counts: a dot in a folder name is not an extension.
std::string Extension(const std::string& name) {
  size_t slash = LastPathSeparator(name);
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot < base) return std::string();
  return name.substr(dot);
}

// One blank-delimited word from standard input; empty at end of input.
std::string ReadWord() {
  std::string word;
  int c = std::getchar();
  while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') c = std::getchar();
  while (c != EOF && c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') {
    word.push_back(static_cast<char>(c));
    c = std::getchar();
  }
  return word;
}

int ReadInput(CProgrammer& prog, const std::string& name) {
  std::string ext = Extension(name);
  bool text = ext == ".s19";
  if (!text && ext != ".bin" && ext != ".boo") {
    PrintUsage();
    return 0;
  }
  FILE* file = std::fopen(name.c_str(), text ? "r" : "rb");
  if (!file) {
    std::fprintf(stderr, "\nCannot open input input file %s", name.c_str());
    PrintUsage();
    return 0;
  }
  if (text) {
    prog.ReadSRecordFile(file);
  } else {
    prog.ReadBinaryFile(file);
  }
  // A folder, or a device that fails mid-way, opens but cannot be read: the
  // image would be empty or partial, so nothing is converted.
  bool readFailed = std::ferror(file) != 0;
  std::fclose(file);
  if (readFailed) {
    std::fprintf(stderr, "\nCannot read input file %s\n", name.c_str());
    return 0;
  }
  return 1;
}

int WriteOutput(CProgrammer& prog, const std::string& name) {
  std::string ext = Extension(name);
  enum { kSRecords, kBinary, kHexDump } form;
  if (ext == ".s19") {
    form = kSRecords;
  } else if (ext == ".bin") {
    form = kBinary;
  } else if (ext == ".hex") {
    form = kHexDump;
  } else {
    std::fprintf(stderr, "\nUnknown output file type %s\n", name.c_str());
    PrintUsage();
    return 0;
  }
  FILE* file = std::fopen(name.c_str(), form == kHexDump ? "w" : "wb");
  if (!file) {
    std::fprintf(stderr, "\nCannot open output file %s\n", name.c_str());
    return 0;
  }
  int ok = 0;
  switch (form) {
    case kSRecords:
      ok = prog.WriteSRecords(file, 0x0000, 0xFFFF);
      break;
    case kBinary:
      ok = prog.WriteBinaryImage(file);
      break;
    case kHexDump:
      ok = prog.WriteHexDump(file);
      break;
  }
  if (std::fclose(file) != 0) ok = 0;
  if (!ok) {
    std::fprintf(stderr, "\nCannot write output file %s\n", name.c_str());
    return 0;
  }
  return 1;
}

}  // namespace

void PrintUsage() {
  std::fputs(
      "\n\nUsage:\n"
      "flash <input.bin or S19> <output. bin, hex, or s19 (opt) <filename\n"
      "  where input is a binary or Motorola hex file\n"
      "\t\t  output is a binary, Motorola hex, or plain hex file\n"
      "        > filename.txt will redirect the screen output to that file",
      stderr);
}

int ConsoleMain(int argc, char** argv) {
  // The converter is the one program that shows the readers' record trace.
  SetRecordTrace(true);
  std::string inName, outName;
  bool haveOutput = true;
  if (argc >= 3) {
    inName = argv[1];
    outName = argv[2];
  } else if (argc == 2) {
    // The output is optional: one name reads and traces the input alone.
    inName = argv[1];
    haveOutput = false;
  } else {
    std::fputs("\nEnter Input FIle Name: ", stdout);
    std::fflush(stdout);
    inName = ReadWord();
    std::fputs("\nEnter Output File Name: ", stdout);
    std::fflush(stdout);
    outName = ReadWord();
  }

  if (!ReadInput(g_consoleProgrammer, inName)) return 1;
  // An output name without an extension asks for the trace alone.
  if (!haveOutput || Extension(outName).empty()) return 0;
  return WriteOutput(g_consoleProgrammer, outName) ? 0 : 1;
}
