// keston-sim as a user meets it: flash image files in and out, and the
// program itself driven over its console and its line.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "SimFixture.h"
#include "sim/SimFiles.h"

namespace fs = std::filesystem;

namespace {

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/keston-sim-test-XXXXXX";
    m_path = mkdtemp(name);
  }
  ~TempDir() { fs::remove_all(m_path); }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

void WriteBinary(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBinary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(SimFiles, BadImagesAreRefusedAndLeaveTheFlashAlone) {
  TempDir dir;
  std::vector<uint8_t> flash(0x10000, 0xFF);
  std::string message;

  WriteBinary(dir / "big.bin", std::vector<uint8_t>(0x10001, 0x11));
  EXPECT_FALSE(LoadFlashFile(dir / "big.bin", flash, message));
  EXPECT_NE(message.find("larger"), std::string::npos) << message;
  WriteBinary(dir / "empty.bin", {});
  EXPECT_FALSE(LoadFlashFile(dir / "empty.bin", flash, message));
  EXPECT_FALSE(LoadFlashFile(dir / "missing.bin", flash, message));

  // Second record's checksum is wrong.
  WriteText(dir / "bad.s19", "S1058000AA557B\nS1058002AA557A\n");
  EXPECT_FALSE(LoadFlashFile(dir / "bad.s19", flash, message));
  EXPECT_NE(message.find("checksum"), std::string::npos) << message;
  // A blank line would end the reading early and lose the second record.
  WriteText(dir / "gap.s19", "S1058000AA557B\n\nS1058002AA5579\n");
  EXPECT_FALSE(LoadFlashFile(dir / "gap.s19", flash, message));
  EXPECT_NE(message.find("line 2"), std::string::npos) << message;
  WriteText(dir / "none.s19", "S00600000000F9\nS9030000FC\n");
  EXPECT_FALSE(LoadFlashFile(dir / "none.s19", flash, message));
  EXPECT_EQ(flash, std::vector<uint8_t>(0x10000, 0xFF));
}

TEST(SimFiles, ImagesLoadAndSaveInBothForms) {
  TempDir dir;
  std::vector<uint8_t> flash(0x10000, 0xFF);
  std::string message;
  // Only the addresses the records cover change.
  WriteText(dir / "a.s19", "S00600000000F9\nS1058000AA557B\nS9030000FC");
  ASSERT_TRUE(LoadFlashFile(dir / "a.s19", flash, message)) << message;
  EXPECT_EQ(flash[0x8000], 0xAA);
  EXPECT_EQ(flash[0x8001], 0x55);
  EXPECT_EQ(std::count(flash.begin(), flash.end(), 0xFF), 0x10000 - 2);

  std::vector<uint8_t> start{1, 2, 3};
  WriteBinary(dir / "b.bin", start);
  ASSERT_TRUE(LoadFlashFile(dir / "b.bin", flash, message)) << message;
  EXPECT_EQ(flash[2], 3);
  EXPECT_EQ(flash[3], 0xFF);

  for (unsigned a = 0; a < 0x10000; ++a) flash[a] = static_cast<uint8_t>(a * 31 + (a >> 8));
  ASSERT_TRUE(SaveFlashFile(dir / "out.bin", flash, message)) << message;
  EXPECT_EQ(ReadBinary(dir / "out.bin"), flash);
  ASSERT_TRUE(SaveFlashFile(dir / "out.s19", flash, message)) << message;
  // An independent tool reads the S-records back to the same 64 KB.
  std::string command = "srec_cat " + (dir / "out.s19") + " -motorola -o " + (dir / "check.bin") + " -binary";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadBinary(dir / "check.bin"), flash);
  std::vector<uint8_t> back(0x10000, 0);
  ASSERT_TRUE(LoadFlashFile(dir / "out.s19", back, message)) << message;
  EXPECT_EQ(back, flash);

  // A save that cannot be written says so and leaves nothing behind.
  EXPECT_FALSE(SaveFlashFile(dir / "no-such-dir/x.bin", flash, message));
  EXPECT_FALSE(fs::exists(dir / "no-such-dir"));
}

namespace {

// keston-sim started with pipes on its standard input and output.
struct SimProcess {
  pid_t pid = -1;
  int in = -1;
  FILE* out = nullptr;

  bool Start(const std::vector<std::string>& args) {
    // CTest names the build folder; run by hand, the suite sits two folders
    // below it.
    const char* bin = std::getenv("KESTON_BINARY_DIR");
    std::string root =
        bin ? std::string(bin)
            : fs::read_symlink("/proc/self/exe").parent_path().parent_path().parent_path().string();
    std::string program = root + "/sim/keston-sim";
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return false;
    pid = fork();
    if (pid == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      close(toChild[1]);
      close(fromChild[0]);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    in = toChild[1];
    out = fdopen(fromChild[0], "r");
    return pid > 0;
  }
  std::string Line() {
    char text[512];
    if (!std::fgets(text, sizeof text, out)) return "";
    std::string s(text);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  void Say(const std::string& command) {
    std::string line = command + "\n";
    EXPECT_EQ(write(in, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }
  int Wait() {
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ~SimProcess() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      Wait();
    }
    if (in >= 0) close(in);
    if (out) fclose(out);
  }
};

}  // namespace

TEST(SimProgram, ServesTheLineAndSavesTheFlashOnQuit) {
  TempDir dir;
  WriteBinary(dir / "start.bin", std::vector<uint8_t>(0x100, 0x00));
  SimProcess sim;
  ASSERT_TRUE(sim.Start(
      {"--model", "--flash", dir / "start.bin", "--save", dir / "end.s19", "--erase-ms", "20", "--link", dir / "tty"}));
  std::string device = sim.Line();
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  EXPECT_EQ(sim.Line(), "link: " + (dir / "tty"));
  EXPECT_NE(sim.Line().find("loaded 256 bytes"), std::string::npos);

  RawLine line;
  ASSERT_TRUE(line.Open(dir / "tty", kBoot));
  auto loader = MakeLoader(256);
  std::vector<uint8_t> wire = StartByteThen(loader);
  ASSERT_TRUE(line.Send(wire));
  ASSERT_EQ(line.Receive(256), loader);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(line.SetBaud(kNormal));
  // Erase, then program two bytes at 0x0010 over the zeros loaded at start.
  ASSERT_TRUE(line.Send({0xD1}));
  ASSERT_EQ(line.Receive(1), std::vector<uint8_t>{0x2E});
  ASSERT_TRUE(line.Send({0x3F}));
  ASSERT_EQ(line.Receive(1), std::vector<uint8_t>{0xFF});
  ASSERT_TRUE(line.Send({0x71, 0x02, 0xC0, 0x10, 0x12, 0x34}));
  EXPECT_EQ(line.Receive(3), (std::vector<uint8_t>{0x8E, 0x12, 0x34}));

  sim.Say("status");
  EXPECT_EQ(sim.Line(), "mode: talker running");
  sim.Say("quit");
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_FALSE(fs::exists(dir / "tty"));
  std::vector<uint8_t> flash(0x10000, 0);
  std::string message;
  ASSERT_TRUE(LoadFlashFile(dir / "end.s19", flash, message)) << message;
  EXPECT_EQ(flash[0xC010], 0x12);
  EXPECT_EQ(flash[0xC011], 0x34);
  EXPECT_EQ(flash[0x0000], 0xFF);  // erased
}

TEST(SimProgram, StopsCleanlyOnSigtermAndKeepsRunningWithoutStdin) {
  TempDir dir;
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--save", dir / "end.bin"}));
  ASSERT_FALSE(sim.Line().empty());
  close(sim.in);  // standard input ends; the program stays
  sim.in = -1;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(waitpid(sim.pid, nullptr, WNOHANG), 0);
  kill(sim.pid, SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_EQ(ReadBinary(dir / "end.bin"), std::vector<uint8_t>(0x10000, 0xFF));
}

TEST(SimProgram, RejectsBadOptionsBeforeStarting) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--baud", "fast"},
                                        {"--chip", "eprom"},
                                        {"--fault", "drop"},
                                        {"--bogus"},
                                        {"--flash", "/nonexistent/x.bin"}}) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start(args));
    EXPECT_EQ(sim.Line(), "");  // no device printed
    EXPECT_NE(sim.Wait(), 0) << args[0];
  }
}
