#include <gtest/gtest.h>

#include <vector>

#include "core/DrainEvents.h"
#include "platform/sim/VirtualTime.h"

namespace {

using core::Event;
using core::EventQueue;
using core::MakeHandler;

// Posts one more Event from each dispatch until `remaining` runs out, and
// records what it saw.
struct Chain {
  int remaining = 0;
  std::vector<int> codes;
  Event Handle(EventQueue& queue, Event event) {
    codes.push_back(event.code);
    if (remaining-- > 0) queue.PostCode(event.code + 1, "");
    return core::ClearEvent();
  }
};

TEST(DrainEvents, KeepsDrainingWhileEachDispatchPostsOneMore) {
  EventQueue queue;
  platform::sim::VirtualTime time;
  Chain chain;
  chain.remaining = 25;
  queue.Subscribe(MakeHandler<&Chain::Handle>(&chain));
  int guiBusy = 0;
  queue.PostCode(1, "");
  core::DrainEvents(queue, guiBusy, time);
  ASSERT_EQ(chain.codes.size(), 26u);
  for (int i = 0; i < 26; ++i) EXPECT_EQ(chain.codes[static_cast<size_t>(i)], i + 1);
  EXPECT_EQ(queue.FetchEvent().kind, 0);
  EXPECT_EQ(guiBusy, 0);
}

TEST(DrainEvents, PumpsAfterEverySecondEvent) {
  EventQueue queue;
  platform::sim::VirtualTime time;
  Chain chain;
  queue.Subscribe(MakeHandler<&Chain::Handle>(&chain));
  int guiBusy = 0;
  for (int i = 1; i <= 5; ++i) queue.PostCode(i, "");
  // A message that posts another Event while the drain pumps: it is drained
  // by the same drain, after the two that were dispatched before the pump.
  int pumped = 0;
  time.Post([&] {
    ++pumped;
    EXPECT_EQ(guiBusy, 1) << "the drain marks the GUI busy while it pumps";
    queue.PostCode(100, "");
  });
  core::DrainEvents(queue, guiBusy, time);
  EXPECT_EQ(pumped, 1);
  EXPECT_EQ(chain.codes, (std::vector<int>{1, 2, 3, 4, 5, 100}));
}

TEST(DrainEvents, ANestedDrainInsideThePumpSkipsPumpingButCountsTheSkips) {
  EventQueue queue;
  platform::sim::VirtualTime time;
  Chain chain;
  queue.Subscribe(MakeHandler<&Chain::Handle>(&chain));
  int guiBusy = 3;  // a drain further out is inside the pump
  int pumped = 0;
  time.Post([&] { ++pumped; });
  for (int i = 1; i <= 4; ++i) queue.PostCode(i, "");
  core::DrainEvents(queue, guiBusy, time);
  EXPECT_EQ(pumped, 0);
  EXPECT_EQ(guiBusy, 5) << "one skip per pair of Events";

  // Past ten skips (the sixth pair here) the counter drops to 0 and the
  // pair after that pumps again.
  for (int i = 1; i <= 12; ++i) queue.PostCode(i, "");
  core::DrainEvents(queue, guiBusy, time);
  EXPECT_EQ(pumped, 0);
  EXPECT_EQ(guiBusy, 0);
  for (int i = 1; i <= 2; ++i) queue.PostCode(i, "");
  core::DrainEvents(queue, guiBusy, time);
  EXPECT_EQ(pumped, 1);
  EXPECT_EQ(guiBusy, 0);
}

}  // namespace
