// keston-cli as a user runs it: a separate process talking over a real
// pseudo-terminal to keston-sim, another process.  Assertions are on exit
// statuses, what the two programs print, the files written and the
// controller's flash as keston-sim dumps it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "image/Programmer.h"

namespace fs = std::filesystem;

namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

pid_t Spawn(const std::vector<std::string>& argv, int in, int out, int err) {
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// Runs keston-cli to its end with standard input on /dev/null (no terminal,
// so questions are declined unless --yes).  `onErr` sees the standard error
// gathered so far each time more arrives.
Result RunCli(const std::vector<std::string>& args,
              const std::function<void(const std::string&, pid_t)>& onErr = nullptr,
              double timeoutSeconds = 240) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  int devNull = open("/dev/null", O_RDONLY);
  std::vector<std::string> argv = {KESTON_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = Spawn(argv, devNull, outPipe[1], errPipe[1]);
  close(devNull);
  close(outPipe[1]);
  close(errPipe[1]);
  Result r;
  bool outOpen = true, errOpen = true;
  const double deadline = Now() + timeoutSeconds;
  while (outOpen || errOpen) {
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int n = poll(fds, 2, 200);
    if (Now() > deadline) {
      kill(pid, SIGKILL);
      ADD_FAILURE() << "keston-cli did not end within " << timeoutSeconds << " s";
      break;
    }
    if (n <= 0) continue;
    char buffer[4096];
    if (outOpen && (fds[0].revents & (POLLIN | POLLHUP))) {
      ssize_t got = read(outPipe[0], buffer, sizeof buffer);
      if (got <= 0)
        outOpen = false;
      else
        r.out.append(buffer, static_cast<size_t>(got));
    }
    if (errOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
      ssize_t got = read(errPipe[0], buffer, sizeof buffer);
      if (got <= 0) {
        errOpen = false;
      } else {
        r.err.append(buffer, static_cast<size_t>(got));
        if (onErr) onErr(r.err, pid);
      }
    }
  }
  close(outPipe[0]);
  close(errPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

// Runs keston-cli with standard input and standard error on a terminal of
// its own, as a user at a console has them; `onTerminal` sees what the
// terminal showed so far and may type into it.
Result RunCliOnTerminal(const std::vector<std::string>& args,
                        const std::function<void(const std::string&, int)>& onTerminal) {
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
  int outPipe[2];
  if (pipe(outPipe) != 0) return {};
  std::vector<std::string> argv = {KESTON_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = Spawn(argv, slave, outPipe[1], slave);
  close(slave);
  close(outPipe[1]);
  Result r;
  const double deadline = Now() + 90;
  bool termOpen = true, outOpen = true;
  while ((termOpen || outOpen) && Now() < deadline) {
    pollfd fds[2] = {{master, POLLIN, 0}, {outPipe[0], POLLIN, 0}};
    if (poll(fds, 2, 200) <= 0) continue;
    char buffer[4096];
    if (termOpen && fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t got = read(master, buffer, sizeof buffer);
      if (got <= 0) {
        termOpen = false;  // EIO once the program has ended
      } else {
        r.err.append(buffer, static_cast<size_t>(got));
        if (onTerminal) onTerminal(r.err, master);
      }
    }
    if (outOpen && fds[1].revents & (POLLIN | POLLHUP)) {
      ssize_t got = read(outPipe[0], buffer, sizeof buffer);
      if (got <= 0)
        outOpen = false;
      else
        r.out.append(buffer, static_cast<size_t>(got));
    }
  }
  if (Now() >= deadline) kill(pid, SIGKILL);
  close(master);
  close(outPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

// KESTON_RIG=cpu: keston-sim runs the downloaded talker.s19 on its emulated
// MC68HC11F1 (its default); otherwise its C++ talker model answers.
bool OnCpu() {
  const char* rig = std::getenv("KESTON_RIG");
  return rig && std::string(rig) == "cpu";
}

// keston-sim on a pseudo-terminal of its own, driven through its console.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> options) {
    int inPipe[2], outPipe[2];
    if (pipe(inPipe) != 0 || pipe(outPipe) != 0) return;
    std::vector<std::string> argv = {KESTON_SIM_PATH, OnCpu() ? "--cpu" : "--model", "--erase-ms", "20",
                                     "--eeprom-ms", "1"};
    argv.insert(argv.end(), options.begin(), options.end());
    int errFd = open("/dev/null", O_WRONLY);
    m_pid = Spawn(argv, inPipe[0], outPipe[1], errFd);
    close(errFd);
    close(inPipe[0]);
    close(outPipe[1]);
    m_in = inPipe[1];
    m_out = outPipe[0];
    device = ReadLine(30);
  }
  ~SimProcess() {
    if (m_in >= 0) {
      Send("quit");
      close(m_in);
    }
    int status = 0;
    for (int i = 0; i < 100 && m_pid > 0; ++i) {
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        break;
      }
      usleep(50000);
    }
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
    }
    if (m_out >= 0) close(m_out);
  }

  // A console command and the one line it answers with.
  std::string Command(const std::string& line) {
    Send(line);
    return ReadLine(30);
  }
  void Send(const std::string& line) {
    std::string text = line + "\n";
    ssize_t n = write(m_in, text.data(), text.size());
    (void)n;
  }

  std::vector<uint8_t> Flash(const fs::path& scratch) {
    fs::path dump = scratch / "flash-dump.bin";
    Command("dump " + dump.string());
    std::ifstream in(dump, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::string device;

 private:
  std::string ReadLine(double timeoutSeconds) {
    const double deadline = Now() + timeoutSeconds;
    while (Now() < deadline) {
      size_t nl = m_buffer.find('\n');
      if (nl != std::string::npos) {
        std::string line = m_buffer.substr(0, nl);
        m_buffer.erase(0, nl + 1);
        return line;
      }
      pollfd fd = {m_out, POLLIN, 0};
      if (poll(&fd, 1, 200) > 0) {
        char buffer[1024];
        ssize_t got = read(m_out, buffer, sizeof buffer);
        if (got <= 0) break;
        m_buffer.append(buffer, static_cast<size_t>(got));
      }
    }
    return std::string();
  }

  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
  std::string m_buffer;
};

// A program file: S1 records of 32 bytes for each block of data.
void WriteProgram(const fs::path& path, const std::map<unsigned, std::vector<uint8_t>>& blocks) {
  std::ofstream out(path);
  out << "S00600004844521B\n";
  for (const auto& [start, bytes] : blocks) {
    for (size_t i = 0; i < bytes.size(); i += 32) {
      size_t n = std::min<size_t>(32, bytes.size() - i);
      unsigned address = start + static_cast<unsigned>(i);
      unsigned sum = static_cast<unsigned>(n + 3) + (address >> 8) + (address & 0xFF);
      char text[16];
      std::snprintf(text, sizeof text, "S1%02X%04X", static_cast<unsigned>(n + 3), address);
      out << text;
      for (size_t j = 0; j < n; ++j) {
        std::snprintf(text, sizeof text, "%02X", bytes[i + j]);
        out << text;
        sum += bytes[i + j];
      }
      std::snprintf(text, sizeof text, "%02X\n", ~sum & 0xFF);
      out << text;
    }
  }
  out << "S9030000FC\n";
}

std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + seed * 13 + (i >> 8)) & 0xFF);
  return bytes;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The last line of standard error: where the one failure line must be.
std::string LastLine(const std::string& text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  size_t nl = t.rfind('\n');
  return nl == std::string::npos ? t : t.substr(nl + 1);
}

class CliProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/keston-cli-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    m_loader = OnCpu() ? fs::path(KESTON_TALKER_DIR) / "talker.s19"
                       : fs::path(std::getenv("KESTON_SOURCE_DIR") ? std::getenv("KESTON_SOURCE_DIR")
                                                                   : KESTON_SOURCE_FALLBACK) /
                             "examples" / "stand-in-loader.s19";
    ASSERT_TRUE(fs::exists(m_loader)) << m_loader;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }

  // Options every run against `sim` takes: its device, a settings file of
  // the test's own, and a time-out short enough for a stalled controller.
  std::vector<std::string> With(const SimProcess& sim, std::vector<std::string> args) {
    std::vector<std::string> all = {
        "--settings", (m_dir / "settings.ini").string(), "--device", sim.device, "--timeout", "20"};
    all.insert(all.end(), args.begin(), args.end());
    return all;
  }

  void BootLoad(const SimProcess& sim) {
    Result r = RunCli(With(sim, {"--talker", m_loader.string(), "--no-reset-prompt", "bootload"}));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(Contains(r.err, "Bootload Verified!.")) << r.err;
    ASSERT_TRUE(Contains(r.err, "Controller Connection Good, Expanded mode")) << r.err;
  }

  fs::path m_dir;
  fs::path m_loader;
};

TEST_F(CliProcessTest, BootLoadEraseFlashReadBackAndCompare) {
  SimProcess sim({});
  ASSERT_FALSE(sim.device.empty());
  BootLoad(sim);

  // Two blocks with a gap, so the unwritten addresses stay erased.
  std::map<unsigned, std::vector<uint8_t>> blocks = {{0x8000, Pattern(0x300, 1)},
                                                     {0x9000, Pattern(0x100, 2)}};
  fs::path program = m_dir / "program.s19";
  WriteProgram(program, blocks);

  Result erase = RunCli(With(sim, {"--yes", "erase"}));
  ASSERT_EQ(erase.status, 0) << erase.err;
  EXPECT_TRUE(Contains(erase.err, "AMD chip is erased!")) << erase.err;

  Result flash = RunCli(With(sim, {"flash", program.string()}));
  ASSERT_EQ(flash.status, 0) << flash.err;
  EXPECT_TRUE(Contains(flash.err, "Memory written correctly")) << flash.err;
  // Off a terminal the progress comes as one line per 10%.
  EXPECT_TRUE(Contains(flash.err, "Writing Flash")) << flash.err;

  std::vector<uint8_t> chip = sim.Flash(m_dir);
  ASSERT_EQ(chip.size(), 0x10000u);
  for (const auto& [start, bytes] : blocks)
    for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(chip[start + i], bytes[i]) << std::hex << start + i;
  EXPECT_EQ(chip[0x8300], 0xFF);
  EXPECT_EQ(chip[0x8FFF], 0xFF);

  fs::path back = m_dir / "back.s19";
  Result read = RunCli(With(sim, {"read", "8000-90ff", back.string()}));
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_TRUE(Contains(read.err, "Program Sucessfully Read!!")) << read.err;
  // The closing step names the last address read, not the one before it.
  EXPECT_TRUE(Contains(read.err, "Reading Memory 100%  0x90ff")) << read.err;
  CProgrammer readBack;
  FILE* f = std::fopen(back.c_str(), "r");
  ASSERT_NE(f, nullptr);
  readBack.ReadSRecordFile(f);
  std::fclose(f);
  EXPECT_EQ(readBack.m_badRecords, 0);
  EXPECT_EQ(readBack.m_lowest, 0x8000u);
  EXPECT_EQ(readBack.m_highest, 0x90FFu);
  for (unsigned a = 0x8000; a <= 0x90FF; ++a) ASSERT_EQ(readBack.GetImageByte(a), chip[a]) << std::hex << a;

  Result verify = RunCli(With(sim, {"verify", program.string()}));
  EXPECT_EQ(verify.status, 0) << verify.err;
  EXPECT_TRUE(Contains(verify.out, "1024 bytes of")) << verify.out;

  // Reading onto an existing file needs a yes; without one nothing is replaced.
  auto before = fs::file_size(back);
  Result again = RunCli(With(sim, {"read", "8000-80ff", back.string()}));
  EXPECT_EQ(again.status, 6) << again.err;
  EXPECT_EQ(fs::file_size(back), before);
  EXPECT_TRUE(Contains(LastLine(again.err), "File Exists, Overwrite?")) << again.err;
}

TEST_F(CliProcessTest, MemoryToolsIdChecksumAndQuickFlash) {
  SimProcess sim({});
  BootLoad(sim);

  Result id = RunCli(With(sim, {"id"}));
  ASSERT_EQ(id.status, 0) << id.err;
  EXPECT_EQ(id.out, "manufacturer 0x01, device 0x20: AMD29F010\n");

  // In the RAM above a talker's code (the page buffer of ours, used only
  // while it writes a block).
  Result ram = RunCli(With(sim, {"write-ram", "0x380", "a5", "4"}));
  ASSERT_EQ(ram.status, 0) << ram.err;
  EXPECT_TRUE(Contains(ram.err, "Ram write Suceeded!")) << ram.err;
  Result dump = RunCli(With(sim, {"read-mem", "37e", "8"}));
  ASSERT_EQ(dump.status, 0) << dump.err;
  ASSERT_EQ(dump.out.substr(0, 5), "037e:") << dump.out;
  EXPECT_EQ(dump.out.substr(11, 12), " a5 a5 a5 a5") << dump.out;

  // More bytes than the pane keeps lines: the dump still has every one.
  Result longDump = RunCli(With(sim, {"read-mem", "300", "140"}));
  ASSERT_EQ(longDump.status, 0) << longDump.err;
  size_t lines = std::count(longDump.out.begin(), longDump.out.end(), '\n');
  EXPECT_EQ(lines, 20u) << longDump.out;
  size_t row = longDump.out.find("\n0380:");
  ASSERT_NE(row, std::string::npos) << longDump.out;
  EXPECT_EQ(longDump.out.substr(row + 6, 12), " a5 a5 a5 a5") << longDump.out;
  EXPECT_NE(longDump.out.find("\n0430:"), std::string::npos) << longDump.out;

  // The EEPROM of page 4 is mapped by the write and stays mapped for the read.
  Result eeprom = RunCli(With(sim, {"set-eeprom", "4e10", "5a", "2"}));
  ASSERT_EQ(eeprom.status, 0) << eeprom.err;
  EXPECT_TRUE(Contains(eeprom.err, "EEprom write Suceeded!")) << eeprom.err;
  Result cells = RunCli(With(sim, {"read-mem", "4e0f", "4"}));
  ASSERT_EQ(cells.status, 0) << cells.err;
  EXPECT_EQ(cells.out.substr(0, 18), "4e0f: ff 5a 5a ff ") << cells.out;

  // Without --yes and no terminal to ask on, nothing is erased.
  Result declined = RunCli(With(sim, {"clear-processor"}));
  EXPECT_EQ(declined.status, 6) << declined.err;
  EXPECT_TRUE(Contains(LastLine(declined.err), "Erase EEPROM and CONFIG?")) << declined.err;
  Result still = RunCli(With(sim, {"read-mem", "4e10", "1"}));
  EXPECT_EQ(still.out.substr(0, 8), "4e10: 5a") << still.out;
  Result clear = RunCli(With(sim, {"--yes", "clear-processor"}));
  EXPECT_EQ(clear.status, 0) << clear.err;
  EXPECT_TRUE(Contains(clear.err, "68HC11 is erased!")) << clear.err;

  // Words 0x1234 and 0x5678: the example sum of the checksum command.
  fs::path small = m_dir / "small.s19";
  WriteProgram(small, {{0x8000, {0x12, 0x34, 0x56, 0x78}}});
  Result sum = RunCli(With(sim, {"checksum", small.string()}));
  ASSERT_EQ(sum.status, 0) << sum.err;
  EXPECT_EQ(sum.out, "Checksum 0x 68ac\n");
  Result part = RunCli(With(sim, {"checksum", small.string(), "8000-8002"}));
  EXPECT_EQ(part.out, "Checksum 0x 1234\n");

  // quickflash reuses the file the last flash chose, from its own folder.
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  Result flash = RunCli(With(sim, {"flash", small.string()}));
  ASSERT_EQ(flash.status, 0) << flash.err;
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  Result quick = RunCli(With(sim, {"quickflash"}));
  ASSERT_EQ(quick.status, 0) << quick.err;
  EXPECT_TRUE(Contains(quick.err, "Memory written correctly")) << quick.err;
  std::vector<uint8_t> chip = sim.Flash(m_dir);
  ASSERT_GE(chip.size(), 0x8004u);
  EXPECT_EQ(chip[0x8000], 0x12);
  EXPECT_EQ(chip[0x8003], 0x78);
}

TEST_F(CliProcessTest, FlashOptionsReachTheAddressRangeAndLoadOffsetDialogs) {
  SimProcess sim({});
  BootLoad(sim);
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  std::vector<uint8_t> bytes = Pattern(0x100, 8);
  fs::path program = m_dir / "range.s19";
  WriteProgram(program, {{0x8000, bytes}});

  // Loaded 0x1000 higher, with 9040-907f left out and CONFIG written first.
  Result flash = RunCli(
      With(sim, {"flash", program.string(), "--offset", "1000", "--exclude", "9040-907f", "--config", "0d"}));
  ASSERT_EQ(flash.status, 0) << flash.err;
  EXPECT_TRUE(Contains(flash.err, "Writing Config")) << flash.err;
  std::vector<uint8_t> chip = sim.Flash(m_dir);
  ASSERT_EQ(chip.size(), 0x10000u);
  for (unsigned i = 0; i < 0x100; ++i) {
    bool excluded = i >= 0x40 && i <= 0x7F;
    ASSERT_EQ(chip[0x9000 + i], excluded ? 0xFF : bytes[i]) << std::hex << 0x9000 + i;
  }
  EXPECT_EQ(chip[0x8000], 0xFF);

  // Read back with the same hole: the saved file holds the fill value there.
  fs::path back = m_dir / "hole.s19";
  Result read = RunCli(With(sim, {"read", "9000-90ff", back.string(), "--exclude", "9040-907f"}));
  ASSERT_EQ(read.status, 0) << read.err;
  CProgrammer saved;
  FILE* f = std::fopen(back.c_str(), "r");
  ASSERT_NE(f, nullptr);
  saved.ReadSRecordFile(f);
  std::fclose(f);
  EXPECT_EQ(saved.GetImageByte(0x9000), bytes[0]);
  EXPECT_EQ(saved.GetImageByte(0x9040), 0xFF);
  EXPECT_EQ(saved.GetImageByte(0x90FF), bytes[0xFF]);

  // --range narrows what is written.
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  ASSERT_EQ(RunCli(With(sim, {"flash", program.string(), "--range", "8010-801f"})).status, 0);
  chip = sim.Flash(m_dir);
  EXPECT_EQ(chip[0x800F], 0xFF);
  EXPECT_EQ(chip[0x8010], bytes[0x10]);
  EXPECT_EQ(chip[0x801F], bytes[0x1F]);
  EXPECT_EQ(chip[0x8020], 0xFF);

  Result devices = RunCli(With(sim, {"devices"}));
  EXPECT_EQ(devices.status, 0) << devices.err;
  EXPECT_TRUE(Contains(devices.out, "port 1: " + sim.device + "  (selected)")) << devices.out;
}

// Over the pseudo-terminal: one run moves our talker and the port to
// 125000 baud and flashes there; the talker is back at the normal rate for
// the next run, which opens the port there.
TEST_F(CliProcessTest, FastBaudRunLeavesTheTalkerAtTheNormalRate) {
  if (!OnCpu()) GTEST_SKIP() << "only our talker has the rate switch";
  SimProcess sim({});
  ASSERT_FALSE(sim.device.empty());
  const std::map<unsigned, std::vector<uint8_t>> blocks = {{0x8000, Pattern(0x900, 12)}};
  fs::path program = m_dir / "fast.s19";
  WriteProgram(program, blocks);
  Result fast = RunCli(With(sim, {"--talker", m_loader.string(), "--no-reset-prompt", "--bootload", "--fast-baud",
                                  "125000", "--verbose", "--yes", "flash", program.string()}));
  ASSERT_EQ(fast.status, 0) << fast.err;
  EXPECT_TRUE(Contains(fast.err, "extended protocol (checked blocks), at 125000 baud")) << fast.err;
  EXPECT_TRUE(Contains(fast.err, "Memory written correctly")) << fast.err;
  std::vector<uint8_t> chip = sim.Flash(m_dir);
  ASSERT_EQ(chip.size(), 0x10000u);
  for (size_t i = 0; i < 0x900; ++i) ASSERT_EQ(chip[0x8000 + i], blocks.at(0x8000)[i]) << i;
  Result verify = RunCli(With(sim, {"verify", program.string()}));
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
}

TEST_F(CliProcessTest, BlockChipNeedsNoEraseAndIsNamed) {
  SimProcess sim({"--chip", "block"});
  BootLoad(sim);
  Result id = RunCli(With(sim, {"id"}));
  ASSERT_EQ(id.status, 0) << id.err;
  EXPECT_TRUE(Contains(id.out, "manufacturer 0xbf, device 0x07: Flash EEPROM")) << id.out;
  Result erase = RunCli(With(sim, {"--yes", "erase"}));
  EXPECT_EQ(erase.status, 0) << erase.err;
  EXPECT_TRUE(Contains(erase.err, "Can't Erase, Flash EEPROM")) << erase.err;

  fs::path program = m_dir / "block.s19";
  WriteProgram(program, {{0xC000, Pattern(200, 5)}});
  Result flash = RunCli(With(sim, {"flash", program.string()}));
  ASSERT_EQ(flash.status, 0) << flash.err;
  Result verify = RunCli(With(sim, {"verify", program.string()}));
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;

  // The wire trace shows what went each way: one RAM byte is the header,
  // count and address, and the byte; the talker answers the complement and
  // the echo.  The byte goes where a talker keeps no code (our talker's
  // page buffer), so the talker still runs for the read-back.
  Result traced = RunCli(With(sim, {"--verbose", "write-ram", "3a0", "2"}));
  ASSERT_EQ(traced.status, 0) << traced.err;
  std::string sent, received;
  for (size_t at = 0, nl; (nl = traced.err.find('\n', at)) != std::string::npos; at = nl + 1) {
    if (traced.err.compare(at, 3, "tx ") == 0) sent += traced.err.substr(at + 2, nl - at - 2);
    if (traced.err.compare(at, 3, "rx ") == 0) received += traced.err.substr(at + 2, nl - at - 2);
  }
  EXPECT_EQ(sent.rfind(" 41 01 03 a0 02", 0), 0u) << traced.err;
  EXPECT_EQ(received.rfind(" be 02", 0), 0u) << traced.err;
}

// One byte of the --verbose trace, in the order the trace shows it.
struct TraceByte {
  bool fromHost;
  unsigned value;
};

std::vector<TraceByte> TraceBytes(const std::string& err) {
  std::vector<TraceByte> bytes;
  for (size_t at = 0, nl; (nl = err.find('\n', at)) != std::string::npos; at = nl + 1) {
    const std::string line = err.substr(at, nl - at);
    if (line.compare(0, 3, "tx ") != 0 && line.compare(0, 3, "rx ") != 0) continue;
    std::istringstream in(line.substr(3));
    unsigned v = 0;
    while (in >> std::hex >> v) bytes.push_back({line[0] == 't', v});
  }
  return bytes;
}

// For each byte the talker sends, how many host bytes it must have received
// first: the talker answers a command byte, sends read data once the address
// is complete (and the next after the host's acknowledgement), echoes each
// written byte after it, and sends the flash identity as the protocol says.
std::vector<size_t> HostBytesNeeded(const std::vector<uint8_t>& host) {
  std::vector<size_t> needed;
  size_t i = 0;
  auto at = [&](size_t k) { return k < host.size() ? host[k] : 0; };
  while (i < host.size()) {
    const uint8_t command = host[i++];
    needed.push_back(i);  // the complement
    if (command == 0xC8) {
      needed.push_back(i);  // manufacturer
      needed.push_back(++i);  // device, after the acknowledgement
      continue;
    }
    const unsigned count = at(i) == 0 ? 256 : at(i);
    i += 3;  // count and address
    if (command == 0x23) {
      // The checked block read: its bytes and CRC stream once the header is in.
      for (unsigned n = 0; n < count + 2; ++n) needed.push_back(i);
      continue;
    }
    if (command == 0x01) {
      for (unsigned n = 0; n < count; ++n) {
        needed.push_back(i);  // data n: after the address, or after the acknowledgement of data n-1
        ++i;
      }
    } else {
      for (unsigned n = 0; n < count; ++n) needed.push_back(++i);  // the echo of each byte
    }
  }
  return needed;
}

// For each host byte, how many talker bytes the host must have received
// before sending it: a command only after the whole answer to the one before,
// its count and address after the complement, a written byte with at most
// two outstanding, a read's acknowledgement at most one byte ahead.
std::vector<size_t> TargetBytesNeeded(const std::vector<uint8_t>& host) {
  std::vector<size_t> needed;
  size_t i = 0, answered = 0;  // talker bytes the commands so far call for
  auto at = [&](size_t k) { return k < host.size() ? host[k] : 0; };
  while (i < host.size()) {
    const uint8_t command = host[i++];
    needed.push_back(answered);
    ++answered;  // the complement
    if (command == 0xC8) {
      needed.push_back(answered + 1);  // the acknowledgement of the manufacturer code
      answered += 2;
      ++i;
      continue;
    }
    const unsigned count = at(i) == 0 ? 256 : at(i);
    if (command == 0x23) {
      // Our talker's checked block read: the header goes out with the
      // command, and the bytes and their CRC come back unacknowledged.
      for (int k = 0; k < 3; ++k) needed.push_back(answered - 1);
      i += 3;
      answered += count + 2;
      continue;
    }
    for (int k = 0; k < 3; ++k) needed.push_back(answered);  // count and address
    i += 3;
    for (unsigned n = 0; n < count; ++n, ++i) {
      if (command == 0x01)
        needed.push_back(n == 0 ? answered : answered + n - 1);  // one acknowledgement ahead
      else
        needed.push_back(n < 2 ? answered : answered + n - 1);  // two bytes outstanding at most
    }
    answered += count;
  }
  return needed;
}

// Every byte is shown in the order it crossed the wire: no answer before
// the host bytes that call for it, no host byte before the answer it waited for.
TEST_F(CliProcessTest, VerboseTraceFollowsTheWireInOrder) {
  SimProcess sim({});
  BootLoad(sim);
  for (int round = 0; round < 4; ++round) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--verbose", "set-eeprom", "fe10", "55"},
                                                 std::vector<std::string>{"--verbose", "read-mem", "fe10", "2"}}) {
      Result r = RunCli(With(sim, args));
      ASSERT_EQ(r.status, 0) << r.err;
      std::vector<TraceByte> trace = TraceBytes(r.err);
      std::vector<uint8_t> host;
      for (const TraceByte& b : trace)
        if (b.fromHost) host.push_back(static_cast<uint8_t>(b.value));
      ASSERT_GT(host.size(), 10u) << r.err;
      const std::vector<size_t> needed = HostBytesNeeded(host);
      const std::vector<size_t> waited = TargetBytesNeeded(host);
      size_t sent = 0, received = 0;
      for (const TraceByte& b : trace) {
        if (b.fromHost) {
          ASSERT_LT(sent, waited.size());
          EXPECT_GE(received, waited[sent]) << "host byte " << sent << " shown before talker byte " << waited[sent]
                                            << " it waited for\n"
                                            << r.err;
          ++sent;
          continue;
        }
        ASSERT_LT(received, needed.size()) << r.err;
        EXPECT_GE(sent, needed[received]) << "target byte " << received << " shown before host byte "
                                          << needed[received] << " it answers\n"
                                          << r.err;
        ++received;
      }
      EXPECT_EQ(received, needed.size()) << r.err;
    }
  }
}

TEST_F(CliProcessTest, ExitStatusesNameWhatFailed) {
  SimProcess sim({});
  BootLoad(sim);
  fs::path program = m_dir / "p.s19";
  WriteProgram(program, {{0x8000, Pattern(64, 3)}});

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string named;  // what the failure line must mention
  };
  const std::vector<Case> cases = {
      {{"frobnicate"}, 2, "unknown command"},
      {{"write-ram", "10000", "1"}, 2, "ADDR"},
      {{"read", "9000-8000", "x.s19"}, 2, "range"},
      {{"flash"}, 2, "arguments"},
      {{"erase", "--offset", "10"}, 2, "--offset"},
      {{"flash", (m_dir / "missing.s19").string()}, 3, "missing.s19"},
      {{"checksum", m_dir.string()}, 3, "folder"},
      {{"--talker", (m_dir / "none.s19").string(), "bootload"}, 3, "none.s19"},
      {{"set-eeprom", "b600", "1"}, 2, "EEprom write failed!"},
      {{"erase"}, 6, "Erase Program?"},
  };
  for (const Case& c : cases) {
    Result r = RunCli(With(sim, c.args));
    EXPECT_EQ(r.status, c.status) << c.args[0] << "\n" << r.err;
    std::string last = LastLine(r.err);
    EXPECT_EQ(last.rfind("keston-cli: ", 0), 0u) << last;
    EXPECT_TRUE(Contains(last, c.named)) << last;
  }

  Result noDevice =
      RunCli({"--settings", (m_dir / "s.ini").string(), "--device", (m_dir / "no-tty").string(), "id"});
  EXPECT_EQ(noDevice.status, 4) << noDevice.err;
  EXPECT_TRUE(Contains(LastLine(noDevice.err), "no-tty")) << noDevice.err;

  // A file that differs from the controller: status 1 and where it starts.
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  ASSERT_EQ(RunCli(With(sim, {"flash", program.string()})).status, 0);
  std::vector<uint8_t> other = Pattern(64, 3);
  other[10] ^= 0x01;
  other[20] ^= 0x80;
  fs::path changed = m_dir / "changed.s19";
  WriteProgram(changed, {{0x8000, other}});
  Result differs = RunCli(With(sim, {"verify", changed.string()}));
  EXPECT_EQ(differs.status, 1) << differs.err;
  EXPECT_TRUE(Contains(differs.out, "2 of 64 bytes differ; first difference at 800a")) << differs.out;

  // Programming over programmed bits shows as an echo the chip cannot give.
  std::vector<uint8_t> zeros(64, 0x00), ones(64, 0xFF);
  fs::path zeroFile = m_dir / "zeros.s19", oneFile = m_dir / "ones.s19";
  WriteProgram(zeroFile, {{0x8100, zeros}});
  WriteProgram(oneFile, {{0x8100, ones}});
  ASSERT_EQ(RunCli(With(sim, {"flash", zeroFile.string()})).status, 0);
  Result overwrite = RunCli(With(sim, {"flash", oneFile.string()}));
  EXPECT_EQ(overwrite.status, 5) << overwrite.err;
  EXPECT_TRUE(Contains(LastLine(overwrite.err), "Memory written Failed!!!")) << overwrite.err;

  // A loader file without a loader at address 0 is refused before anything is sent.
  Result noLoader = RunCli(With(sim, {"--talker", program.string(), "--no-reset-prompt", "bootload"}));
  EXPECT_EQ(noLoader.status, 3) << noLoader.err;
  EXPECT_TRUE(Contains(LastLine(noLoader.err), "address 0")) << noLoader.err;

  // A loader that is echoed but is no talker: the controller falls silent.
  fs::path foreign = m_dir / "foreign.s19";
  WriteProgram(foreign, {{0x0000, std::vector<uint8_t>(256, 0x01)}});
  std::vector<std::string> args = With(sim, {"--talker", foreign.string(), "--no-reset-prompt", "bootload"});
  args[5] = "2";  // --timeout
  Result silent = RunCli(args);
  EXPECT_EQ(silent.status, 5) << silent.err;
  EXPECT_TRUE(Contains(LastLine(silent.err), "no talker answers")) << silent.err;
}

TEST_F(CliProcessTest, ControllerThatStopsAnsweringIsGivenUp) {
  SimProcess sim({});
  BootLoad(sim);
  sim.Command("fault stall");
  std::vector<std::string> args = With(sim, {"id"});
  args[5] = "2";  // --timeout
  Result r = RunCli(args);
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_TRUE(Contains(LastLine(r.err), "did not answer for 2 s")) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST_F(CliProcessTest, PulledLineMidFlashEndsInFailure) {
  SimProcess sim({});
  BootLoad(sim);
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  fs::path program = m_dir / "big.s19";
  WriteProgram(program, {{0x8000, Pattern(0x4000, 9)}});

  bool pulled = false;
  Result r = RunCli(With(sim, {"flash", program.string()}), [&](const std::string& err, pid_t) {
    if (!pulled && Contains(err, "Writing Flash  10%")) {
      sim.Send("fault hangup");
      pulled = true;
    }
  });
  ASSERT_TRUE(pulled) << r.err;
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_FALSE(Contains(r.err, "Memory written correctly")) << r.err;
  EXPECT_TRUE(Contains(r.err, "Memory written Failed!!!")) << r.err;
  EXPECT_TRUE(Contains(LastLine(r.err), "lost")) << r.err;
}

TEST_F(CliProcessTest, AtATerminalTheResetIsAwaitedAndProgressRedrawnInPlace) {
  SimProcess sim({});
  bool pressed = false;
  double pressedAt = 0, downloadSeenAt = 0;
  Result boot = RunCliOnTerminal(With(sim, {"--talker", m_loader.string(), "bootload"}),
                                 [&](const std::string& shown, int terminal) {
                                   if (downloadSeenAt == 0 && Contains(shown, "Bootloading Controller"))
                                     downloadSeenAt = Now();
                                   if (!pressed && Contains(shown, "then press Enter")) {
                                     // The user takes a moment to reset the target.
                                     usleep(300000);
                                     ssize_t n = write(terminal, "\n", 1);
                                     (void)n;
                                     pressedAt = Now();
                                     pressed = true;
                                   }
                                 });
  ASSERT_TRUE(pressed) << boot.err;
  ASSERT_EQ(boot.status, 0) << boot.err;
  // Nothing went on the line before Enter.
  EXPECT_GE(downloadSeenAt, pressedAt);
  EXPECT_TRUE(Contains(boot.err, "Reset in Bootstrap Mode")) << boot.err;

  fs::path program = m_dir / "t.s19";
  WriteProgram(program, {{0x8000, Pattern(0x800, 4)}});
  bool answered = false;
  Result erase = RunCliOnTerminal(With(sim, {"erase"}), [&](const std::string& shown, int terminal) {
    if (!answered && Contains(shown, "Erase Program?") && Contains(shown, "[y/N]")) {
      ssize_t n = write(terminal, "y\n", 2);
      (void)n;
      answered = true;
    }
  });
  ASSERT_EQ(erase.status, 0) << erase.err;
  Result flash = RunCliOnTerminal(With(sim, {"flash", program.string()}), nullptr);
  ASSERT_EQ(flash.status, 0) << flash.err;
  // The bar is drawn over itself with carriage returns and closed with a line end.
  EXPECT_TRUE(Contains(flash.err, "\rWriting Flash [")) << flash.err;
  EXPECT_TRUE(Contains(flash.err, "] 100%")) << flash.err;
}

TEST_F(CliProcessTest, InterruptClosesTheLinkAndSaysSo) {
  SimProcess sim({});
  BootLoad(sim);
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  fs::path program = m_dir / "big.s19";
  WriteProgram(program, {{0x8000, Pattern(0x4000, 6)}});
  bool sent = false;
  double sentAt = 0;
  Result r = RunCli(With(sim, {"flash", program.string()}), [&](const std::string& err, pid_t pid) {
    if (!sent && Contains(err, "Writing Flash  10%")) {
      kill(pid, SIGINT);
      sentAt = Now();
      sent = true;
    }
  });
  ASSERT_TRUE(sent) << r.err;
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_TRUE(Contains(LastLine(r.err), "interrupted")) << r.err;
  EXPECT_FALSE(Contains(r.err, "Memory written correctly")) << r.err;
  // Well before the 20 s time-out: the interrupt ends the wait itself.
  EXPECT_LT(Now() - sentAt, 15.0);
}

// Nothing is written where the user said not to, and what is refused is
// refused before anything is sent.
TEST_F(CliProcessTest, RefusedRangesSendNothing) {
  SimProcess sim({});
  BootLoad(sim);
  fs::path program = m_dir / "p.s19";
  WriteProgram(program, {{0xB000, Pattern(0x100, 7)}});

  // An EEPROM start outside the window of its page.
  Result eeprom = RunCli(With(sim, {"--yes", "flash", program.string(), "--eeprom", "B600:200"}));
  EXPECT_EQ(eeprom.status, 2) << eeprom.err;
  EXPECT_TRUE(Contains(LastLine(eeprom.err), "EEPROM window of page B is BE00-BFFF")) << eeprom.err;
  EXPECT_FALSE(Contains(eeprom.err, "Writing Flash")) << eeprom.err;

  // An address outside the EEPROM, or a run leaving it: CONFIG and the cells stay.
  Result config = RunCli(With(sim, {"read-mem", "103f"}));
  ASSERT_EQ(config.status, 0) << config.err;
  for (std::vector<std::string> args : {std::vector<std::string>{"set-eeprom", "2000", "1"},
                                        std::vector<std::string>{"set-eeprom", "0e00", "1", "201"}}) {
    Result r = RunCli(With(sim, args));
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(Contains(LastLine(r.err), "EEPROM window of page")) << r.err;
    EXPECT_FALSE(Contains(r.err, "EEprom write Suceeded!")) << r.err;
  }
  EXPECT_EQ(RunCli(With(sim, {"read-mem", "103f"})).out, config.out);
  Result cell = RunCli(With(sim, {"read-mem", "0e00", "2"}));
  EXPECT_EQ(cell.out.substr(0, 11), "0e00: ff ff") << cell.out;

  // Write target RAM past ffff would wrap onto the talker's RAM at 0000.
  Result zero = RunCli(With(sim, {"read-mem", "0", "1"}));
  Result wrap = RunCli(With(sim, {"write-ram", "ffff", "1", "2"}));
  EXPECT_EQ(wrap.status, 2) << wrap.err;
  EXPECT_TRUE(Contains(LastLine(wrap.err), "runs past ffff")) << wrap.err;
  EXPECT_EQ(RunCli(With(sim, {"read-mem", "0", "1"})).out, zero.out);

  // A file with nothing in the range: nothing written, a file problem.
  fs::path empty = m_dir / "empty.s19";
  WriteProgram(empty, {});
  Result nothing = RunCli(With(sim, {"--yes", "flash", empty.string()}));
  EXPECT_EQ(nothing.status, 3) << nothing.err;
  EXPECT_TRUE(Contains(LastLine(nothing.err), "Nothing written to flash")) << nothing.err;
}

// A read that does not complete never replaces a good file and never leaves
// a file under the name asked for; what it read goes to NAME.partial only
// when the user wants it.
TEST_F(CliProcessTest, AnIncompleteReadNeverReplacesAFile) {
  SimProcess sim({});
  BootLoad(sim);
  fs::path good = m_dir / "good.s19";
  WriteText(good, "the good read of last week");

  std::vector<std::string> args = With(sim, {"--yes", "read", "8000-ffff", good.string()});
  args[5] = "2";  // --timeout
  bool stalled = false;
  Result r = RunCli(args, [&](const std::string& err, pid_t) {
    if (!stalled && Contains(err, "Reading Memory  10%")) {
      sim.Send("fault stall");
      stalled = true;
    }
  });
  ASSERT_TRUE(stalled) << r.err;
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_EQ(ReadText(good), "the good read of last week");
  EXPECT_TRUE(fs::exists(m_dir / "good.s19.partial")) << r.err;
  EXPECT_TRUE(Contains(r.err, "good.s19.partial")) << r.err;

  // Without --yes (and no terminal to ask on) nothing at all is written.
  sim.Command("reset");
  BootLoad(sim);
  fs::remove(m_dir / "good.s19.partial");
  fs::path fresh = m_dir / "fresh.s19";
  args = With(sim, {"read", "8000-ffff", fresh.string()});
  args[5] = "2";
  stalled = false;
  r = RunCli(args, [&](const std::string& err, pid_t) {
    if (!stalled && Contains(err, "Reading Memory  10%")) {
      sim.Send("fault stall");
      stalled = true;
    }
  });
  EXPECT_NE(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_FALSE(fs::exists(m_dir / "fresh.s19.partial"));

  // A device is no file to read into.
  sim.Command("reset");
  BootLoad(sim);
  Result device = RunCli(With(sim, {"--yes", "read", "8000-80ff", "/dev/null"}));
  EXPECT_EQ(device.status, 3) << device.err;
  EXPECT_TRUE(Contains(LastLine(device.err), "not a regular file")) << device.err;
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// Ctrl-C, SIGTERM and SIGHUP stop at the next command boundary: the talker
// is left in step and the next run needs no new boot load.  A second one
// cuts the command off and says the talker needs one.
TEST_F(CliProcessTest, InterruptsStopAtACommandBoundary) {
  SimProcess sim({});
  BootLoad(sim);
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  fs::path program = m_dir / "big.s19";
  WriteProgram(program, {{0x8000, Pattern(0x4000, 6)}});
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    bool sent = false;
    Result r = RunCli(With(sim, {"flash", program.string()}), [&](const std::string& err, pid_t pid) {
      if (!sent && Contains(err, "Writing Flash  10%")) {
        kill(pid, signal);
        sent = true;
      }
    });
    ASSERT_TRUE(sent) << r.err;
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_TRUE(Contains(LastLine(r.err), "interrupted")) << r.err;
    EXPECT_TRUE(Contains(LastLine(r.err), "waits for the next")) << r.err;
    // In step: the next command works as it is.
    Result id = RunCli(With(sim, {"id"}));
    EXPECT_EQ(id.status, 0) << id.err;
    ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  }

  // A controller that stopped answering never reaches the next boundary: the
  // second interrupt cuts the command off, and says what that means.
  sim.Command("fault stall");
  int sent = 0;
  Result r = RunCli(With(sim, {"--verbose", "flash", program.string()}), [&](const std::string& err, pid_t pid) {
    if (sent == 0 && Contains(err, "tx c8")) {
      kill(pid, SIGINT);
      sent = 1;
    } else if (sent == 1 && Contains(err, "interrupt again to cut it off")) {
      kill(pid, SIGINT);
      sent = 2;
    }
  });
  EXPECT_EQ(sent, 2) << r.err;
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_TRUE(Contains(LastLine(r.err), "run keston-cli bootload")) << r.err;
  sim.Command("reset");
  BootLoad(sim);

  // A talker out of step is named as such on the first command of a run.
  sim.Command("fault complement");
  Result step = RunCli(With(sim, {"read-mem", "8000"}));
  EXPECT_EQ(step.status, 5) << step.err;
  EXPECT_TRUE(Contains(LastLine(step.err), "the talker is not answering in step; run Boot Load again")) << step.err;
}

// A program file given as a pipe that nobody writes: the interrupt still ends the run.
TEST_F(CliProcessTest, AnInterruptEndsAWaitForAPipe) {
  fs::path fifo = m_dir / "program-pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int devNull = open("/dev/null", O_RDWR);
  pid_t pid = Spawn({KESTON_CLI_PATH, "--settings", (m_dir / "s.ini").string(), "checksum", fifo.string()}, devNull,
                    devNull, devNull);
  close(devNull);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(pid, SIGINT);
  int status = 0;
  const double deadline = Now() + 10;
  while (waitpid(pid, &status, WNOHANG) == 0 && Now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (Now() >= deadline) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "keston-cli kept waiting for the pipe after the interrupt";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
}

// A settings "file" that is a device would be replaced by a file; a stored
// value out of range is named with its file, and never used or kept.
TEST_F(CliProcessTest, SettingsFilesAreFilesAndBadValuesAreNamed) {
  Result device = RunCli({"--settings", "/dev/null", "devices"});
  EXPECT_EQ(device.status, 2) << device.err;
  EXPECT_TRUE(Contains(device.err, "/dev/null is not a regular file")) << device.err;
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));

  SimProcess sim({});
  BootLoad(sim);
  fs::path settings = m_dir / "settings.ini";
  std::string text = ReadText(settings);
  WriteText(settings, text + "\n[flash]\nEEprom_Length=99999999\n");
  fs::path program = m_dir / "p.s19";
  WriteProgram(program, {{0xB000, Pattern(0x40, 2)}});
  ASSERT_EQ(RunCli(With(sim, {"--yes", "erase"})).status, 0);
  Result flash = RunCli(With(sim, {"flash", program.string()}));
  EXPECT_EQ(flash.status, 0) << flash.err;
  EXPECT_TRUE(Contains(flash.err, "\"EEprom_Length\" (section \"flash\") holds 99999999")) << flash.err;
  EXPECT_TRUE(Contains(flash.err, settings.string())) << flash.err;
  EXPECT_FALSE(Contains(ReadText(settings), "99999999")) << ReadText(settings);
  Result again = RunCli(With(sim, {"checksum", program.string()}));
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_FALSE(Contains(again.err, "out of range")) << again.err;
}

TEST(CliHelp, EveryCommandIsDocumented) {
  Result general = RunCli({"--help"});
  ASSERT_EQ(general.status, 0);
  const char* commands[] = {"bootload", "flash",     "quickflash", "read",       "erase",
                            "id",       "write-ram", "read-mem",   "set-eeprom", "clear-processor",
                            "checksum", "verify",    "devices"};
  for (const char* c : commands) {
    EXPECT_TRUE(Contains(general.out, std::string("  ") + c)) << c;
    Result one = RunCli({c, "--help"});
    EXPECT_EQ(one.status, 0) << c;
    EXPECT_EQ(one.out.rfind(std::string("Usage: keston-cli [options] ") + c, 0), 0u) << one.out;
  }
  for (const char* option : {"--port", "--device", "--baud", "--boot-baud", "--talker", "--yes",
                             "--no-reset-prompt", "--quiet", "--verbose", "--settings", "--timeout"})
    EXPECT_TRUE(Contains(general.out, option)) << option;
  for (const char* status : {"  2 ", "  3 ", "  4 ", "  5 "})
    EXPECT_TRUE(Contains(general.out, status)) << status;
  EXPECT_EQ(RunCli({"help", "verify"}).out, RunCli({"verify", "--help"}).out);
}

}  // namespace
