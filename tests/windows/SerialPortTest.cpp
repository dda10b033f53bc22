// The COM port device's names and refusals: what a user sees when the port
// is missing or is not a port, and the ports a machine offers by default.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "link/Link.h"
#include "link/SerialDeviceWin32.h"
#include "shell/SettingsStore.h"

namespace {

TEST(SerialPortNames, ComNamesOpenThroughTheDeviceNamespace) {
  EXPECT_EQ(Win32DeviceName("COM1"), "\\\\.\\COM1");
  EXPECT_EQ(Win32DeviceName("com12"), "\\\\.\\COM12");
  EXPECT_EQ(Win32DeviceName("\\\\.\\COM3"), "\\\\.\\COM3");
  EXPECT_EQ(Win32DeviceName("COM"), "COM");
  EXPECT_EQ(Win32DeviceName("COMX1"), "COMX1");
  EXPECT_EQ(Win32DeviceName("\\\\.\\CNCA0"), "\\\\.\\CNCA0");
}

TEST(SerialPortNames, PortNumberDefaultsToTheComPortOfThatNumber) {
  SettingsStore* saved = g_settings;
  g_settings = nullptr;  // nothing stored: the defaults
  EXPECT_EQ(CLink::DevicePathForPort(0), "COM1");
  EXPECT_EQ(CLink::DevicePathForPort(3), "COM4");
  EXPECT_EQ(CLink::DevicePathForPort(4), "");
  g_settings = saved;
}

TEST(SerialPortOpen, MissingPortIsNamedAsSuch) {
  CWin32SerialDevice device;
  EXPECT_FALSE(device.Open("COM231"));
  EXPECT_FALSE(device.IsOpen());
  EXPECT_NE(device.LastError().find("Cannot open COM231: no such port"), std::string::npos) << device.LastError();
  EXPECT_EQ(device.LastErrorCode(), 2);  // ERROR_FILE_NOT_FOUND

  EXPECT_FALSE(device.Open(""));
  EXPECT_NE(device.LastError().find("no device is set"), std::string::npos);
}

TEST(SerialPortOpen, AFileIsNotAPort) {
  const auto path = std::filesystem::temp_directory_path() / "keston-not-a-port.txt";
  { std::ofstream(path) << "x"; }
  CWin32SerialDevice device;
  EXPECT_FALSE(device.Open(path.string()));
  EXPECT_NE(device.LastError().find("not a serial port"), std::string::npos) << device.LastError();
  EXPECT_FALSE(device.IsOpen());
  std::filesystem::remove(path);
}

// Every call on a closed device fails cleanly instead of using a dead handle.
TEST(SerialPortOpen, ClosedDeviceRefusesEveryCall) {
  CWin32SerialDevice device;
  uint32_t errors = 0, waiting = 0, events = 0;
  int error = 0;
  uint8_t byte = 0;
  CommState state;
  EXPECT_FALSE(device.SetCommMask(1));
  EXPECT_FALSE(device.PurgeComm(serial::kPurgeAll));
  EXPECT_FALSE(device.GetCommState(state));
  EXPECT_FALSE(device.SetCommState(state));
  EXPECT_FALSE(device.ClearCommError(errors, waiting, error));
  EXPECT_EQ(device.Read(&byte, 1, error), -1);
  EXPECT_EQ(device.Write(&byte, 1, error), 0u);
  EXPECT_NE(error, 0);
  EXPECT_FALSE(device.WaitCommEvent(events, error));
}

TEST(SerialPortOpen, LinkReportsThePortItCouldNotOpen) {
  CLink link(std::make_unique<CWin32SerialDevice>());
  std::string reported;
  link.errorObserver = [&](const std::string& line) { reported += line; };
  SettingsStore* saved = g_settings;
  g_settings = nullptr;
  link.m_settings.port = 3;  // COM4: not on a wine prefix nor on most machines
  const bool opened = link.OpenPort();
  g_settings = saved;
  if (opened) GTEST_SKIP() << "this machine has a COM4";
  EXPECT_NE(reported.find("COM4"), std::string::npos) << reported;
  EXPECT_FALSE(link.Connected());
}

}  // namespace
