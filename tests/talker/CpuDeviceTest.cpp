// The in-process device itself: its name, its clock, the bits on its wire
// in both directions, and its host-side queue.
#include <cmath>

#include "TalkerRig.h"
#include "board.h"

namespace {

class CpuDeviceTest : public ::testing::Test {
 protected:
  bool OpenAt(int baud) {
    if (!device.IsOpen() && !device.Open(CCpuDevice::kDefaultName)) return false;
    CommState state;
    state.baudRate = baud;
    return device.SetCommState(state);
  }
  void Send(const Bytes& bytes) {
    int error = 0;
    ASSERT_EQ(device.Write(bytes.data(), static_cast<unsigned>(bytes.size()), error), bytes.size());
    ASSERT_EQ(error, 0);
  }
  CCpuDevice device;
};

TEST_F(CpuDeviceTest, AnswersToItsNameOnceAndNotWhileUnplugged) {
  EXPECT_FALSE(device.Open("/dev/ttyS0"));
  EXPECT_TRUE(device.Open(CCpuDevice::kDefaultName));
  EXPECT_FALSE(device.Open(CCpuDevice::kDefaultName));
  device.HangUp();
  uint32_t errors = 0, waiting = 0;
  int error = 0;
  EXPECT_FALSE(device.ClearCommError(errors, waiting, error));
  EXPECT_EQ(error, EIO);
  device.Close();
  EXPECT_FALSE(device.Open(CCpuDevice::kDefaultName));
  device.Replug();
  EXPECT_TRUE(device.Open(CCpuDevice::kDefaultName));
}

// Writing takes no time; waiting for an answer ends the moment it arrives;
// a pause lasts exactly the time asked for.
TEST_F(CpuDeviceTest, TimePassesOnlyWhileTheHostWaits) {
  ASSERT_TRUE(OpenAt(7812));
  const uint64_t start = device.Cycle();
  Send(Bytes(4, 0xFF));
  EXPECT_EQ(device.Cycle(), start);
  // The boot ROM echoes every byte after the sync byte.
  device.WaitForInput(100);
  ASSERT_EQ(device.TargetLog().size(), 1u);
  EXPECT_NEAR(static_cast<double>(device.Cycle()), static_cast<double>(device.TargetLog()[0].end), 16);
  const uint64_t before = device.Cycle();
  device.Sleep(10);
  EXPECT_NEAR(static_cast<double>(device.Cycle() - before), 0.010 * device.Machine().EHz(), 16);
}

// Behind a USB adapter's latency timer an answer reaches the host at the
// timer's next tick, not at its stop bit.
TEST_F(CpuDeviceTest, AdapterLatencyHoldsAnswersUntilTheNextTick) {
  device.SetAdapterLatency(16);
  ASSERT_TRUE(OpenAt(7812));
  Send(Bytes(2, 0xFF));
  device.WaitForInput(100);
  ASSERT_EQ(device.TargetLog().size(), 1u);
  const double tick = 0.016 * device.Machine().EHz();
  const double arrived = static_cast<double>(device.Cycle());
  EXPECT_GT(arrived, static_cast<double>(device.TargetLog()[0].end) + 16);
  (void)arrived;
  const double ticks = device.Now() * device.Machine().EHz() / tick;  // ticks since the device was made
  EXPECT_NEAR(ticks, std::round(ticks), 0.001);
  uint32_t errors = 0, waiting = 0;
  int error = 0;
  ASSERT_TRUE(device.ClearCommError(errors, waiting, error));
  EXPECT_EQ(waiting, 1u);
  // Purging the receive side lets go of what the adapter still held too.
  Send(Bytes(1, 0x55));
  device.Run(0.005);
  EXPECT_TRUE(device.PurgeComm(serial::kPurgeRxClear));
  device.Run(0.03);
  ASSERT_TRUE(device.ClearCommError(errors, waiting, error));
  EXPECT_EQ(waiting, 0u);
}

// The SCI samples each frame at its own rate: at the boot ROM's 7812 baud
// a byte sent at 7812 arrives as sent, one sent at 1200 does not.
TEST_F(CpuDeviceTest, FramesAtAnotherRateArriveAsTheSciSamplesThem) {
  ASSERT_TRUE(OpenAt(1200));
  Send({0x55});
  device.Run(0.02);
  ASSERT_FALSE(device.SciReceived().empty());
  const auto slow = device.SciReceived()[0];
  EXPECT_TRUE(slow.value != 0x55 || slow.framingError);
  device.ResetTarget();
  device.ClearTrace();
  ASSERT_TRUE(OpenAt(7812));
  Send({0x55});
  device.Run(0.02);
  ASSERT_EQ(device.SciReceived().size(), 1u);
  EXPECT_EQ(device.SciReceived()[0].value, 0x55);
  EXPECT_FALSE(device.SciReceived()[0].framingError);
}

// An answer that arrives while the host listens at another rate is garbled.
TEST_F(CpuDeviceTest, AnswersHeardAtAnotherRateAreGarbled) {
  ASSERT_TRUE(OpenAt(7812));
  Send({0xFF, 0x20, 0xFE});   // sync, then "bra ." as a loader
  ASSERT_TRUE(OpenAt(2400));  // the bytes written keep the rate they were written at
  device.WaitForInput(100);
  ASSERT_FALSE(device.TargetLog().empty());
  const auto& f = device.TargetLog()[0];
  EXPECT_EQ(f.byte, 0x20);
  EXPECT_NE(f.heard, f.byte);
}

// Purging the host's transmit queue drops what has not started; the frame
// under way finishes.
TEST_F(CpuDeviceTest, PurgeDropsWhatHasNotStarted) {
  ASSERT_TRUE(OpenAt(7812));
  Send({0xFF, 1, 2, 3, 4, 5});
  device.Run(0.0015);  // the sync byte is on the wire, the first data byte too
  EXPECT_TRUE(device.PurgeComm(serial::kPurgeTxAbort | serial::kPurgeTxClear));
  device.Run(0.02);
  EXPECT_EQ(device.HostLog().size(), 2u);
  EXPECT_EQ(device.HostBytes().size(), 6u);
  EXPECT_EQ(device.Machine().Ram()[0], 1);
  EXPECT_EQ(device.Machine().Ram()[1], 0x00);
}

}  // namespace
