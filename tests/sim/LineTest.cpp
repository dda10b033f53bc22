// The line itself: the host closing and reopening it, resets from opening it
// at the bootstrap rate, the rate read from the line, and pacing.
#include <chrono>
#include <cmath>
#include <thread>

#include "SimFixture.h"

TEST_F(SimTest, StateSurvivesTheHostClosingAndReopeningTheLine) {
  StartSim();
  BootTalker();
  WriteBytes(0x0300, {0xAB});
  line.Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(vc->Mode(), SimMode::Talker);
  ASSERT_TRUE(line.Open(vc->SlavePath(), kNormal));
  EXPECT_EQ(ReadByte(0x0300), 0xAB);
  EXPECT_EQ(vc->HostBaud(), kNormal);
}

TEST_F(SimTest, OpeningAtTheBootstrapRateResetsARunningTargetWhenAsked) {
  SimOptions o = FastOptions();
  o.resetOnBootstrapRateOpen = true;
  StartSim(o);
  BootTalker();
  // Closed after the download at the bootstrap rate and reopened at the
  // normal one, as a boot load does: the talker must keep running even
  // though the line still shows the old rate for a moment.
  ASSERT_TRUE(line.SetBaud(kBoot));
  line.Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  ASSERT_TRUE(line.Open(vc->SlavePath(), kNormal));
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0x37, 0x01}));
  line.Send(0x01);
  line.Receive(1);

  // Reopened at once, as fast as a program can: the open is still seen.
  line.Close();
  ASSERT_TRUE(line.Open(vc->SlavePath(), kBoot));
  EXPECT_TRUE(vc->WaitForMode(SimMode::Bootstrap, 3000));
  BootTalker();  // and a new download goes through

  // Even when the download follows the open at once.
  ASSERT_TRUE(line.SetBaud(kNormal));
  line.Close();
  ASSERT_TRUE(line.Open(vc->SlavePath(), kBoot));
  BootTalker();
}

TEST_F(SimTest, OpeningAtTheBootstrapRateWithoutTheOptionChangesNothing) {
  StartSim();
  BootTalker();
  line.Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  ASSERT_TRUE(line.Open(vc->SlavePath(), kBoot));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(vc->Mode(), SimMode::Talker);
}

TEST_F(SimTest, PacedBytesTakeTenBitTimesEach) {
  SimOptions o = FastOptions();
  o.pace = true;
  StartSim(o);
  // 1 + 24 bytes at 1,200 bit/s: at least 25 character times of 8.33 ms.
  auto start = std::chrono::steady_clock::now();
  auto loader = MakeLoader(24);
  std::vector<uint8_t> wire = StartByteThen(loader);
  ASSERT_TRUE(line.Send(wire));
  EXPECT_EQ(line.Receive(24), loader);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(205));
  ASSERT_TRUE(vc->WaitForMode(SimMode::Talker, 5000));
  auto trace = vc->Trace();
  ASSERT_EQ(trace.size(), 49u);
  // The first echo leaves one character time after its byte arrived.
  EXPECT_NEAR(trace[2].seconds - trace[1].seconds, 10.0 / kBoot, 1e-6);
}

// Paced, every answer is written no earlier than it is due, and the trace
// and the lateness record say when it was written: the benchmarks take the
// controller's own delay from them and leave it out of the host's.
TEST_F(SimTest, PacedAnswersRecordWhenTheyReachedTheLine) {
  SimOptions o = FastOptions();
  o.pace = true;
  StartSim(o);
  BootTalker(32);
  Header(0x01, 4, 0xFE00);
  std::vector<uint8_t> got;
  for (int i = 0; i < 4; ++i) {
    auto one = line.Receive(1);
    ASSERT_EQ(one.size(), 1u);
    got.push_back(one[0]);
    ASSERT_TRUE(line.Send(one[0]));
  }
  line.Drain(50);
  size_t answers = 0;
  for (const SimTraceEntry& e : vc->Trace()) {
    if (e.fromHost) continue;
    ++answers;
    EXPECT_GE(e.delivered, e.seconds) << "byte " << answers;
  }
  EXPECT_EQ(answers, 5u);  // the complement and four bytes
  const std::vector<double> late = vc->Lateness();
  ASSERT_EQ(late.size(), answers);
  for (double l : late) EXPECT_GE(l, 0.0);
  vc->ClearTrace();
  EXPECT_TRUE(vc->Lateness().empty());
}

// A USB adapter's latency timer: answers reach the host only at its ticks,
// so an exchange that waits for each answer pays up to a tick per answer.
TEST_F(SimTest, AdapterLatencyHandsAnswersOverAtItsTicks) {
  SimOptions o = FastOptions();
  o.adapterLatencyMs = 16;
  StartSim(o);
  BootTalker(32);
  vc->ClearTrace();
  const auto start = std::chrono::steady_clock::now();
  Header(0x01, 4, 0xFE00);
  for (int i = 0; i < 4; ++i) {
    auto one = line.Receive(1);
    ASSERT_EQ(one.size(), 1u);
    ASSERT_TRUE(line.Send(one[0]));
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  line.Drain(50);
  size_t answers = 0;
  for (const SimTraceEntry& e : vc->Trace()) {
    if (e.fromHost) continue;
    ++answers;
    ASSERT_GE(e.delivered, 0.0);
    // Delivered on a tick (to within the serving thread's wake-up), never before it was sent.
    const double ticks = e.delivered / 0.016;
    EXPECT_LT(ticks - std::floor(ticks), 0.5) << "byte " << answers << " at " << e.delivered;
    EXPECT_GE(e.delivered + 1e-6, e.seconds);
  }
  EXPECT_EQ(answers, 5u);
  // Five answers in turn: at least four ticks apart in all.
  EXPECT_GT(seconds, 4 * 0.016);
}
