// The port through a real pseudo-terminal: settings, open, configure, close,
// exclusive use, writes and the reasons given when opening fails.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "LinkFixture.h"
#include "link/SerialDevicePosix.h"
#include "link/SerialPorts.h"

TEST(LinkSettings, DefaultsAndOutOfRangeStoredValues) {
  MemoryStore store;
  g_settings = &store;
  {
    CLink link;
    link.ReadSettings();
    const LinkSettings& s = link.m_settings;
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.normalBaud, 9600);
    EXPECT_EQ(s.bootstrapBaud, 1200);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_FALSE(s.dtrDsrFlow || s.rtsCtsFlow || s.xonXoffFlow);
    EXPECT_FALSE(link.Connected() || link.BootMode() || link.RxThreadRunning());
    EXPECT_EQ(CLink::DevicePathForPort(0), "/dev/ttyS0");
    EXPECT_EQ(CLink::DevicePathForPort(3), "/dev/ttyS3");
    EXPECT_EQ(CLink::DevicePathForPort(4), "");
  }

  // Unstored settings come back to their defaults at the next start.
  store.WriteProfileInt("Comm", "Port", 2);
  store.WriteProfileInt("Comm", "Normal Baud", 7815);
  store.WriteProfileInt("Comm", "BSB", 976);
  store.WriteProfileString("Comm", "Device 3", "/dev/ttyUSB0");
  {
    CLink link;
    link.m_settings.dataBits = 7;
    link.m_settings.xonXoffFlow = true;
    link.ReadSettings();
    EXPECT_EQ(link.m_settings.port, 2);
    EXPECT_EQ(link.m_settings.normalBaud, 7815);
    EXPECT_EQ(link.m_settings.bootstrapBaud, 976);
    EXPECT_EQ(link.m_settings.dataBits, 8);
    EXPECT_FALSE(link.m_settings.xonXoffFlow);
    EXPECT_EQ(link.DevicePath(), "/dev/ttyUSB0");
  }

  for (const char* port : {"4", "-1", "COM1"}) {
    store.WriteProfileString("Comm", "Port", port);
    store.WriteProfileString("Comm", "Normal Baud", "-9600");
    store.WriteProfileString("Comm", "BSB", "fast");
    CTrellisView view;  // the view reads them when it is built
    EXPECT_EQ(view.Link().m_settings.port, 0) << port;
    EXPECT_EQ(view.Link().m_settings.normalBaud, 9600);
    EXPECT_EQ(view.Link().m_settings.bootstrapBaud, 1200);
    EXPECT_EQ(g_charWidth, 10);
    EXPECT_EQ(g_lineHeight, 18);
  }
  store.WriteProfileInt("Comm", "Normal Baud", 0);
  {
    CLink link;
    link.ReadSettings();
    EXPECT_EQ(link.m_settings.normalBaud, 9600);
  }
  g_settings = nullptr;
}

TEST_F(LinkTest, OpenSetsTheLineAsConfiguredAndCloseReleasesIt) {
  ASSERT_TRUE(view->OpenPort());
  EXPECT_TRUE(view->Link().Connected());
  EXPECT_TRUE(view->Link().RxThreadRunning());
  EXPECT_TRUE(view->Link().Device().IsOpen());
  EXPECT_GE(shell.redraws, 1);
  LineSettings line;
  ASSERT_TRUE(pty.ReadLine(line));
  EXPECT_EQ(line.baud, static_cast<unsigned>(view->Link().m_settings.normalBaud));
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_EQ(line.dataBits, 8);
  EXPECT_FALSE(line.parityOn);
  EXPECT_FALSE(line.twoStopBits);
  EXPECT_FALSE(line.rtsCts);
  EXPECT_FALSE(line.xonXoff);
  EXPECT_FALSE(line.canonical);
  EXPECT_FALSE(line.echo);
  EXPECT_TRUE(line.parityCheck);
  EXPECT_EQ(line.xonChar, 0x11);
  EXPECT_EQ(line.xoffChar, 0x13);
  EXPECT_EQ(view->Link().Device().GetCommTimeouts().readTotalTimeoutMultiplier, 4u);
  EXPECT_EQ(view->Link().Device().GetCommTimeouts().writeTotalTimeoutConstant, 1000u);

  view->ClosePort();
  EXPECT_FALSE(view->Link().Connected());
  EXPECT_FALSE(view->Link().RxThreadRunning());
  EXPECT_FALSE(view->Link().Device().IsOpen());

  // The rate switch of the boot load: close, change the rate, reopen.
  view->Link().m_settings.rtsCtsFlow = true;
  ASSERT_TRUE(view->OpenPort());
  view->ClosePort();
  view->Link().m_settings.normalBaud = 1200;
  ASSERT_TRUE(view->OpenPort());
  ASSERT_TRUE(pty.ReadLine(line));
  EXPECT_EQ(line.baud, 1200u);
  EXPECT_TRUE(line.rtsCts);
  EXPECT_FALSE(line.twoStopBits);
  EXPECT_EQ(view->Link().Device().GetCommTimeouts().writeTotalTimeoutMultiplier, 32u);
  view->ClosePort();
  EXPECT_TRUE(CommErrors().empty());
}

// A rate change on an open port (our talker's rate switch): the line takes
// the new rate, the framing and the connection stay, bytes keep flowing both
// ways while the receive thread runs, and a closed port refuses.
TEST_F(LinkTest, SetRateMovesAnOpenLineWithoutReopeningIt) {
  CLink& link = view->Link();
  EXPECT_FALSE(link.SetRate(125000));
  link.m_settings.rtsCtsFlow = true;
  ASSERT_TRUE(view->OpenPort());
  const unsigned opened = link.OpenCount();
  ASSERT_TRUE(pty.WriteAll({0x11, 0x22}));
  ASSERT_TRUE(WaitUntil([&] { return link.Queue().Count() == 2; }));
  ASSERT_TRUE(link.SetRate(125000));
  EXPECT_EQ(link.OpenRate(), 125000);
  EXPECT_EQ(link.OpenCount(), opened);
  EXPECT_TRUE(link.Connected() && link.RxThreadRunning());
  LineSettings line;
  ASSERT_TRUE(pty.ReadLine(line));
  EXPECT_EQ(line.baud, 125000u);
  EXPECT_TRUE(line.rtsCts);
  EXPECT_EQ(line.dataBits, 8);
  EXPECT_EQ(link.Device().GetCommTimeouts().readTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(link.Device().GetCommTimeouts().writeTotalTimeoutConstant, 1000u);
  ASSERT_TRUE(pty.WriteAll({0x33}));
  ASSERT_TRUE(WaitUntil([&] { return link.Queue().Count() == 3; }));
  EXPECT_EQ(TakeQueue(), (std::vector<uint8_t>{0x11, 0x22, 0x33}));
  const uint8_t out[2] = {0x44, 0x55};
  ASSERT_TRUE(link.WriteBytes(out, 2));
  EXPECT_EQ(pty.ReadBytes(2, 2000), (std::vector<uint8_t>{0x44, 0x55}));
  ASSERT_TRUE(link.SetRate(9600));
  ASSERT_TRUE(pty.ReadLine(line));
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_EQ(link.Device().GetCommTimeouts().readTotalTimeoutMultiplier, 4u);
  EXPECT_FALSE(link.SetRate(0));
  EXPECT_EQ(link.OpenRate(), 9600);
  view->ClosePort();
  EXPECT_FALSE(link.SetRate(9600));
  EXPECT_TRUE(CommErrors().empty());
}

TEST_F(LinkTest, EveryRateAndFramingReachesTheLine) {
  struct Case {
    int baud, dataBits, parity, stopBits;
    bool rtsCts, xonXoff;
  };
  const Case cases[] = {
      {976, 8, 0, 0, false, false},    {977, 7, 1, 2, false, false}, {7815, 8, 2, 0, true, false},
      {8192, 7, 3, 0, false, true},    {1200, 8, 4, 2, true, true},  {115200, 8, 0, 0, false, false},
      {250000, 8, 0, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    view->Link().m_settings.normalBaud = c.baud;
    view->Link().m_settings.dataBits = c.dataBits;
    view->Link().m_settings.parity = c.parity;
    view->Link().m_settings.stopBits = c.stopBits;
    view->Link().m_settings.rtsCtsFlow = c.rtsCts;
    view->Link().m_settings.xonXoffFlow = c.xonXoff;
    ASSERT_TRUE(view->OpenPort());
    LineSettings line;
    ASSERT_TRUE(pty.ReadLine(line));
    EXPECT_EQ(line.baud, static_cast<unsigned>(c.baud));
    // A pseudo-terminal forces 8 data bits without parity enable; the rest
    // of the framing is kept (the full mapping is checked in TermiosMapTest).
    EXPECT_EQ(line.parityOdd, c.parity == 2 || c.parity == 3);  // mark is odd with stick parity
    EXPECT_EQ(line.stickParity, c.parity >= 3);
    EXPECT_EQ(line.twoStopBits, c.stopBits == 2);
    EXPECT_EQ(line.rtsCts, c.rtsCts);
    EXPECT_EQ(line.xonXoff, c.xonXoff);
    const unsigned multiplier = c.baud > 38400 ? 0u : 38400u / c.baud;
    EXPECT_EQ(view->Link().Device().GetCommTimeouts().readTotalTimeoutMultiplier, multiplier);
    EXPECT_EQ(view->Link().Device().GetCommTimeouts().writeTotalTimeoutMultiplier, multiplier);
    view->ClosePort();
  }
  EXPECT_TRUE(CommErrors().empty());
}

TEST_F(LinkTest, SettingsThePlatformCannotProvideFailTheOpenWithAReason) {
  view->Link().m_settings.dtrDsrFlow = true;
  EXPECT_FALSE(view->OpenPort());
  EXPECT_FALSE(view->Link().Connected());
  EXPECT_FALSE(view->Link().Device().IsOpen());
  ASSERT_EQ(CommErrors().size(), 1u);
  EXPECT_NE(CommErrors()[0].find("DTR/DSR"), std::string::npos);

  view->Link().m_settings.dtrDsrFlow = false;
  view->Link().m_settings.stopBits = 1;
  EXPECT_FALSE(view->OpenPort());
  ASSERT_EQ(CommErrors().size(), 2u);
  EXPECT_NE(CommErrors()[1].find("1.5 stop bits"), std::string::npos);

  // A rate of 0 (typed into the settings) must not reach the time-out division.
  view->Link().m_settings.stopBits = 0;
  view->Link().m_settings.normalBaud = 0;
  EXPECT_FALSE(view->OpenPort());
  EXPECT_FALSE(view->Link().Device().IsOpen());
  ASSERT_EQ(CommErrors().size(), 3u);
  EXPECT_EQ(CommErrors()[2].rfind("Comm err: ", 0), 0u);

  view->Link().m_settings.normalBaud = 9600;
  EXPECT_TRUE(view->OpenPort());  // nothing was left half open
  view->ClosePort();
}

TEST_F(LinkTest, AHeldPortCannotBeOpenedAgain) {
  ASSERT_TRUE(view->OpenPort());
  CPosixSerialDevice second;
  EXPECT_FALSE(second.Open(pty.SlavePath()));
  EXPECT_NE(second.LastError().find("in use"), std::string::npos);
  view->ClosePort();
  EXPECT_TRUE(second.Open(pty.SlavePath()));

  // Now another program holds it: Connect fails and nothing changes.
  shell.boxes.clear();
  view->OnConnect();
  EXPECT_FALSE(view->Link().Connected());
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Connection failed!");
  EXPECT_EQ(shell.boxes[0].caption, "TTY application");
  EXPECT_EQ(shell.boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
  ASSERT_EQ(CommErrors().size(), 1u);
  EXPECT_NE(CommErrors()[0].find("in use"), std::string::npos);
  EXPECT_EQ(view->StatusLineText(), "Disconnected, " + std::string(24, ' '));
}

TEST_F(LinkTest, AMissingDeviceIsNamedInTheErrorPane) {
  store.WriteProfileString("Comm", "Device 2", "/dev/ttyNoSuchPort9");
  view->Link().m_settings.port = 1;
  view->OnConnect();
  EXPECT_FALSE(view->Link().Connected());
  EXPECT_TRUE(shell.SawBox("Connection failed!"));
  ASSERT_EQ(CommErrors().size(), 1u);
  EXPECT_NE(CommErrors()[0].find("/dev/ttyNoSuchPort9"), std::string::npos);
  // A plain file is not a serial device either.
  const std::string file = testing::TempDir() + "/not_a_tty";
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  store.WriteProfileString("Comm", "Device 2", file);
  EXPECT_FALSE(view->OpenPort());
  EXPECT_NE(CommErrors().back().find("not a serial device"), std::string::npos);
  std::remove(file.c_str());
}

// Permission denied names the group that owns the device.  Root may open
// anything, so the open is tried from a child that gave up root.
TEST_F(LinkTest, PermissionDeniedNamesTheOwningGroup) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the device to another group";
  struct group* tty = getgrnam("tty");
  const gid_t gid = tty ? tty->gr_gid : 5;
  const std::string expected = tty ? tty->gr_name : "with id 5";
  ASSERT_EQ(chown(pty.SlavePath().c_str(), 0, gid), 0);
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0660), 0);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    CPosixSerialDevice device;
    const bool opened = device.Open(pty.SlavePath());
    const std::string text = device.LastError();
    (void)!write(fds[1], text.data(), text.size());
    _exit(opened ? 1 : 0);
  }
  close(fds[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << text;
  EXPECT_NE(text.find("permission denied"), std::string::npos) << text;
  EXPECT_NE(text.find("group " + expected), std::string::npos) << text;
}

TEST_F(LinkTest, WriteBytesDeliversTheBlockAndFailsWithoutAPort) {
  const uint8_t block[] = {0x41, 0x01, 0x10, 0x3B, 0x02, 0x00, 0xFF, 0x0A, 0x0D};
  EXPECT_FALSE(view->Link().WriteBytes(block, sizeof block));  // nothing open
  ASSERT_TRUE(view->OpenPort());
  EXPECT_TRUE(view->Link().WriteBytes(block, sizeof block));
  // Raw line: CR, LF and 0xFF pass unchanged.
  EXPECT_EQ(pty.ReadBytes(sizeof block, 5000), std::vector<uint8_t>(block, block + sizeof block));
  std::vector<uint8_t> big(3000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 13);
  std::vector<uint8_t> got;
  std::thread reader([&] { got = pty.ReadBytes(big.size(), 10000); });
  EXPECT_TRUE(view->Link().WriteBytes(big.data(), static_cast<unsigned>(big.size())));
  reader.join();
  EXPECT_EQ(got, big);
  view->ClosePort();
  EXPECT_FALSE(view->Link().WriteBytes(block, 1));
}

TEST(SerialPorts, ListsOnlyDevicesThatExist) {
  for (const std::string& path : ListSerialDevices()) {
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
    const bool known = path.rfind("/dev/ttyS", 0) == 0 || path.rfind("/dev/ttyUSB", 0) == 0 ||
                       path.rfind("/dev/ttyACM", 0) == 0 || path.rfind("/dev/serial/by-id/", 0) == 0;
    EXPECT_TRUE(known) << path;
  }
}
