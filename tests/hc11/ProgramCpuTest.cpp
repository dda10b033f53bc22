// keston-sim --cpu as a user meets it: a download, then the console's
// registers, memory, breakpoint, trace and status.
#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "Harness.h"
#include "SimFixture.h"

namespace {

class Console {
 public:
  bool Start(const std::vector<std::string>& args) {
    const char* bin = std::getenv("KESTON_BINARY_DIR");
    std::string program = std::string(bin ? bin : ".") + "/sim/keston-sim";
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return false;
    m_pid = fork();
    if (m_pid == 0) {
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
    m_in = toChild[1];
    m_out = fromChild[0];
    return m_pid > 0;
  }
  ~Console() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_in >= 0) close(m_in);
    if (m_out >= 0) close(m_out);
  }
  void Say(const std::string& command) {
    std::string line = command + "\n";
    EXPECT_EQ(write(m_in, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }
  // The next line holding `text`; empty after `ms` without one.
  std::string WaitFor(const std::string& text, int ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      size_t nl;
      while ((nl = m_buffer.find('\n')) != std::string::npos) {
        std::string line = m_buffer.substr(0, nl);
        m_buffer.erase(0, nl + 1);
        if (line.find(text) != std::string::npos) return line;
      }
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd p{m_out, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char chunk[4096];
      ssize_t n = read(m_out, chunk, sizeof chunk);
      if (n <= 0) return "";
      m_buffer.append(chunk, static_cast<size_t>(n));
    }
  }
  int Wait() {
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t m_pid = -1;
  int m_in = -1, m_out = -1;
  std::string m_buffer;
};

}  // namespace

TEST(SimProgramCpu, ConsoleShowsRegistersMemoryBreakpointsAndTrace) {
  Console sim;
  ASSERT_TRUE(sim.Start({"--cpu"}));
  std::string device = sim.WaitFor("/dev/");
  ASSERT_FALSE(device.empty());
  RawLine line;
  ASSERT_TRUE(line.Open(device, 7812));
  Hc11Program p = LoadProgram("echo");
  ASSERT_TRUE(p.ok);
  auto loader = p.Bytes();
  std::vector<uint8_t> wire(loader.size() + 1, 0xFF);
  std::copy(loader.begin(), loader.end(), wire.begin() + 1);
  ASSERT_TRUE(line.Send(wire));
  ASSERT_EQ(line.Receive(loader.size()), loader);
  // The boot ROM ends the download after four character times of silence,
  // and the host waits for that, as the real host program does.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(line.Send(0x41));
  ASSERT_EQ(line.Receive(1), std::vector<uint8_t>{0x42});

  sim.Say("mem 0000 4");
  EXPECT_EQ(sim.WaitFor("0000:"), "0000: CE 10 00 1F");
  sim.Say("regs");
  EXPECT_FALSE(sim.WaitFor("PC=").empty());
  EXPECT_FALSE(sim.WaitFor("special bootstrap mode").empty());
  // The echo loop's read of SCDR is at 0x0007: a byte sent stops there.
  sim.Say("break 0007");
  EXPECT_FALSE(sim.WaitFor("breakpoint at 0007").empty());
  ASSERT_TRUE(line.Send(0x10));
  EXPECT_FALSE(sim.WaitFor("breakpoint at 0x0007").empty());
  EXPECT_TRUE(line.Drain(100).empty());
  sim.Say("break off");
  sim.Say("trace on");
  sim.Say("continue");
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x11});
  EXPECT_FALSE(sim.WaitFor("inca").empty());
  sim.Say("trace off");
  sim.Say("status");
  EXPECT_FALSE(sim.WaitFor("mode: talker running").empty());
  EXPECT_FALSE(sim.WaitFor("illegal-opcode traps 0").empty());
  sim.Say("quit");
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(SimProgramCpu, HelpSaysWhichBackEndIsTheDefault) {
  Console sim;
  ASSERT_TRUE(sim.Start({"--help"}));
  EXPECT_FALSE(sim.WaitFor("--cpu").empty());
  EXPECT_FALSE(sim.WaitFor("flash chip); the default.").empty());
  EXPECT_FALSE(sim.WaitFor("--model").empty());
  EXPECT_EQ(sim.Wait(), 0);
}

// Without an option the downloaded loader runs on the CPU: the same echo
// program answers, and the console has the CPU's commands.
TEST(SimProgramCpu, TheCpuIsTheDefaultAndTheModelAnOption) {
  Hc11Program p = LoadProgram("echo");
  ASSERT_TRUE(p.ok);
  const auto loader = p.Bytes();
  std::vector<uint8_t> wire(loader.size() + 1, 0xFF);
  std::copy(loader.begin(), loader.end(), wire.begin() + 1);
  {
    Console sim;
    ASSERT_TRUE(sim.Start({}));
    std::string device = sim.WaitFor("/dev/");
    ASSERT_FALSE(device.empty());
    RawLine line;
    ASSERT_TRUE(line.Open(device, 7812));
    ASSERT_TRUE(line.Send(wire));
    ASSERT_EQ(line.Receive(loader.size()), loader);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(line.Send(0x41));
    EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x42});
    sim.Say("regs");
    EXPECT_FALSE(sim.WaitFor("PC=").empty());
    sim.Say("quit");
    EXPECT_EQ(sim.Wait(), 0);
  }
  Console model;
  ASSERT_TRUE(model.Start({"--model"}));
  ASSERT_FALSE(model.WaitFor("/dev/").empty());
  model.Say("regs");
  EXPECT_FALSE(model.WaitFor("needs the emulated CPU").empty());
  model.Say("quit");
  EXPECT_EQ(model.Wait(), 0);
}
