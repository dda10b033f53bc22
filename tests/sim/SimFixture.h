// Shared set-up for the controller's tests: a controller on a fresh
// pseudo-terminal and a raw client on its slave.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <algorithm>
#include <vector>

#include "RawLine.h"
#include "sim/VirtualController.h"

constexpr int kBoot = 1200;
constexpr int kNormal = 9600;

inline SimOptions FastOptions() {
  SimOptions o;
  o.bootstrapBaud = kBoot;
  o.normalBaud = kNormal;
  o.eraseTimeMs = 150;
  o.eepromWriteMs = 2;
  return o;
}

// A loader of `size` bytes that carries the talker's marker.
inline std::vector<uint8_t> MakeLoader(size_t size, const std::string& marker = "KESTON-VC-TALKER") {
  std::vector<uint8_t> loader(size);
  for (size_t i = 0; i < size; ++i) loader[i] = static_cast<uint8_t>(i * 7 + 3);
  std::copy(marker.begin(), marker.end(), loader.begin() + 4);
  return loader;
}

// What the host sends for a download: the start byte, then the loader.
inline std::vector<uint8_t> StartByteThen(const std::vector<uint8_t>& loader, uint8_t start = 0xFF) {
  std::vector<uint8_t> wire(loader.size() + 1, start);
  std::copy(loader.begin(), loader.end(), wire.begin() + 1);
  return wire;
}

class SimTest : public ::testing::Test {
 protected:
  void StartSim(const SimOptions& options = FastOptions()) {
    vc = std::make_unique<VirtualController>(options);
    ASSERT_TRUE(vc->Start());
    ASSERT_TRUE(line.Open(vc->SlavePath(), options.bootstrapBaud));
  }
  // Downloads a loader at the bootstrap rate and moves to the normal rate.
  void BootTalker(size_t size = 256) {
    auto loader = MakeLoader(size);
    std::vector<uint8_t> wire = StartByteThen(loader);
    ASSERT_TRUE(line.Send(wire));
    ASSERT_EQ(line.Receive(size), loader);
    ASSERT_TRUE(vc->WaitForMode(SimMode::Talker, 5000));
    ASSERT_TRUE(line.SetBaud(kNormal));
    vc->ClearTrace();
  }
  // Sends `command` and checks the complement before anything else goes out.
  void Header(uint8_t command, unsigned count, unsigned address) {
    ASSERT_TRUE(line.Send(command));
    ASSERT_EQ(line.Receive(1), std::vector<uint8_t>{static_cast<uint8_t>(~command)});
    ASSERT_TRUE(line.Send(
        {static_cast<uint8_t>(count), static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)}));
  }
  void WriteBytes(unsigned address, const std::vector<uint8_t>& data, uint8_t command = 0x41) {
    Header(command, data.size() & 0xFF, address);
    ASSERT_TRUE(line.Send(data));
    ASSERT_EQ(line.Receive(data.size()), data);
  }
  uint8_t ReadByte(unsigned address) {
    Header(0x01, 1, address);
    line.Send(0x00);
    auto got = line.Receive(1);
    return got.empty() ? 0 : got[0];
  }

  std::unique_ptr<VirtualController> vc;
  RawLine line;
};
