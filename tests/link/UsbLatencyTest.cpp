// The USB adapter's latency timer, on a directory laid out as sysfs lays it out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "link/UsbLatency.h"

namespace {

class UsbLatencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/keston-usb-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = pattern;
    ::chmod(root.c_str(), 0755);
    Run("mkdir -p " + root + "/sys/bus/usb-serial/devices/ttyUSB0 " + root + "/dev/serial/by-id");
    Put(root + "/dev/ttyUSB0", "");
    Put(root + "/dev/ttyS0", "");
    Run("ln -s ../../ttyUSB0 " + root + "/dev/serial/by-id/usb-adapter-port0");
    timerFile = root + "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
    Put(timerFile, "16\n");
  }
  void TearDown() override { Run("rm -rf " + root); }

  static void Run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }
  static void Put(const std::string& file, const std::string& text) { std::ofstream(file) << text; }
  static std::string Get(const std::string& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string root;
  std::string timerFile;
};

TEST_F(UsbLatencyTest, AdapterIsSetToOneMillisecondWhileOpenAndPutBackAfter) {
  UsbLatencyTimer timer;
  // Reached through its by-id link, as the Settings dialog offers it.
  EXPECT_EQ(LowerUsbLatency(root + "/dev/serial/by-id/usb-adapter-port0", root + "/sys", timer), "");
  EXPECT_EQ(Get(timerFile), "1\n");
  EXPECT_EQ(timer.original, 16);
  RestoreUsbLatency(timer);
  EXPECT_EQ(Get(timerFile), "16\n");
  // Restoring twice does not write a stale value over a later change.
  Put(timerFile, "4\n");
  RestoreUsbLatency(timer);
  EXPECT_EQ(Get(timerFile), "4\n");

  // Already at 1 ms, or not an adapter at all: nothing changed, nothing put back.
  Put(timerFile, "1\n");
  EXPECT_EQ(LowerUsbLatency(root + "/dev/ttyUSB0", root + "/sys", timer), "");
  EXPECT_FALSE(timer.changed);
  EXPECT_EQ(LowerUsbLatency(root + "/dev/ttyS0", root + "/sys", timer), "");
  EXPECT_TRUE(timer.file.empty());
  EXPECT_EQ(LowerUsbLatency(root + "/dev/missing", root + "/sys", timer), "");
}

TEST_F(UsbLatencyTest, UnwritableTimerIsLeftAloneWithANoteOnHowToAllowIt) {
  ::chmod(timerFile.c_str(), 0444);
  // The owner of the files could write them whatever their mode, so the
  // check runs as a user who cannot.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    UsbLatencyTimer timer;
    const std::string note = LowerUsbLatency(root + "/dev/ttyUSB0", root + "/sys", timer);
    RestoreUsbLatency(timer);
    const ssize_t n = ::write(pipeFds[1], note.data(), note.size());
    ::_exit(n == static_cast<ssize_t>(note.size()) ? 0 : 4);
  }
  ::close(pipeFds[1]);
  std::string note;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) note.append(buffer, static_cast<size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Get(timerFile), "16\n");
  EXPECT_NE(note.find("ttyUSB0"), std::string::npos) << note;
  EXPECT_NE(note.find("16 ms"), std::string::npos) << note;
  EXPECT_NE(note.find("ATTR{latency_timer}=\"1\""), std::string::npos) << note;
  EXPECT_NE(note.find("/etc/udev/rules.d/"), std::string::npos) << note;
}

}  // namespace
