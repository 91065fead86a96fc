#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/sim/SimHost.h"

namespace {

using platform::sim::HangError;
using platform::sim::VirtualTime;

TEST(VirtualTime, TimeMovesOnlyInsideWaits) {
  VirtualTime time(1000);
  EXPECT_EQ(time.TickCount(), 1000u);
  time.ProcessMessages();
  EXPECT_EQ(time.TickCount(), 1000u);
  time.Sleep(250);
  EXPECT_EQ(time.TickCount(), 1250u);
  time.ProcessUntil(1300);
  EXPECT_EQ(time.TickCount(), 1300u);
  time.ProcessUntil(1200);  // over already: one round, no time
  EXPECT_EQ(time.TickCount(), 1300u);
}

TEST(VirtualTime, ActionsAtTheSameInstantRunInSchedulingOrder) {
  VirtualTime time;
  std::string order;
  time.ScheduleAt(5000, [&] { order += 'b'; });
  time.ScheduleAt(3000, [&] { order += 'a'; });
  time.ScheduleAt(5000, [&] { order += 'c'; });
  const auto cancelled = time.ScheduleAt(5000, [&] { order += 'x'; });
  time.ScheduleAt(5000, [&] {
    order += 'd';
    time.ScheduleAfter(0, [&] { order += 'e'; });  // same instant, after the others
  });
  EXPECT_TRUE(time.Cancel(cancelled));
  EXPECT_FALSE(time.Cancel(cancelled));
  time.Sleep(10);
  EXPECT_EQ(order, "abcde");
}

TEST(VirtualTime, SleepRunsActionsButDeliversNoMessages) {
  VirtualTime time;
  int delivered = 0;
  time.ScheduleAfter(2000, [&] { time.Post([&] { ++delivered; }); });
  time.Sleep(5);
  EXPECT_EQ(delivered, 0);
  EXPECT_EQ(time.PendingMessages(), 1u) << "the message waits like in a frozen window";
  time.ProcessMessages();
  EXPECT_EQ(delivered, 1);
}

TEST(VirtualTime, WaitForMessagesJumpsToTheNextMessage) {
  VirtualTime time;
  uint32_t seenAt = 0;
  time.ScheduleAfter(40'000'000, [&] { time.Post([&] { seenAt = time.TickCount(); }); });
  time.WaitForMessages();
  EXPECT_EQ(seenAt, 40'000u);
}

TEST(VirtualTime, WaitForMessagesWithNothingScheduledFailsInsteadOfHanging) {
  VirtualTime time;
  try {
    time.WaitForMessages();
    FAIL() << "expected a HangError";
  } catch (const HangError& e) {
    EXPECT_NE(std::string(e.what()).find("nothing scheduled"), std::string::npos);
  }
}

TEST(VirtualTime, ARunawayWaitFailsAtTheTimeLimit) {
  platform::sim::SimHost host;
  auto timer = host.CreateTimer();  // something always scheduled
  timer->SetInterval(1000);
  timer->SetEnabled(true);
  host.Time().SetTimeLimit(60'000'000);
  EXPECT_THROW(host.Time().RunFor(120'000), HangError);
}

TEST(VirtualTime, NestedPumpsDeliverInPostingOrder) {
  VirtualTime time;
  std::vector<int> order;
  time.Post([&] {
    order.push_back(1);
    time.Post([&] { order.push_back(3); });
    time.ProcessMessages();  // nested: delivers 2 and 3 before 1 returns
    order.push_back(4);
  });
  time.Post([&] { order.push_back(2); });
  time.ProcessMessages();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(VirtualTime, PostFromAnotherThreadIsDelivered) {
  VirtualTime time;
  int delivered = 0;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) time.Post([&] { ++delivered; });
  });
  worker.join();
  time.ProcessMessages();
  EXPECT_EQ(delivered, 100);
}

TEST(VirtualTime, TimersCoalesceWhileTheWindowIsFrozenAndRestartOnChange) {
  platform::sim::SimHost host;
  auto timer = host.CreateTimer();
  std::vector<uint32_t> ticks;
  timer->SetOnTick([&](platform::Timer&) { ticks.push_back(host.Time().TickCount()); });
  timer->SetInterval(100);
  timer->SetEnabled(true);
  host.Time().Sleep(1000);  // ten falls due, one tick message
  host.Time().ProcessMessages();
  EXPECT_EQ(ticks, (std::vector<uint32_t>{1000}));

  ticks.clear();
  host.Time().RunFor(50);
  timer->SetInterval(200);  // restarts from now (1050)
  host.Time().RunFor(400);
  EXPECT_EQ(ticks, (std::vector<uint32_t>{1100 - 50 + 200, 1450}));
  timer->SetInterval(200);  // same value: no restart
  host.Time().RunFor(200);
  EXPECT_EQ(ticks.back(), 1650u);
}

TEST(VirtualTime, ProcessUntilCrossesTheTickWrap) {
  VirtualTime time(0xFFFFFF00u);
  std::vector<uint32_t> seen;
  time.ScheduleAfter(500'000, [&] { time.Post([&] { seen.push_back(time.TickCount()); }); });
  const uint32_t deadline = time.TickCount() + 1000;  // wraps to 0x2E8
  EXPECT_LT(deadline, 0xFFFFFF00u);
  time.ProcessUntil(deadline);
  EXPECT_EQ(time.TickCount(), deadline);
  EXPECT_EQ(time.NowMicros(), 1'000'000u);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0xFFFFFF00u + 500}));
}

}  // namespace
