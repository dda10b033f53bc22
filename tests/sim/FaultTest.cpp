// Faults injected on request, each seen from the host's side of the line.
#include <poll.h>

#include <chrono>
#include <thread>

#include "SimFixture.h"

TEST_F(SimTest, DroppedBytesNeverReachTheTarget) {
  StartSim();
  BootTalker();
  vc->DropHostBytes(2);
  ASSERT_TRUE(line.Send({0xC8, 0xC8}));
  EXPECT_TRUE(line.Drain(60).empty());
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0x37, 0x01}));
  auto trace = vc->Trace();
  ASSERT_GE(trace.size(), 3u);
  EXPECT_TRUE(trace[0].dropped && trace[1].dropped);
  EXPECT_FALSE(trace[2].dropped);
  EXPECT_EQ(vc->HostBytes(), (std::vector<uint8_t>{0xC8, 0xC8, 0xC8}));
}

TEST_F(SimTest, CorruptEchoSpoilsOneEchoOfTheNextWriteOnly) {
  StartSim();
  BootTalker();
  vc->CorruptEcho(2);
  Header(0x41, 3, 0x0100);
  ASSERT_TRUE(line.Send({0x10, 0x20, 0x30}));
  auto echo = line.Receive(3);
  ASSERT_EQ(echo.size(), 3u);
  EXPECT_EQ(echo[0], 0x10);
  EXPECT_NE(echo[1], 0x20);
  EXPECT_EQ(echo[2], 0x30);
  EXPECT_EQ(vc->Read(0x0101), 0x20);  // the memory itself is right
  WriteBytes(0x0100, {0x10, 0x20, 0x30});
}

TEST_F(SimTest, WrongComplementAnswersOneCommandAndTheCommandStillRuns) {
  StartSim();
  BootTalker();
  vc->WrongComplementNextCommand();
  ASSERT_TRUE(line.Send(0x41));
  auto reply = line.Receive(1);
  ASSERT_EQ(reply.size(), 1u);
  EXPECT_NE(reply[0], 0xBE);
  ASSERT_TRUE(line.Send({0x01, 0x01, 0x80, 0x6B}));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x6B});
  EXPECT_EQ(vc->Read(0x0180), 0x6B);
  WriteBytes(0x0181, {0x01});
}

TEST_F(SimTest, StallSilencesTheTargetUntilReset) {
  StartSim();
  BootTalker();
  // Stalled in the middle of an erase: its answer never comes either.
  ASSERT_TRUE(line.Send(0xD1));
  EXPECT_EQ(line.Receive(1), std::vector<uint8_t>{0x2E});
  ASSERT_TRUE(line.Send(0x3F));
  vc->Stall();
  EXPECT_EQ(vc->Mode(), SimMode::Stalled);
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_TRUE(line.Drain(300).empty());
  EXPECT_EQ(vc->HostBytes(), (std::vector<uint8_t>{0xD1, 0x3F, 0xC8}));  // still traced
  vc->ResetIntoBootstrap();
  EXPECT_EQ(vc->Mode(), SimMode::Bootstrap);
  ASSERT_TRUE(line.SetBaud(kBoot));
  BootTalker();
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0x37, 0x01}));
}

TEST_F(SimTest, HangUpTakesTheLineAway) {
  StartSim();
  BootTalker();
  vc->HangUp();
  EXPECT_EQ(vc->Mode(), SimMode::HungUp);
  pollfd p{line.Fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  EXPECT_TRUE(line.Receive(1, 100).empty());
  // The controller itself stays usable.
  vc->Write(0x0010, 0x42);
  EXPECT_EQ(vc->Read(0x0010), 0x42);
}

TEST_F(SimTest, RandomCorruptionIsRepeatableForASeed) {
  auto garbledPattern = [&](double rate, uint32_t seed) {
    StartSim();
    BootTalker();
    vc->SetRandomCorruption(rate, seed);
    // Unknown command bytes, so whatever they turn into, few answers follow.
    EXPECT_TRUE(line.Send(std::vector<uint8_t>(200, 0x00)));
    line.Drain(150);
    std::vector<bool> pattern;
    for (const auto& e : vc->Trace()) {
      if (!e.fromHost) continue;
      pattern.push_back(e.garbled);
      if (e.garbled) {
        EXPECT_NE(e.received, e.byte);
      }
    }
    line.Close();
    return pattern;
  };
  auto first = garbledPattern(0.5, 7);
  auto second = garbledPattern(0.5, 7);
  ASSERT_EQ(first.size(), 200u);
  EXPECT_EQ(first, second);
  auto hits = std::count(first.begin(), first.end(), true);
  EXPECT_GT(hits, 50);
  EXPECT_LT(hits, 150);
  auto all = garbledPattern(1.0, 3);
  EXPECT_EQ(std::count(all.begin(), all.end(), true), 200);
}

// A controller left serving for hours keeps a bounded trace; its traffic
// counts still cover everything.
TEST_F(SimTest, TracesStayBoundedWhileTheCountsGoOn) {
  SimOptions options = FastOptions();
  options.traceLimit = 600;
  StartSim(options);
  BootTalker();
  std::vector<uint8_t> block(200);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  for (int round = 0; round < 20; ++round) WriteBytes(0x0100, block);
  size_t fromHost = 0, toHost = 0;
  vc->TrafficCounts(fromHost, toHost);
  EXPECT_GE(fromHost, 20u * (4 + 200));
  EXPECT_GE(toHost, 20u * (1 + 200));
  EXPECT_LE(vc->TraceSize(), 3u * 600);
  EXPECT_LE(vc->HostBytes().size(), 600u);
  // What is kept is the newest: the last write's bytes end the host bytes.
  std::vector<uint8_t> host = vc->HostBytes();
  ASSERT_GE(host.size(), block.size());
  EXPECT_TRUE(std::equal(block.begin(), block.end(), host.end() - static_cast<std::ptrdiff_t>(block.size())));
}
