// The receive thread and the connection through a real pseudo-terminal.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <thread>

#include "LinkFixture.h"

namespace {

struct BatchLog {
  std::mutex mutex;
  std::vector<int> sizes;
  std::vector<uint8_t> bytes;
  void Attach(CTrellisView& view) {
    view.Link().receiveObserver = [this](const uint8_t* data, int count) {
      std::lock_guard<std::mutex> lock(mutex);
      sizes.push_back(count);
      bytes.insert(bytes.end(), data, data + count);
    };
  }
  int Total() {
    std::lock_guard<std::mutex> lock(mutex);
    int total = 0;
    for (int s : sizes) total += s;
    return total;
  }
};

}  // namespace

TEST_F(LinkTest, WaitingBytesArriveInBatchesOfAtMost500InOrder) {
  BatchLog log;
  log.Attach(*view);
  ASSERT_TRUE(view->OpenPort());
  std::vector<uint8_t> data(1200);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  ASSERT_TRUE(pty.WriteAll(data));
  ASSERT_TRUE(WaitUntil([&] { return view->Link().Queue().Count() >= 1200; }));
  EXPECT_TRUE(view->Link().DataEvent().Wait(0));
  view->ClosePort();
  EXPECT_EQ(log.sizes, (std::vector<int>{500, 500, 200}));
  EXPECT_EQ(TakeQueue(), data);
}

TEST_F(LinkTest, OneByteBatchWakesTheWaiterAndLeavesNothingPending) {
  const uint8_t one = 0x00;  // a received zero is still a byte in the queue
  view->Link().OnReceive(&one, 1);
  EXPECT_EQ(view->Link().Queue().Count(), 1u);
  EXPECT_TRUE(view->Link().DataEvent().Wait(0));
  EXPECT_FALSE(view->Link().DataEvent().Wait(0));
  const uint8_t several[] = {1, 2, 3};
  view->Link().OnReceive(several, 3);
  EXPECT_TRUE(view->Link().DataEvent().Wait(0));
  EXPECT_EQ(TakeQueue(), (std::vector<uint8_t>{0, 1, 2, 3}));
  view->Link().OnReceive(several, 0);
  EXPECT_EQ(view->Link().Queue().Count(), 0u);
  EXPECT_FALSE(view->Link().DataEvent().IsSet());
}

// A peer that never pauses: Disconnect lets the batch in hand reach the
// queue, ends the thread and only then closes the device.
TEST_F(LinkTest, DisconnectWhileBytesArriveFinishesTheBatchThenCloses) {
  BatchLog log;
  log.Attach(*view);
  std::atomic<bool> afterClose{false};
  std::atomic<int> batchesAfterClose{0};
  view->Link().receiveObserver = [&, inner = view->Link().receiveObserver](const uint8_t* d, int n) {
    if (afterClose) ++batchesAfterClose;
    inner(d, n);
  };
  view->OnConnect();
  ASSERT_TRUE(view->Link().Connected());
  const int flags = fcntl(pty.Master(), F_GETFL);
  fcntl(pty.Master(), F_SETFL, flags | O_NONBLOCK);
  std::atomic<bool> stop{false};
  std::thread peer([&] {
    uint8_t chunk[97];
    uint32_t next = 0;
    while (!stop) {
      for (uint8_t& b : chunk) b = static_cast<uint8_t>(next++ % 253);
      ssize_t n = write(pty.Master(), chunk, sizeof chunk);
      if (n < 0) {
        next -= sizeof chunk;
        std::this_thread::yield();
      } else {
        next -= static_cast<uint32_t>(sizeof chunk - static_cast<size_t>(n));
      }
      // Paced well below what the queue holds in the time a close takes.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return view->Link().Queue().Count() > 2000; }));
  view->OnDisconnect();
  afterClose = true;
  EXPECT_FALSE(view->Link().Connected());
  EXPECT_FALSE(view->Link().RxThreadRunning());
  EXPECT_FALSE(view->Link().Device().IsOpen());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  stop = true;
  peer.join();
  EXPECT_EQ(batchesAfterClose, 0);
  // Every batch read went into the queue whole, and in order.
  const auto queued = TakeQueue();
  EXPECT_EQ(static_cast<int>(queued.size()), log.Total());
  for (size_t i = 0; i < queued.size(); ++i) ASSERT_EQ(queued[i], static_cast<uint8_t>(i % 253)) << i;
  EXPECT_TRUE(CommErrors().empty());
}

TEST_F(LinkTest, AHangUpEndsTheConnectionOnce) {
  view->OnConnect();
  ASSERT_TRUE(view->Link().Connected());
  view->Link().SetBootMode(true);
  const int redraws = shell.redraws;
  pty.CloseMaster();
  ASSERT_TRUE(WaitUntil([this] { return !view->Link().RxThreadRunning(); }));
  EXPECT_FALSE(view->Link().Connected());
  EXPECT_FALSE(view->Link().BootMode());
  EXPECT_GT(shell.redraws, redraws);
  const auto errors = CommErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Comm err: <CE-D-", 0), 0u) << errors[0];
  EXPECT_EQ(view->StatusLineText().rfind("Disconnected, ", 0), 0u);
  const uint8_t byte = 0x55;
  EXPECT_FALSE(view->Link().WriteBytes(&byte, 1));
  // The thread left instead of spinning; Disconnect lets go of the device.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(CommErrors().size(), 1u);
  view->OnDisconnect();
  EXPECT_FALSE(view->Link().Device().IsOpen());
  EXPECT_EQ(CommErrors().size(), 1u);
}

TEST_F(LinkTest, ConnectAndDisconnectAreIdempotent) {
  view->OnDisconnect();  // nothing open: nothing happens
  EXPECT_EQ(shell.redraws, 0);
  frame->m_pXmitPane->AddLine("old");
  frame->m_pDtcPane->AddLine("old");
  view->OnConnect();
  ASSERT_TRUE(view->Link().Connected());
  EXPECT_EQ(frame->m_pXmitPane->Count(), 0);
  EXPECT_EQ(frame->m_pDtcPane->Count(), 0);
  frame->m_pXmitPane->AddLine("kept");
  view->OnConnect();  // already connected: no second thread, panes kept
  EXPECT_EQ(frame->m_pXmitPane->Count(), 1);
  EXPECT_TRUE(shell.boxes.empty());
  view->OnDisconnect();
  EXPECT_FALSE(view->Link().Connected());
  view->OnDisconnect();
  EXPECT_FALSE(view->Link().Device().IsOpen());
}

TEST_F(LinkTest, StatusLineFollowsTheConnection) {
  const std::string blanks(24, ' ');
  EXPECT_EQ(view->StatusLineText(), "Disconnected, " + blanks);
  view->OnConnect();
  EXPECT_EQ(view->StatusLineText(), "Connected, Connection Normal" + blanks);
  view->Link().SetBootMode(true);
  EXPECT_EQ(view->StatusLineText(), "Connected, Connection Boot Mode" + blanks);
  view->OnDisconnect();
  EXPECT_FALSE(view->Link().BootMode());  // closing ends a programming connection too
  const std::string path = testing::TempDir() + "/status_comm.txt";
  shell.fileAnswers.push_back(path);
  view->OnLogComm();
  EXPECT_EQ(view->StatusLineText(), "Disconnected, Logging comms, " + blanks);
  std::remove(path.c_str());
}

TEST_F(LinkTest, EachConnectStartsARunInTheRunLog) {
  view->OnConnect();  // no run log yet: nothing written anywhere
  view->OnDisconnect();
  const std::string path = testing::TempDir() + "/runlog.txt";
  shell.fileAnswers.push_back(path);
  view->OnLogRun();
  ASSERT_EQ(shell.fileRequests.size(), 1u);
  EXPECT_EQ(shell.fileRequests[0].initialName, "logfile");
  view->OnConnect();
  view->OnDisconnect();
  view->OnConnect();
  view->OnDisconnect();
  std::ifstream in(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string header =
      R"(Run beginning on \d\d/\d\d/\d\d at \d\d:\d\d:\d\d\r\nTime       RunTime  RPM\r\n---------------\r\n)";
  EXPECT_TRUE(std::regex_match(content, std::regex(header + header))) << content;
  std::remove(path.c_str());

  // A failed Connect writes no run.
  shell.fileAnswers.push_back(path);
  view->OnLogRun();
  view->Link().m_settings.normalBaud = 0;
  view->OnConnect();
  std::ifstream again(path, std::ios::binary);
  EXPECT_EQ(again.peek(), EOF);
  std::remove(path.c_str());
}

// A caller that opens again without closing must not leave two threads or
// wait forever for the first one.
TEST_F(LinkTest, OpeningOverALiveConnectionReplacesIt) {
  ASSERT_TRUE(view->OpenPort());
  ASSERT_TRUE(view->OpenPort());
  EXPECT_TRUE(view->Link().Connected());
  EXPECT_TRUE(view->Link().RxThreadRunning());
  ASSERT_TRUE(pty.WriteAll({0x37, 0x00, 0xFE}));
  ASSERT_TRUE(WaitUntil([this] { return view->Link().Queue().Count() >= 3; }));
  EXPECT_EQ(TakeQueue(), (std::vector<uint8_t>{0x37, 0x00, 0xFE}));
  view->ClosePort();
  EXPECT_FALSE(view->Link().RxThreadRunning());
}
