// The bootstrap ROM: start byte, echoed download, end by length or silence,
// the loader's marker, and bytes sent at a rate the target is not using.
#include <chrono>
#include <thread>

#include "SimFixture.h"

TEST_F(SimTest, DownloadEchoesEveryLoaderByteButNotTheStartByte) {
  for (size_t size : {256u, 1024u}) {
    SCOPED_TRACE(size);
    StartSim();
    auto loader = MakeLoader(size);
    std::vector<uint8_t> wire = StartByteThen(loader);
    ASSERT_TRUE(line.Send(wire));
    EXPECT_EQ(line.Receive(size), loader);
    ASSERT_TRUE(vc->WaitForMode(SimMode::Talker, 5000));
    EXPECT_EQ(vc->LoaderBytes(), loader);
    EXPECT_EQ(vc->HostBytes(), wire);
    EXPECT_EQ(vc->TargetBytes(), loader);
    EXPECT_EQ(vc->Read(0x0005), loader[5]);  // stored from address 0
    EXPECT_EQ(vc->ListeningBaud(), kNormal);
    EXPECT_TRUE(line.Drain(50).empty());
    line.Close();
  }
}

TEST_F(SimTest, DownloadStopsAt1024BytesAndTheRestIsForTheTalker) {
  StartSim();
  auto loader = MakeLoader(1024);
  std::vector<uint8_t> wire = StartByteThen(loader);
  wire.push_back(0xC8);  // garbled at the bootstrap rate, so no identity comes back
  ASSERT_TRUE(line.Send(wire));
  EXPECT_EQ(line.Receive(1024), loader);
  EXPECT_TRUE(line.Drain(100).empty());
  EXPECT_EQ(vc->Mode(), SimMode::Talker);
  EXPECT_EQ(vc->LoaderBytes().size(), 1024u);
  auto trace = vc->Trace();
  ASSERT_FALSE(trace.empty());
  EXPECT_TRUE(trace.back().fromHost && trace.back().garbled);
}

TEST_F(SimTest, DownloadEndsAfterSilenceAndOnlyTheTalkerAnswers) {
  StartSim();
  std::vector<uint8_t> loader(300, 0x4E);  // no marker: foreign code
  std::vector<uint8_t> wire = StartByteThen(loader);
  ASSERT_TRUE(line.Send(wire));
  EXPECT_EQ(line.Receive(300).size(), 300u);
  ASSERT_TRUE(vc->WaitForMode(SimMode::Silent, 5000));
  ASSERT_TRUE(line.SetBaud(kNormal));
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_TRUE(line.Drain(100).empty());

  // Bytes before the start byte are not part of the download.
  vc->ResetIntoBootstrap();
  ASSERT_TRUE(line.SetBaud(kBoot));
  ASSERT_TRUE(line.Send({0x12, 0x00}));
  EXPECT_TRUE(line.Drain(60).empty());
  EXPECT_EQ(vc->Mode(), SimMode::Bootstrap);
}

TEST_F(SimTest, AnEmptyMarkerRunsAnyLoader) {
  SimOptions o = FastOptions();
  o.talkerSignature.clear();
  StartSim(o);
  ASSERT_TRUE(line.Send({0xFF, 0x01, 0x02, 0x03}));
  EXPECT_EQ(line.Receive(3), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(vc->WaitForMode(SimMode::Talker, 5000));
}

TEST_F(SimTest, BytesAtTheWrongRateAreGarbled) {
  StartSim();
  // Before the download the target listens at the bootstrap rate only.
  ASSERT_TRUE(line.SetBaud(kNormal));
  ASSERT_TRUE(line.Send({0xFF, 0x55}));
  EXPECT_TRUE(line.Drain(80).empty());
  EXPECT_EQ(vc->Mode(), SimMode::Bootstrap);
  auto trace = vc->Trace();
  ASSERT_EQ(trace.size(), 2u);
  for (const auto& e : trace) {
    EXPECT_TRUE(e.garbled);
    EXPECT_NE(e.received, e.byte);
  }
  EXPECT_EQ(vc->HostBaud(), kNormal);

  // After it, a host still at the bootstrap rate is not understood.
  ASSERT_TRUE(line.SetBaud(kBoot));
  BootTalker();
  ASSERT_TRUE(line.SetBaud(kBoot));
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_TRUE(line.Drain(80).empty());
  ASSERT_EQ(vc->Trace().size(), 1u);
  EXPECT_TRUE(vc->Trace()[0].garbled);
  // Within a UART's tolerance the byte gets through.
  ASSERT_TRUE(line.SetBaud(kNormal + 96));
  ASSERT_TRUE(line.Send(0xC8));
  EXPECT_EQ(line.Receive(2), (std::vector<uint8_t>{0x37, 0x01}));
}
