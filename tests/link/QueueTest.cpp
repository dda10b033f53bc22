#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "link/ByteFifo.h"
#include "link/Event.h"

TEST(ByteFifo, HoldsOneLessThanCapacityAndKeepsOrderWhenFull) {
  CByteFifo fifo(65535);
  for (uint32_t i = 0; i < 65534; ++i) ASSERT_TRUE(fifo.PutByte(static_cast<uint8_t>(i * 7)));
  EXPECT_EQ(fifo.Count(), 65534u);
  EXPECT_FALSE(fifo.PutByte(0xAA));
  EXPECT_EQ(fifo.Count(), 65534u);
  for (uint32_t i = 0; i < 65534; ++i) ASSERT_EQ(fifo.GetByte(), static_cast<uint8_t>(i * 7)) << i;
  EXPECT_EQ(fifo.Count(), 0u);
  // Empty: 0 and nothing changes.
  EXPECT_EQ(fifo.GetByte(), 0);
  EXPECT_EQ(fifo.Count(), 0u);
}

TEST(ByteFifo, WrapsPastTheEndOfStorageInOrder) {
  CByteFifo fifo(65535);
  for (int i = 0; i < 65000; ++i) fifo.PutByte(0);
  for (int i = 0; i < 65000; ++i) fifo.GetByte();
  // The cursors now sit near the end; these bytes straddle the wrap.
  for (int i = 0; i < 2000; ++i) ASSERT_TRUE(fifo.PutByte(static_cast<uint8_t>(i)));
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(fifo.GetByte(), static_cast<uint8_t>(i)) << i;
  EXPECT_EQ(fifo.Count(), 0u);
}

TEST(ByteFifo, ClearDiscardsPendingBytes) {
  CByteFifo fifo(16);
  for (int i = 1; i <= 10; ++i) fifo.PutByte(static_cast<uint8_t>(i));
  EXPECT_TRUE(fifo.Clear());
  EXPECT_EQ(fifo.Count(), 0u);
  EXPECT_EQ(fifo.GetByte(), 0);
  fifo.PutByte(0x42);
  EXPECT_EQ(fifo.GetByte(), 0x42);
}

TEST(ByteFifo, TinyCapacitiesHoldNothingRatherThanOverrun) {
  for (uint32_t capacity : {0u, 1u}) {
    CByteFifo fifo(capacity);
    EXPECT_FALSE(fifo.PutByte(1));
    EXPECT_EQ(fifo.Count(), 0u);
    EXPECT_EQ(fifo.GetByte(), 0);
  }
  CByteFifo two(2);
  EXPECT_TRUE(two.PutByte(5));
  EXPECT_FALSE(two.PutByte(6));
  EXPECT_EQ(two.GetByte(), 5);
}

// A producer and a consumer on a small queue that wraps constantly: any gap
// in the exclusion shows up as a lost, doubled or reordered byte.
TEST(ByteFifo, ProducerAndConsumerThreadsKeepEveryByteInOrder) {
  CByteFifo fifo(17);
  constexpr int kBytes = 200000;
  std::thread producer([&] {
    for (int i = 0; i < kBytes; ++i)
      while (!fifo.PutByte(static_cast<uint8_t>(i % 251))) std::this_thread::yield();
  });
  int received = 0;
  bool inOrder = true;
  while (received < kBytes) {
    if (fifo.Count() == 0) {
      std::this_thread::yield();
      continue;
    }
    if (fifo.GetByte() != static_cast<uint8_t>(received % 251)) inOrder = false;
    ++received;
  }
  producer.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(fifo.Count(), 0u);
}

TEST(Event, AutoResetReleasesOneWaitManualResetStaysSet) {
  CEvent autoEvent(CEvent::AutoReset);
  EXPECT_FALSE(autoEvent.Wait(0));
  autoEvent.Set();
  EXPECT_TRUE(autoEvent.IsSet());
  EXPECT_TRUE(autoEvent.Wait(0));
  EXPECT_FALSE(autoEvent.Wait(0));

  CEvent manual(CEvent::ManualReset);
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(10));
  manual.Reset();
  EXPECT_FALSE(manual.Wait(10));

  CEvent initially(CEvent::ManualReset, true);
  EXPECT_TRUE(initially.IsSet());
}

TEST(Event, SetFromAnotherThreadEndsAWait) {
  CEvent event(CEvent::AutoReset);
  std::atomic<bool> woke{false};
  std::thread waiter([&] { woke = event.Wait(-1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  event.Set();
  waiter.join();
  EXPECT_TRUE(woke);
  EXPECT_FALSE(event.IsSet());  // the wait consumed it
}
