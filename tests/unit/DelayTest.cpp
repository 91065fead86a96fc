#include <gtest/gtest.h>

#include "platform/sim/VirtualTime.h"
#include "serial/TDelay.h"

namespace {

using platform::sim::VirtualTime;
using serial::TDelay;

class DelayTest : public ::testing::Test {
 protected:
  VirtualTime time{100};
  TDelay wait{time, time};
  int handled = 0;
  void PostOne() {
    time.Post([this] { ++handled; });
  }
};

TEST_F(DelayTest, DisabledReturnsAtOnceAndProcessesNothing) {
  PostOne();
  wait.DelayTime(5000, true);
  EXPECT_EQ(time.TickCount(), 100u);
  EXPECT_EQ(handled, 0);
}

TEST_F(DelayTest, DividendShortensEveryWait) {
  wait.SetEnable(true);
  wait.SetDividend(4);
  wait.DelayTime(1000, false);
  EXPECT_EQ(time.TickCount(), 350u);
  wait.DelayTime(3, true);  // 3 / 4 = 0: no wait, no processing
  PostOne();
  wait.DelayTime(3, true);
  EXPECT_EQ(time.TickCount(), 350u);
  EXPECT_EQ(handled, 0);
}

TEST_F(DelayTest, DividendBelowOneIsStoredAsOne) {
  wait.SetDividend(0);
  EXPECT_EQ(wait.Dividend(), 1);
  wait.SetDividend(-7);
  EXPECT_EQ(wait.Dividend(), 1);
}

TEST_F(DelayTest, WithMessagesEverythingArrivingDuringTheWaitIsHandledAtItsTime) {
  wait.SetEnable(true);
  PostOne();
  uint32_t seenAt = 0;
  time.ScheduleAfter(700'000, [&] { time.Post([&] { seenAt = time.TickCount(); }); });
  wait.DelayTime(2000, true);
  EXPECT_EQ(handled, 1) << "at least one round of processing";
  EXPECT_EQ(seenAt, 800u) << "handled when it came, not at the end";
  EXPECT_EQ(time.TickCount(), 2100u);
}

TEST_F(DelayTest, WithoutMessagesTheWindowIsFrozen) {
  wait.SetEnable(true);
  time.ScheduleAfter(700'000, [&] { PostOne(); });
  wait.DelayTime(2000, false);
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(time.PendingMessages(), 1u);
  EXPECT_EQ(time.TickCount(), 2100u);
}

TEST(Delay, AWaitAcrossTheTickWrapLastsTheRequestedTime) {
  VirtualTime time(0xFFFFFFFFu - 300);
  TDelay wait(time, time);
  wait.SetEnable(true);
  wait.DelayTime(1000, true);
  EXPECT_EQ(time.NowMicros(), 1'000'000u);
  wait.DelayTime(1000, false);
  EXPECT_EQ(time.NowMicros(), 2'000'000u);
}

}  // namespace
