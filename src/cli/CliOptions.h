// The command line of keston-cli: global options, one command, its
// arguments and its own options, and the help texts that document them.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct HexRange {
  unsigned first = 0;
  unsigned last = 0;
};

struct CliOptions {
  // ---- global ----
  std::optional<int> port;  // 1..4, the device stored as "Device N"
  std::string device;       // a device path instead of a stored port
  std::optional<int> baud;
  std::optional<int> bootBaud;
  std::optional<int> fastBaud;  // the rate switch after a download; 0: none
  std::string talker;
  std::string settingsFile;  // an INI file instead of the shared store
  bool yes = false;
  bool noResetPrompt = false;
  bool quiet = false;
  bool verbose = false;
  bool bootload = false;    // download the talker before the command
  bool standardProtocol = false;  // never the extended protocol, even when offered
  int timeoutSeconds = 30;  // 0 waits for ever, as the desktop program does
  bool help = false;

  // ---- command ----
  std::string command;
  std::vector<std::string> args;

  // ---- command options ----
  std::optional<unsigned> offset;
  std::optional<HexRange> range;
  std::optional<HexRange> exclude;
  std::optional<unsigned> config;
  std::optional<unsigned> eepromStart;
  std::optional<unsigned> eepromLength;
  bool writeAll = false;
  bool noPrefill = false;
  std::optional<unsigned> fill;
  bool blockChip = false;
  bool noVerify = false;    // flash: no read-back after writing
  bool singleRead = false;  // read, verify, read-mem: one read, not two
};

// Fills `out` from argv.  Returns false with a one-line reason in `error`.
bool ParseCommandLine(int argc, const char* const* argv, CliOptions& out, std::string& error);

// Checks the command's positional arguments and converts them where the
// command takes numbers; the converted values are returned through `numbers`
// (address, value, length as given; absent ones are not added).
bool CheckCommandArguments(const CliOptions& options, std::vector<unsigned>& numbers, std::string& error);

// Hexadecimal number with an optional 0x, no other characters, at most `max`.
bool ParseHexArgument(const std::string& text, unsigned max, unsigned& out);
// "S-F" in hexadecimal with S <= F <= ffff.
bool ParseHexRange(const std::string& text, HexRange& out);
// Positive decimal number of at most `max`.
bool ParseDecimalArgument(const std::string& text, long max, long& out);

bool IsKnownCommand(const std::string& command);
std::string GeneralHelp();
// Empty when the command is unknown.
std::string CommandHelp(const std::string& command);
