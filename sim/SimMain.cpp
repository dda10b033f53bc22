// keston-sim: the virtual controller as a program, for the demo and for
// trying the tool without a controller on the desk.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "sim/SimFiles.h"
#include "sim/VirtualController.h"

namespace {

const char kHelp[] =
    "Usage: keston-sim [options]\n"
    "Runs a simulated engine controller (68HC11 with an external flash chip)\n"
    "behind a pseudo-terminal.  The first line printed is the device to open.\n"
    "\n"
    "Options:\n"
    "  --chip erase-first|block  flash chip: erase-first (identity 01/20, must be\n"
    "                            erased before programming; default) or block\n"
    "                            (identity BF/07, programmed in blocks, refuses erase):\n"
    "                            an Am29F010 or an SST29EE010 on the CPU's bus\n"
    "  --cpu                     run the downloaded loader on the emulated MC68HC11F1\n"
    "                            (boot ROM, SCI, EEPROM, timer, flash chip); the default.\n"
    "                            Download the talker the build assembles\n"
    "                            (firmware/talker/talker.s19 in the build folder)\n"
    "  --model                   answer with the built-in C++ talker model instead of\n"
    "                            the CPU; it runs any loader holding its marker (see\n"
    "                            --signature; examples/stand-in-loader.s19 does)\n"
    "  --crystal HZ              crystal of the emulated CPU (default 8000000; E is a\n"
    "                            quarter of it); the boot ROM listens at E/256 bit/s,\n"
    "                            or at E/1664 (1202 at 8 MHz) after a start byte sent\n"
    "                            at 1200\n"
    "  --boot-baud N             rate of the bootstrap download (default 1200); on the\n"
    "                            CPU only used to spot a host opening to boot\n"
    "  --baud N                  rate of the talker after the download (default 9600);\n"
    "                            on the CPU the talker's own, set when it is built\n"
    "  --erase-ms N              chip erase time of the erase-first chip (default 1000)\n"
    "  --eeprom-ms N             time per byte of the model's EEPROM write (default\n"
    "                            20; the CPU takes what the talker's pulses take)\n"
    "  --pace                    deliver each byte after ten bit times, both ways\n"
    "  --latency-ms N            hand what the target sends to the host in batches, one\n"
    "                            every N ms, as a USB serial adapter's latency timer does\n"
    "  --flash FILE              initial flash contents: S-records (.s19, .srec) or a\n"
    "                            binary image loaded from address 0\n"
    "  --save FILE               write the flash contents to FILE on exit (S-records\n"
    "                            when the name ends in .s19 or .srec, else binary)\n"
    "  --link PATH               keep a symbolic link to the device at PATH\n"
    "  --signature TEXT          model: marker a loader must hold for the talker to\n"
    "                            run (default KESTON-VC-TALKER)\n"
    "  --any-loader              model: run the talker after any download\n"
    "  --no-reset-on-open        opening the line at the bootstrap rate does not reset\n"
    "                            a running target (by default it does)\n"
    "  --fault FAULT             inject a fault at start, as the console's fault\n"
    "                            command (e.g. --fault \"drop 3\"); may be repeated\n"
    "  --exit-on-eof             quit when standard input ends (by default the program\n"
    "                            keeps running, so it can be started in the background)\n"
    "  --help                    show this text\n"
    "\n"
    "Console commands (one per line on standard input):\n"
    "  reset                     reset the target into bootstrap mode\n"
    "  status                    show mode, rates, CONFIG and traffic counts\n"
    "  dump FILE                 write the flash contents to FILE (as --save)\n"
    "  load FILE                 lay a flash image over the flash (as --flash)\n"
    "  fault drop N              lose the next N bytes from the host\n"
    "  fault echo N              spoil the echo of data byte N of the next write\n"
    "  fault complement          answer the next command with a wrong complement\n"
    "  fault stall               stop answering until reset\n"
    "  fault hangup              close the line for good\n"
    "                            (on the CPU, echo N and complement spoil the Nth and\n"
    "                            the next byte the target sends; stall freezes the CPU)\n"
    "  fault random RATE SEED    garble host bytes at random (RATE 0..1; 0 ends it)\n"
    "  regs                      CPU registers and cycle count (not with --model)\n"
    "  trace on|off              one line per instruction: address, bytes, mnemonic,\n"
    "                            registers (not with --model; idle loops shown skipped)\n"
    "  break ADDR|off            halt the CPU before the instruction at ADDR (hex)\n"
    "  continue                  go on from a breakpoint\n"
    "  mem ADDR LEN              show memory as the CPU sees it (hex address and length)\n"
    "  help                      show the console commands\n"
    "  quit                      leave (also SIGINT, SIGTERM)\n";

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  char c = 1;
  ssize_t n = write(g_signalPipe[1], &c, 1);
  (void)n;
}

bool ParseInt(const std::string& text, int low, int high, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= low && value <= high;
}

bool ParseHex(std::string text, unsigned high, unsigned& value) {
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) text.erase(0, 2);
  if (text.empty() || text.size() > 5) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
  return ec == std::errc() && ptr == end && value <= high;
}

bool ParseDouble(const std::string& text, double& value) {
  std::istringstream in(text);
  in >> value;
  return in && in.peek() == EOF;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

const char* ModeName(SimMode mode) {
  switch (mode) {
    case SimMode::Bootstrap:
      return "bootstrap (waiting for the start byte)";
    case SimMode::Downloading:
      return "downloading";
    case SimMode::Talker:
      return "talker running";
    case SimMode::Silent:
      return "silent (the loader is not the talker)";
    case SimMode::Stalled:
      return "stalled";
    case SimMode::HungUp:
      return "hung up";
    case SimMode::Crashed:
      return "crashed (the loader ran into space where nothing answers)";
  }
  return "?";
}

// A fault from its words ("drop 3"); false with a message when malformed.
// Without a controller the words are only checked.
bool ApplyFault(VirtualController* vc, const std::vector<std::string>& w, std::string& message) {
  int n = 0;
  if (w.size() == 2 && w[0] == "drop" && ParseInt(w[1], 1, 1 << 30, n)) {
    if (vc) vc->DropHostBytes(n);
    message = "the next " + w[1] + " host byte(s) will be lost";
  } else if (w.size() == 2 && w[0] == "echo" && ParseInt(w[1], 1, 256, n)) {
    if (vc) vc->CorruptEcho(n);
    message = "the echo of data byte " + w[1] + " of the next write will be wrong";
  } else if (w.size() == 1 && w[0] == "complement") {
    if (vc) vc->WrongComplementNextCommand();
    message = "the next command gets a wrong complement";
  } else if (w.size() == 1 && w[0] == "stall") {
    if (vc) vc->Stall();
    message = "stalled until reset";
  } else if (w.size() == 1 && w[0] == "hangup") {
    if (vc) vc->HangUp();
    message = "the line is closed";
  } else if (w.size() == 3 && w[0] == "random") {
    double rate = 0;
    int seed = 0;
    if (!ParseDouble(w[1], rate) || rate < 0 || rate > 1 || !ParseInt(w[2], 0, 0x7FFFFFFF, seed)) {
      message = "fault random needs a rate from 0 to 1 and a seed, e.g. fault random 0.01 7";
      return false;
    }
    if (vc) vc->SetRandomCorruption(rate, static_cast<uint32_t>(seed));
    message = rate > 0 ? "host bytes are garbled at random" : "random garbling is off";
  } else {
    message = "unknown fault; use drop N, echo N, complement, stall, hangup or random RATE SEED";
    return false;
  }
  return true;
}

// "--fault drop:3" reads like "fault drop 3" on the console.
std::vector<std::string> FaultWords(std::string text) {
  for (char& c : text)
    if (c == ':' || c == '=' || c == ',') c = ' ';
  return Words(text);
}

struct Settings {
  SimOptions options;
  std::string flashFile;
  std::string saveFile;
  std::vector<std::string> faults;
  bool exitOnEof = false;
};

// 0: go on; 1: --help shown; 2: usage error (reported).
int ParseArguments(int argc, char** argv, Settings& s) {
  s.options.resetOnBootstrapRateOpen = true;
  s.options.cpu = true;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "keston-sim: %s needs a value\n", arg.c_str());
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](int low, int high, int& out) {
      std::string text;
      if (!value(text)) return false;
      if (!ParseInt(text, low, high, out)) {
        std::fprintf(stderr, "keston-sim: %s takes a whole number from %d to %d, not \"%s\"\n", arg.c_str(),
                     low, high, text.c_str());
        return false;
      }
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 1;
    } else if (arg == "--chip") {
      if (!value(text)) return 2;
      if (text == "erase-first") {
        s.options.chip = SimChip::EraseFirst;
      } else if (text == "block") {
        s.options.chip = SimChip::Block;
      } else {
        std::fprintf(stderr, "keston-sim: --chip is erase-first or block, not \"%s\"\n", text.c_str());
        return 2;
      }
    } else if (arg == "--boot-baud") {
      if (!number(50, 4000000, s.options.bootstrapBaud)) return 2;
    } else if (arg == "--baud") {
      if (!number(50, 4000000, s.options.normalBaud)) return 2;
    } else if (arg == "--erase-ms") {
      if (!number(0, 600000, s.options.eraseTimeMs)) return 2;
    } else if (arg == "--eeprom-ms") {
      if (!number(0, 10000, s.options.eepromWriteMs)) return 2;
    } else if (arg == "--cpu") {
      s.options.cpu = true;
    } else if (arg == "--model") {
      s.options.cpu = false;
    } else if (arg == "--crystal") {
      int hz = 0;
      if (!number(100000, 40000000, hz)) return 2;
      s.options.crystalHz = hz;
    } else if (arg == "--pace") {
      s.options.pace = true;
    } else if (arg == "--latency-ms") {
      if (!number(0, 1000, s.options.adapterLatencyMs)) return 2;
    } else if (arg == "--flash") {
      if (!value(s.flashFile)) return 2;
    } else if (arg == "--save") {
      if (!value(s.saveFile)) return 2;
    } else if (arg == "--link") {
      if (!value(s.options.symlinkPath)) return 2;
    } else if (arg == "--signature") {
      if (!value(s.options.talkerSignature)) return 2;
    } else if (arg == "--any-loader") {
      s.options.talkerSignature.clear();
    } else if (arg == "--no-reset-on-open") {
      s.options.resetOnBootstrapRateOpen = false;
    } else if (arg == "--fault") {
      if (!value(text)) return 2;
      s.faults.push_back(text);
    } else if (arg == "--exit-on-eof") {
      s.exitOnEof = true;
    } else {
      std::fprintf(stderr, "keston-sim: unknown option \"%s\" (see --help)\n", arg.c_str());
      return 2;
    }
  }
  return 0;
}

void Say(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

void Status(const VirtualController& vc, const Settings& s) {
  size_t fromHost = 0, toHost = 0;
  vc.TrafficCounts(fromHost, toHost);
  char text[512];
  std::snprintf(text, sizeof text,
                "mode: %s\nchip: %s\nlistening at %d bit/s, host at %d bit/s\n"
                "CONFIG %02X, loader %zu bytes\nbytes from host %zu, to host %zu",
                ModeName(vc.Mode()),
                s.options.chip == SimChip::EraseFirst ? "erase-first (01/20)" : "block (BF/07)",
                vc.ListeningBaud(), vc.HostBaud(), vc.Config(), vc.LoaderBytes().size(), fromHost, toHost);
  Say(text);
  if (vc.UsesCpu()) Say(vc.CpuStatus());
}

// Returns false when the console asks to quit.
bool Command(VirtualController& vc, const Settings& s, const std::string& line) {
  auto w = Words(line);
  if (w.empty()) return true;
  std::string message;
  if (w[0] == "quit" || w[0] == "exit") return false;
  if (w[0] == "help" && w.size() == 1) {
    const char* console = std::strstr(kHelp, "Console commands");
    Say(console ? std::string(console) : std::string(kHelp));
  } else if (w[0] == "reset" && w.size() == 1) {
    vc.ResetIntoBootstrap();
    Say("reset into bootstrap mode");
  } else if (w[0] == "status" && w.size() == 1) {
    Status(vc, s);
  } else if (w[0] == "dump" && w.size() == 2) {
    SaveFlashFile(w[1], vc.Flash(), message);
    Say(message);
  } else if (w[0] == "load" && w.size() == 2) {
    auto flash = vc.Flash();
    if (LoadFlashFile(w[1], flash, message)) vc.LoadFlash(flash);
    Say(message);
  } else if (!vc.UsesCpu() && (w[0] == "regs" || w[0] == "trace" || w[0] == "break" || w[0] == "continue")) {
    Say("\"" + w[0] + "\" needs the emulated CPU (started with --model, keston-sim has none)");
  } else if (w[0] == "regs" && w.size() == 1) {
    Say(vc.CpuRegisters());
  } else if (w[0] == "trace" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
    vc.SetCpuTrace(w[1] == "on");
    Say(std::string("trace ") + w[1]);
  } else if (w[0] == "break" && w.size() == 2) {
    unsigned address = 0;
    if (w[1] == "off") {
      vc.SetBreakpoint(-1);
      Say("breakpoint cleared");
    } else if (ParseHex(w[1], 0xFFFF, address)) {
      vc.SetBreakpoint(static_cast<int>(address));
      Say("breakpoint at " + w[1]);
    } else {
      Say("break takes a hex address (e.g. break 0010) or off");
    }
  } else if (w[0] == "continue" && w.size() == 1) {
    vc.ContinueCpu();
    Say("continuing");
  } else if (w[0] == "mem" && w.size() == 3) {
    unsigned address = 0, length = 0;
    if (!ParseHex(w[1], 0xFFFF, address) || !ParseHex(w[2], 0x10000, length)) {
      Say("mem takes a hex address and a hex length, e.g. mem 0000 40");
    } else {
      std::string out;
      for (unsigned i = 0; i < length; i += 16) {
        char line[96];
        int at = std::snprintf(line, sizeof line, "%04X:", (address + i) & 0xFFFF);
        for (unsigned j = i; j < length && j < i + 16; ++j)
          at += std::snprintf(line + at, sizeof line - at, " %02X", vc.Read((address + j) & 0xFFFF));
        out += line;
        if (i + 16 < length) out += "\n";
      }
      Say(out);
    }
  } else if (w[0] == "fault" && w.size() >= 2) {
    ApplyFault(&vc, std::vector<std::string>(w.begin() + 1, w.end()), message);
    Say(message);
  } else {
    Say("unknown command \"" + line + "\"; type help for the list");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  int parsed = ParseArguments(argc, argv, settings);
  if (parsed == 1) return 0;
  if (parsed == 2) return 2;

  std::vector<uint8_t> flash(0x10000, 0xFF);
  std::string message;
  if (!settings.flashFile.empty()) {
    if (!LoadFlashFile(settings.flashFile, flash, message)) {
      std::fprintf(stderr, "keston-sim: %s\n", message.c_str());
      return 1;
    }
  }
  VirtualController vc(settings.options);
  vc.LoadFlash(flash);
  // Checked before the start, so a typing error costs no session.
  for (const auto& fault : settings.faults) {
    if (!ApplyFault(nullptr, FaultWords(fault), message)) {
      std::fprintf(stderr, "keston-sim: --fault \"%s\": %s\n", fault.c_str(), message.c_str());
      return 2;
    }
  }

  if (pipe2(g_signalPipe, O_CLOEXEC) != 0) {
    std::perror("keston-sim: pipe");
    return 1;
  }
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (!vc.Start()) {
    std::fprintf(stderr, "keston-sim: cannot create the pseudo-terminal%s\n",
                 settings.options.symlinkPath.empty() ? ""
                                                      : (" or the link " + settings.options.symlinkPath +
                                                         " (an existing file is never replaced)")
                                                            .c_str());
    return 1;
  }
  std::string device = vc.SlavePath();
  if (!settings.options.symlinkPath.empty()) {
    char target[256];
    ssize_t n = readlink(device.c_str(), target, sizeof target - 1);
    if (n > 0) device.assign(target, static_cast<size_t>(n));
  }
  Say(device);
  if (!settings.options.symlinkPath.empty()) Say("link: " + settings.options.symlinkPath);
  if (!settings.flashFile.empty()) Say(message);

  for (const auto& fault : settings.faults) {
    ApplyFault(&vc, FaultWords(fault), message);
    Say(message);
  }

  int status = 0;
  bool stdinOpen = true;
  std::string pending;
  while (status == 0) {
    pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    // With the CPU, crash reports and trace lines are collected every 50 ms.
    int r = poll(fds, stdinOpen ? 2 : 1, vc.UsesCpu() ? 50 : -1);
    if (vc.UsesCpu()) {
      auto messages = vc.TakeCpuMessages();
      if (!messages.empty()) {
        std::string text;
        for (const auto& m : messages) text += m + "\n";
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
      }
    }
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;  // SIGINT or SIGTERM
    if (!stdinOpen || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[1024];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      stdinOpen = false;
      if (!pending.empty() && !Command(vc, settings, pending)) break;
      pending.clear();
      if (settings.exitOnEof) break;
      continue;
    }
    pending.append(buffer, static_cast<size_t>(n));
    bool quit = false;
    for (size_t nl; !quit && (nl = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, nl);
      pending.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      quit = !Command(vc, settings, line);
    }
    if (quit) break;
  }

  auto finalFlash = vc.Flash();
  vc.Stop();
  if (!settings.saveFile.empty()) {
    bool saved = SaveFlashFile(settings.saveFile, finalFlash, message);
    std::fprintf(saved ? stdout : stderr, "%s%s\n", saved ? "" : "keston-sim: ", message.c_str());
    if (!saved && status == 0) status = 1;
  }
  return status;
}
