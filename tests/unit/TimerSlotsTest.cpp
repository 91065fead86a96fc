#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/DrainEvents.h"
#include "core/TimerSlots.h"
#include "platform/sim/SimHost.h"

namespace {

using core::Event;
using core::EventQueue;

struct TickLog {
  std::vector<std::pair<uint32_t, int>> ticks;  // (time, slot)
  platform::Clock* clock;
  Event Handle(EventQueue&, Event event) {
    if (event.kind == core::kTimerEvent) ticks.emplace_back(clock->TickCount(), event.code);
    return core::ClearEvent();
  }
};

class TimerSlotsTest : public ::testing::Test {
 protected:
  TimerSlotsTest() : slots(queue, [this] { core::DrainEvents(queue, guiBusy, host.Pump()); }) {
    std::vector<platform::Timer*> raw;
    for (int i = 1; i <= 5; ++i) {
      timers.push_back(host.CreateTimer());
      timers.back()->SetTag(i);
      raw.push_back(timers.back().get());
    }
    slots.RegisterTimers(raw);
    log.clock = &host.GetClock();
    queue.Subscribe(core::MakeHandler<&TickLog::Handle>(&log));
  }

  platform::sim::SimHost host;
  EventQueue queue;
  int guiBusy = 0;
  std::vector<std::unique_ptr<platform::Timer>> timers;
  core::TimerSlots slots;
  TickLog log;
};

TEST_F(TimerSlotsTest, SlotsAreTakenInOrderAndTheLastIsSharedWhenTheOthersAreBusy) {
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(slots.StartSlot(1000), i);
  EXPECT_EQ(slots.StartSlot(700), 5) << "slot 5 is taken again although it is in use";
  EXPECT_EQ(timers[4]->Interval(), 700u);
  slots.StopSlot(5);
  EXPECT_EQ(slots.StartSlot(300), 5) << "slots 1..4 busy: slot 5";
  EXPECT_EQ(slots.StopSlot(2), 0);
  EXPECT_FALSE(timers[1]->Enabled());
  EXPECT_EQ(slots.StartSlot(100), 2);
}

TEST_F(TimerSlotsTest, StopSlotOfZeroOrNegativeDoesNothing) {
  EXPECT_EQ(slots.StartSlot(100), 1);
  EXPECT_EQ(slots.StopSlot(0), 0);
  EXPECT_EQ(slots.StopSlot(-3), 0);
  EXPECT_TRUE(slots.InUse(1));
  EXPECT_TRUE(timers[0]->Enabled());
}

TEST_F(TimerSlotsTest, ExpiryPostsTheTagAndRepeatsUntilStopped) {
  const int slot = slots.StartSlot(6000);
  host.Time().RunFor(18500);
  ASSERT_EQ(log.ticks.size(), 3u);
  EXPECT_EQ(log.ticks[0], (std::pair<uint32_t, int>{6000, slot}));
  EXPECT_EQ(log.ticks[2].first, 18000u);
  slots.StopSlot(slot);
  host.Time().RunFor(20000);
  EXPECT_EQ(log.ticks.size(), 3u);
}

TEST_F(TimerSlotsTest, RestartSlotPushesTheTimeOutBack) {
  const int slot = slots.StartSlot(1000);
  host.Time().RunFor(800);
  slots.RestartSlot(slot);
  host.Time().RunFor(900);
  EXPECT_TRUE(log.ticks.empty());
  host.Time().RunFor(100);
  ASSERT_EQ(log.ticks.size(), 1u);
  EXPECT_EQ(log.ticks[0].first, 1800u);
}

TEST_F(TimerSlotsTest, RestartSlotOfAFreeSlotLeavesItsTimerOff) {
  slots.RestartSlot(3);
  EXPECT_FALSE(timers[2]->Enabled());
  slots.StopSlot(slots.StartSlot(100));
  slots.RestartSlot(1);
  EXPECT_FALSE(timers[0]->Enabled());
  host.Time().RunFor(1000);
  EXPECT_TRUE(log.ticks.empty());
}

TEST_F(TimerSlotsTest, ATickOfADisabledTimerPostsNothing) {
  const int slot = slots.StartSlot(100);
  timers[0]->SetEnabled(false);
  slots.TimerIntervall(*timers[0]);
  EXPECT_EQ(queue.FetchEvent().kind, 0);
  EXPECT_TRUE(log.ticks.empty());
  // And a tick already queued when the slot is stopped is dropped.
  timers[0]->SetEnabled(true);
  host.Time().Sleep(150);  // due, but the window is frozen
  slots.StopSlot(slot);
  host.Time().ProcessMessages();
  EXPECT_TRUE(log.ticks.empty());
}

}  // namespace
