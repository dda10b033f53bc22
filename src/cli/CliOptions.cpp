#include "cli/CliOptions.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <set>

namespace {

struct CommandInfo {
  int minArgs;
  int maxArgs;
  std::set<std::string> options;  // command options it accepts
  const char* help;
};

using CommandTable = std::map<std::string, CommandInfo>;

struct CommandEntry {
  const char* name;
  int minArgs;
  int maxArgs;
  std::set<std::string> options;
  const char* help;
};

CommandTable MakeCommands() {
  const CommandEntry entries[] = {
      {"bootload", 0, 0, std::set<std::string>{},
       "Usage: keston-cli [options] bootload\n"
       "\n"
       "Downloads the talker into the controller and opens the programming\n"
       "connection: the port is opened at the bootstrap rate (\"BSB\", --boot-baud),\n"
       "the loader file (--talker, else the remembered one) is sent after the\n"
       "start byte, its echo is counted, and the port is reopened at the normal\n"
       "rate (\"Normal Baud\", --baud).  Before the download you are asked to reset\n"
       "the controller into bootstrap mode (\"Reset in Bootstrap Mode\"); press\n"
       "Enter when done, or give --no-reset-prompt or --yes.\n"
       "\n"
       "The talker keeps running in the controller after keston-cli exits, so\n"
       "later commands find it there.  Success needs the echo check to pass, the\n"
       "reconnection to succeed and the talker to answer a first read.\n"},
      {"flash", 1, 1,
       std::set<std::string>{"offset", "range", "exclude", "config", "eeprom", "write-all", "no-prefill",
                             "fill", "block-chip", "no-verify"},
       "Usage: keston-cli [options] flash FILE [--offset X] [--range S-F] [--exclude XS-XE]\n"
       "                  [--config V] [--eeprom START:LENGTH] [--write-all]\n"
       "                  [--no-prefill | --fill V] [--block-chip] [--no-verify]\n"
       "\n"
       "Writes the S-record program FILE into the controller, as Flash Controller\n"
       "does: the file is loaded (remembered for quickflash), the range, CONFIG and\n"
       "EEPROM settings are taken from the options, then CONFIG, the internal\n"
       "EEPROM and the flash chip are written.  The erase-first chip must be\n"
       "erased beforehand (keston-cli erase).\n"
       "\n"
       "  --offset X          add X to every record address (Load Offset)\n"
       "  --range S-F         write only S to F (default: the range the file covers)\n"
       "  --exclude XS-XE     leave XS to XE out of the flash passes\n"
       "  --config V          write V to the CONFIG register first\n"
       "  --eeprom START:LENGTH  write the file's bytes of the internal EEPROM window\n"
       "                      that holds START, LENGTH as in the Address Range dialog\n"
       "  --write-all         program the gaps of the file too (Write All Range)\n"
       "  --no-prefill        do not fill the image before loading\n"
       "  --fill V            fill the image with V before loading (default ff)\n"
       "  --block-chip        use the 64-byte block writer (Flash EEPROM CHIP)\n"
       "  --no-verify         do not read the written bytes back (Verify after writing)\n"
       "\n"
       "Without --exclude, --config or --eeprom those steps are left out.  An\n"
       "exclusion never lets a byte inside it be written; an EEPROM START outside\n"
       "the EEPROM window of its page is refused before anything is sent.  The\n"
       "chip identity decides the writer as in the desktop program.  What was\n"
       "written (flash and EEPROM) is read back and compared unless --no-verify:\n"
       "a difference fails the flash with the count and the first address.  With\n"
       "a talker that offers checked block writes every block is read back and\n"
       "compared as it is written, so verifying costs no second pass.  A\n"
       "file with bad records is flashed only after confirmation (--yes).\n"
       "Success: the final status \"Memory written correctly\".\n"},
      {"quickflash", 0, 0, std::set<std::string>{"no-verify"},
       "Usage: keston-cli [options] quickflash [--no-verify]\n"
       "\n"
       "Flashes the program file of the last flash command again, with the\n"
       "remembered settings and without questions, as QuickFlash does.  Fails when\n"
       "the remembered file no longer opens.  What was written is read back and\n"
       "compared unless --no-verify or the last flash switched it off.\n"
       "Success: the final status \"Memory written correctly\".\n"},
      {"read", 2, 2, std::set<std::string>{"exclude", "eeprom", "single-read"},
       "Usage: keston-cli [options] read S-F FILE [--exclude XS-XE] [--eeprom START] [--single-read]\n"
       "\n"
       "Reads the controller's memory from S to F (hexadecimal, both included)\n"
       "and saves it to FILE as S-records, as Save Program does.  Addresses left\n"
       "out by --exclude are saved with the fill value ff.  --eeprom START maps\n"
       "the internal EEPROM into the 4K page of START while reading; without it\n"
       "the EEPROM is switched off.  An existing FILE is replaced only after\n"
       "confirmation (--yes).\n"
       "\n"
       "The range is read twice and compared (--single-read reads it once); a\n"
       "difference is read a third time and a byte is kept when two reads agree,\n"
       "else the read fails naming the address.  A read that does not complete\n"
       "never touches FILE: what was read goes to FILE.partial after\n"
       "confirmation (--yes).\n"
       "Success: the final status \"Program Sucessfully Read!!\".\n"},
      {"erase", 0, 0, std::set<std::string>{},
       "Usage: keston-cli [options] erase\n"
       "\n"
       "Erases the external flash chip (Erase Flash Chip), after the question\n"
       "\"Erase Program?\" (--yes answers it).  The block chip (0xBF/0x07) cannot be\n"
       "erased and needs no erase: \"Can't Erase, Flash EEPROM \" counts as success.\n"},
      {"id", 0, 0, std::set<std::string>{},
       "Usage: keston-cli [options] id\n"
       "\n"
       "Prints the flash chip's manufacturer and device codes and its name.\n"},
      {"write-ram", 2, 3, std::set<std::string>{},
       "Usage: keston-cli [options] write-ram ADDR VALUE [LEN]\n"
       "\n"
       "Writes the byte VALUE to LEN target addresses from ADDR (Write target RAM).\n"
       "Numbers are hexadecimal: ADDR up to ffff, VALUE up to ff, LEN 1 to ffff\n"
       "(default 1); the range must not run past ffff.  The bytes are read back\n"
       "afterwards (outside the register block) and a difference fails the run.\n"
       "Success: the final status \"Ram write Suceeded!\".\n"},
      {"read-mem", 1, 2, std::set<std::string>{"single-read"},
       "Usage: keston-cli [options] read-mem ADDR [LEN] [--single-read]\n"
       "\n"
       "Reads LEN bytes from ADDR one at a time (Read Memory) and prints a hex\n"
       "dump on standard output.  ADDR and LEN are hexadecimal; LEN 1 to ffff,\n"
       "default 1.  Each byte is read twice (--single-read: once), and a third\n"
       "time when the two differ.\n"},
      {"set-eeprom", 2, 3, std::set<std::string>{},
       "Usage: keston-cli [options] set-eeprom ADDR VALUE [LEN]\n"
       "\n"
       "Writes VALUE into the internal EEPROM or the CONFIG register (103f) at\n"
       "ADDR and the LEN - 1 addresses after it (Set Config /EEPROM).  The first\n"
       "address must lie in the EEPROM window of its 4K page or be 103f, and the\n"
       "whole run inside that window (checked before anything is sent); a CONFIG\n"
       "write is always one byte.  The bytes are read back afterwards.  Numbers\n"
       "are hexadecimal, LEN 1 to ffff.\n"
       "Success: the final status \"EEprom write Suceeded!\".\n"},
      {"clear-processor", 0, 0, std::set<std::string>{},
       "Usage: keston-cli [options] clear-processor\n"
       "\n"
       "Bulk-erases the processor's internal EEPROM and CONFIG register (Clear\n"
       "Processor), after the question \"Erase EEPROM and CONFIG?\" (--yes answers it).\n"
       "Success: the final status \"68HC11 is erased!\".\n"},
      {"checksum", 1, 2, std::set<std::string>{"offset", "no-prefill", "fill"},
       "Usage: keston-cli [options] checksum FILE [S-F] [--offset X] [--no-prefill | --fill V]\n"
       "\n"
       "Prints the sum of the big-endian 16-bit words of FILE from S up to F\n"
       "(default: the range the file covers), as Checksum Memory does, in the\n"
       "form \"Checksum 0x 68ac\".  Needs no controller.\n"},
      {"verify", 1, 1, std::set<std::string>{"range", "offset", "single-read"},
       "Usage: keston-cli [options] verify FILE [--range S-F] [--offset X] [--single-read]\n"
       "\n"
       "Reads the controller's memory over the range FILE covers (or S-F) and\n"
       "compares every address the file holds.  Prints the number of differing\n"
       "bytes and the first differing address.  The internal EEPROM is switched\n"
       "off while reading.  The range is read twice and compared as by read\n"
       "(--single-read: once).  Exit status 1 when the memory differs.\n"},
      {"devices", 0, 0, std::set<std::string>{},
       "Usage: keston-cli [options] devices\n"
       "\n"
       "Lists the serial devices present and the device each stored port opens.\n"},
  };
  CommandTable table;
  for (const CommandEntry& e : entries) table[e.name] = CommandInfo{e.minArgs, e.maxArgs, e.options, e.help};
  return table;
}

const CommandTable& Commands() {
  static const CommandTable commands = MakeCommands();
  return commands;
}

// Options that take a value, and whether each is global.
const std::map<std::string, bool>& ValueOptions() {
  static const std::map<std::string, bool> options = {
      {"port", true},     {"device", true},  {"baud", true},    {"boot-baud", true}, {"talker", true},
      {"settings", true}, {"timeout", true}, {"offset", false}, {"range", false},    {"exclude", false},
      {"config", false},  {"eeprom", false}, {"fill", false},    {"fast-baud", true},
  };
  return options;
}

const std::set<std::string>& FlagOptions() {
  static const std::set<std::string> flags = {"yes",       "no-reset-prompt", "quiet",
                                              "verbose",   "bootload",        "help",
                                              "write-all", "no-prefill",      "block-chip",
                                              "no-verify", "single-read", "standard-protocol"};
  return flags;
}

bool IsGlobalFlag(const std::string& name) {
  return name == "yes" || name == "no-reset-prompt" || name == "quiet" || name == "verbose" ||
         name == "bootload" || name == "help" || name == "standard-protocol";
}

bool ApplyValueOption(const std::string& name, const std::string& value, CliOptions& out,
                      std::string& error) {
  long number = 0;
  unsigned hex = 0;
  if (name == "port") {
    if (!ParseDecimalArgument(value, 4, number) || number < 1) {
      error = "--port takes a port number from 1 to 4, not \"" + value + "\"";
      return false;
    }
    out.port = static_cast<int>(number);
  } else if (name == "device") {
    if (value.empty()) {
      error = "--device needs a device path";
      return false;
    }
    out.device = value;
  } else if (name == "baud" || name == "boot-baud") {
    if (!ParseDecimalArgument(value, 4000000, number) || number < 1) {
      error = "--" + name + " takes a line rate in bit/s, not \"" + value + "\"";
      return false;
    }
    (name == "baud" ? out.baud : out.bootBaud) = static_cast<int>(number);
  } else if (name == "fast-baud") {
    if (!ParseDecimalArgument(value, 4000000, number)) {
      error = "--fast-baud takes a line rate in bit/s (0: none), not \"" + value + "\"";
      return false;
    }
    out.fastBaud = static_cast<int>(number);
  } else if (name == "talker") {
    if (value.empty()) {
      error = "--talker needs a loader file";
      return false;
    }
    out.talker = value;
  } else if (name == "settings") {
    if (value.empty()) {
      error = "--settings needs an INI file";
      return false;
    }
    out.settingsFile = value;
  } else if (name == "timeout") {
    if (!ParseDecimalArgument(value, 86400, number)) {
      error = "--timeout takes whole seconds (0 waits for ever), not \"" + value + "\"";
      return false;
    }
    out.timeoutSeconds = static_cast<int>(number);
  } else if (name == "offset") {
    if (!ParseHexArgument(value, 0xFFFF, hex)) {
      error = "--offset takes a hexadecimal offset up to ffff, not \"" + value + "\"";
      return false;
    }
    out.offset = hex;
  } else if (name == "range" || name == "exclude") {
    HexRange r;
    if (!ParseHexRange(value, r)) {
      error = "--" + name + " takes a hexadecimal range FIRST-LAST with FIRST <= LAST <= ffff, not \"" +
              value + "\"";
      return false;
    }
    (name == "range" ? out.range : out.exclude) = r;
  } else if (name == "config") {
    if (!ParseHexArgument(value, 0xFF, hex)) {
      error = "--config takes a hexadecimal byte, not \"" + value + "\"";
      return false;
    }
    out.config = hex;
  } else if (name == "fill") {
    if (!ParseHexArgument(value, 0xFF, hex)) {
      error = "--fill takes a hexadecimal byte, not \"" + value + "\"";
      return false;
    }
    out.fill = hex;
  } else if (name == "eeprom") {
    // flash takes START:LENGTH, read takes START alone; the command check sorts them out.
    size_t colon = value.find(':');
    unsigned start = 0, length = 0;
    if (!ParseHexArgument(value.substr(0, colon), 0xFFFF, start) ||
        (colon != std::string::npos && !ParseHexArgument(value.substr(colon + 1), 0xFFF, length))) {
      error = "--eeprom takes START:LENGTH (flash) or START (read) in hexadecimal, LENGTH up to fff, not \"" +
              value + "\"";
      return false;
    }
    out.eepromStart = start;
    if (colon != std::string::npos) out.eepromLength = length;
  }
  return true;
}

}  // namespace

bool ParseHexArgument(const std::string& text, unsigned max, unsigned& out) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits = digits.substr(2);
  if (digits.empty() || digits.size() > 8) return false;
  unsigned long value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    value =
        value * 16 + static_cast<unsigned long>(std::isdigit(static_cast<unsigned char>(c))
                                                    ? c - '0'
                                                    : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  if (value > max) return false;
  out = static_cast<unsigned>(value);
  return true;
}

bool ParseHexRange(const std::string& text, HexRange& out) {
  size_t dash = text.find('-');
  if (dash == std::string::npos || text.find('-', dash + 1) != std::string::npos) return false;
  HexRange r;
  if (!ParseHexArgument(text.substr(0, dash), 0xFFFF, r.first)) return false;
  if (!ParseHexArgument(text.substr(dash + 1), 0xFFFF, r.last)) return false;
  if (r.first > r.last) return false;
  out = r;
  return true;
}

bool ParseDecimalArgument(const std::string& text, long max, long& out) {
  if (text.empty() || text.size() > 10) return false;
  long value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + (c - '0');
  }
  if (value > max) return false;
  out = value;
  return true;
}

bool IsKnownCommand(const std::string& command) { return Commands().count(command) != 0; }

bool ParseCommandLine(int argc, const char* const* argv, CliOptions& out, std::string& error) {
  std::vector<std::string> commandOptions;  // for the per-command check below
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && (arg == "-h" || arg == "-y" || arg == "-q" || arg == "-v")) {
      arg = arg == "-h" ? "--help" : arg == "-y" ? "--yes" : arg == "-q" ? "--quiet" : "--verbose";
    }
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg.size() > 1)) {
      if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
        error = "unknown option " + arg;
        return false;
      }
      if (out.command.empty())
        out.command = arg;
      else
        out.args.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::string value;
    bool hasValue = false;
    size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (FlagOptions().count(name)) {
      if (hasValue) {
        error = "option --" + name + " takes no value";
        return false;
      }
      if (name == "help") out.help = true;
      if (name == "yes") out.yes = true;
      if (name == "no-reset-prompt") out.noResetPrompt = true;
      if (name == "quiet") out.quiet = true;
      if (name == "verbose") out.verbose = true;
      if (name == "bootload") out.bootload = true;
      if (name == "standard-protocol") out.standardProtocol = true;
      if (name == "write-all") out.writeAll = true;
      if (name == "no-prefill") out.noPrefill = true;
      if (name == "block-chip") out.blockChip = true;
      if (name == "no-verify") out.noVerify = true;
      if (name == "single-read") out.singleRead = true;
      if (!IsGlobalFlag(name)) commandOptions.push_back(name);
      continue;
    }
    auto vo = ValueOptions().find(name);
    if (vo == ValueOptions().end()) {
      error = "unknown option --" + name;
      return false;
    }
    if (!hasValue) {
      if (i + 1 >= argc) {
        error = "option --" + name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (!ApplyValueOption(name, value, out, error)) return false;
    if (!vo->second) commandOptions.push_back(name);
  }

  if (out.help) return true;
  if (out.command == "help") {
    out.help = true;
    if (!out.args.empty()) {
      out.command = out.args.front();
      out.args.clear();
    } else {
      out.command.clear();
    }
    return true;
  }
  if (out.command.empty()) {
    error = "no command given (see keston-cli --help)";
    return false;
  }
  auto it = Commands().find(out.command);
  if (it == Commands().end()) {
    error = "unknown command \"" + out.command + "\" (see keston-cli --help)";
    return false;
  }
  const CommandInfo& info = it->second;
  for (const std::string& name : commandOptions) {
    if (!info.options.count(name)) {
      error = "option --" + name + " does not apply to " + out.command;
      return false;
    }
  }
  if (static_cast<int>(out.args.size()) < info.minArgs || static_cast<int>(out.args.size()) > info.maxArgs) {
    error = "wrong number of arguments for " + out.command + " (see keston-cli " + out.command + " --help)";
    return false;
  }
  if (!out.device.empty() && out.port) {
    error = "give either --port or --device, not both";
    return false;
  }
  if (out.noPrefill && out.fill) {
    error = "give either --no-prefill or --fill, not both";
    return false;
  }
  if (out.eepromStart) {
    if (out.command == "flash" && !out.eepromLength) {
      error = "flash takes --eeprom START:LENGTH";
      return false;
    }
    if (out.command == "read" && out.eepromLength) {
      error = "read takes --eeprom START without a length";
      return false;
    }
  }
  return true;
}

bool CheckCommandArguments(const CliOptions& options, std::vector<unsigned>& numbers, std::string& error) {
  const std::string& c = options.command;
  const std::vector<std::string>& a = options.args;
  auto hex = [&](size_t index, unsigned min, unsigned max, const char* what) {
    unsigned v = 0;
    if (!ParseHexArgument(a[index], max, v) || v < min) {
      char bounds[64];
      std::snprintf(bounds, sizeof bounds, "%x to %x", min, max);
      error = std::string(what) + " must be hexadecimal " + bounds + ", not \"" + a[index] + "\"";
      return false;
    }
    numbers.push_back(v);
    return true;
  };
  if (c == "write-ram" || c == "set-eeprom") {
    if (!hex(0, 0, 0xFFFF, "ADDR") || !hex(1, 0, 0xFF, "VALUE")) return false;
    if (a.size() > 2 && !hex(2, 1, 0xFFFF, "LEN")) return false;
  } else if (c == "read-mem") {
    if (!hex(0, 0, 0xFFFF, "ADDR")) return false;
    if (a.size() > 1 && !hex(1, 1, 0xFFFF, "LEN")) return false;
  } else if (c == "read" || (c == "checksum" && a.size() > 1)) {
    HexRange r;
    const std::string& text = c == "read" ? a[0] : a[1];
    if (!ParseHexRange(text, r)) {
      error = "the range must be hexadecimal FIRST-LAST with FIRST <= LAST <= ffff, not \"" + text + "\"";
      return false;
    }
    numbers.push_back(r.first);
    numbers.push_back(r.last);
  }
  return true;
}

std::string GeneralHelp() {
  return "Usage: keston-cli [options] COMMAND [arguments]\n"
         "\n"
         "Reprograms the engine controller over a serial port from the command line,\n"
         "with the same operations, messages and stored settings as the desktop\n"
         "program (port, rates, loader file, program file and flash settings).\n"
         "\n"
         "Commands:\n"
         "  bootload                 download the talker and open the programming connection\n"
         "  flash FILE [...]         write a program file into the controller\n"
         "  quickflash               flash the last file again with the remembered settings\n"
         "  read S-F FILE [...]      read S to F back and save it as S-records\n"
         "  erase                    erase the flash chip\n"
         "  id                       print the flash chip's identity\n"
         "  write-ram ADDR VALUE [LEN]   fill target memory with a byte\n"
         "  read-mem ADDR [LEN]      print a hex dump of target memory\n"
         "  set-eeprom ADDR VALUE [LEN]  write the internal EEPROM or CONFIG\n"
         "  clear-processor          bulk-erase the internal EEPROM and CONFIG\n"
         "  checksum FILE [S-F]      16-bit word sum of a file (no controller needed)\n"
         "  verify FILE [--range S-F]    compare the controller's memory with a file\n"
         "  devices                  list the serial devices present\n"
         "  help [COMMAND]           this text, or the text of one command\n"
         "\n"
         "Options (before or after the command):\n"
         "  --port N           use the stored port N (1 to 4, the device stored as \"Device N\")\n"
         "  --device PATH      use this serial device\n"
         "  --baud N           normal line rate (default: stored \"Normal Baud\", 9600)\n"
         "  --boot-baud N      bootstrap line rate (default: stored \"BSB\", 1200)\n"
         "  --talker FILE      loader file for the download (default: the remembered one)\n"
         "  --fast-baud N      after the download, move our talker and the port to N\n"
         "                     bit/s (125000 is E/16 at an 8 MHz crystal) when both\n"
         "                     can; 0 stays at the normal rate (default: stored\n"
         "                     \"Fast Baud\", 0).  The talker is back at the normal\n"
         "                     rate when the run ends\n"
         "  --bootload         download the talker before the command; without it every\n"
         "                     command but bootload expects the talker to be running\n"
         "                     already (left by an earlier bootload)\n"
         "  --yes, -y          answer OK/Yes to every question\n"
         "  --no-reset-prompt  do not ask to reset the controller before a download\n"
         "  --timeout S        give up when the controller has not answered for S seconds\n"
         "                     (default 30; 0 waits for ever)\n"
         "  --settings INI     keep the settings in this INI file instead of the store\n"
         "                     shared with the desktop program\n"
         "  --standard-protocol  keep to the standard talker commands even when the\n"
         "                     talker offers the extended protocol.  With it, every\n"
         "                     block read ends in a CRC and a bad block is read again,\n"
         "                     so --single-read costs nothing: the second read is not\n"
         "                     made; every block written is read back and its CRC\n"
         "                     compared, so --no-verify saves nothing either\n"
         "  --quiet, -q        print only results and failures\n"
         "  --verbose, -v      print every status text and dialog answer, and the bytes\n"
         "                     on the wire in hexadecimal, on standard error\n"
         "  --help, -h         this text; with a command, that command's text\n"
         "\n"
         "Numbers: line rates, ports and seconds are decimal; addresses, values,\n"
         "lengths and ranges are hexadecimal, with or without 0x (8000-ffff).\n"
         "Options given here override the stored settings for this run only; the\n"
         "program file of flash and the flash settings are remembered as in the\n"
         "desktop program.\n"
         "\n"
         "Questions (\"Erase Program?\", \"File Exists, Overwrite?\") are asked on the\n"
         "terminal; without a terminal they are declined unless --yes is given.\n"
         "Status texts and messages are printed on standard error as the desktop\n"
         "program shows them, with a progress bar during long transfers (one line\n"
         "per 10% when standard error is not a terminal).  Results (hex dumps,\n"
         "chip identity, checksums, comparisons, devices) go to standard output.\n"
         "\n"
         "Exit status:\n"
         "  0    success\n"
         "  1    verify: the controller's memory differs from the file\n"
         "  2    usage error: unknown command or option, bad number or range\n"
         "  3    file failure: a file could not be read or written, or holds bad records\n"
         "  4    link failure: the port could not be opened, the line was lost, or the\n"
         "       controller did not answer within the time-out\n"
         "  5    target failure: the controller answered but the operation failed\n"
         "  6    not confirmed: a question was declined or could not be asked\n"
         "  130  interrupted (Ctrl-C); the port is closed before exiting\n"
         "Every failure is reported as one line starting with \"keston-cli: \".\n";
}

std::string CommandHelp(const std::string& command) {
  auto it = Commands().find(command);
  if (it == Commands().end()) return std::string();
  return std::string(it->second.help) +
         "\nSee keston-cli --help for the options every command takes and the exit statuses.\n";
}
