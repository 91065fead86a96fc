#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/DebugLog.h"
#include "core/EventQueue.h"

namespace {

using core::Event;
using core::EventQueue;
using core::MakeHandler;

TEST(EventQueue, EmptyQueueYieldsAnAllZeroEventAndKeepsItsPositions) {
  EventQueue queue;
  EXPECT_EQ(queue.FetchEvent(), Event{});
  queue.PostKey(13);
  queue.FetchEvent();
  const int32_t w = queue.Ring().WritePosition(), r = queue.Ring().ReadPosition();
  const Event e = queue.FetchEvent();
  EXPECT_EQ(e.kind, 0);
  EXPECT_EQ(e.reserved, 0u);
  EXPECT_EQ(e.code, 0);
  EXPECT_TRUE(e.text.IsNull());
  EXPECT_EQ(queue.Ring().WritePosition(), w);
  EXPECT_EQ(queue.Ring().ReadPosition(), r);
}

TEST(EventQueue, PostsCarryKindCodeAndText) {
  EventQueue queue;
  static const char kText[] = "I.2000 1234";
  float pressure = 1013.25f;
  queue.PostKey(13);
  queue.PostCode(10010, kText);
  queue.PostCode(10000, core::EventText::Number(3));
  queue.PostCode(10044, core::EventText::Number(0x90));
  queue.PostCode(10050, core::EventText::FloatRef(&pressure));
  queue.PostTimer(4);

  Event e = queue.FetchEvent();
  EXPECT_EQ(e.kind, core::kKeyEvent);
  EXPECT_EQ(e.code, 13);
  EXPECT_TRUE(e.text.IsNull());
  e = queue.FetchEvent();
  EXPECT_EQ(e.kind, core::kCodeEvent);
  EXPECT_EQ(e.code, 10010);
  EXPECT_EQ(e.text.Text(), kText);  // the address, not a copy
  e = queue.FetchEvent();
  EXPECT_EQ(e.text.Number(), 3);
  EXPECT_EQ(e.text.Text(), nullptr);
  EXPECT_EQ(queue.FetchEvent().text.Number(), 0x90);
  e = queue.FetchEvent();
  ASSERT_EQ(e.text.Float(), &pressure);
  EXPECT_FLOAT_EQ(*e.text.Float(), 1013.25f);
  e = queue.FetchEvent();
  EXPECT_EQ(e.kind, core::kTimerEvent);
  EXPECT_EQ(e.code, 4);
  EXPECT_EQ(e.reserved, 0u);
}

TEST(EventQueue, CodeZeroAndSlotZeroAreNotPosted) {
  EventQueue queue;
  queue.PostCode(0, "x");
  queue.PostTimer(0);
  EXPECT_EQ(queue.Ring().WritePosition(), 0);
  EXPECT_EQ(queue.FetchEvent().kind, 0);
}

TEST(EventQueue, FiftyWaitInOrderAndTheFiftyFirstIsRefusedVisibly) {
  std::vector<std::string> log;
  core::SetDebugLogSink([&](const std::string& line) { log.push_back(line); });
  EventQueue queue;
  for (int i = 1; i <= 50; ++i) queue.PostCode(i, "");
  EXPECT_EQ(queue.Ring().WritePosition(), EventQueue::kStoreBytes);
  queue.PostCode(51, "");
  EXPECT_EQ(queue.RejectedPosts(), 1u);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("code 51"), std::string::npos);
  for (int i = 1; i <= 50; ++i) EXPECT_EQ(queue.FetchEvent().code, i);
  EXPECT_EQ(queue.FetchEvent().kind, 0) << "no Event may come twice";
  // Both positions stand at the end and the queue reads as empty; the next
  // post wraps to the start.
  EXPECT_EQ(queue.Ring().ReadPosition(), EventQueue::kStoreBytes);
  queue.PostKey(13);
  EXPECT_EQ(queue.Ring().WritePosition(), static_cast<int32_t>(sizeof(Event)));
  EXPECT_EQ(queue.FetchEvent().code, 13);
  core::SetDebugLogSink(nullptr);
}

// Handlers that record the order in which they are called.
struct Recorder {
  Recorder(std::string n, std::vector<std::string>* c) : name(std::move(n)), calls(c) {}
  std::string name;
  std::vector<std::string>* calls;
  bool consume = false;
  EventQueue* unsubscribeFrom = nullptr;
  std::vector<Event> seen;

  Event Handle(EventQueue& queue, Event event) {
    calls->push_back(name);
    seen.push_back(event);
    if (unsubscribeFrom) queue.Unsubscribe(MakeHandler<&Recorder::Handle>(this));
    if (event.kind != 0 && consume) return core::ClearEvent();
    return event;
  }
  Event Other(EventQueue&, Event event) { return event; }
};

class HandlerChainTest : public ::testing::Test {
 protected:
  EventQueue queue;
  std::vector<std::string> calls;
  Recorder a{"A", &calls}, b{"B", &calls}, c{"C", &calls};
  void SubscribeAll() {
    for (Recorder* r : {&a, &b, &c}) queue.Subscribe(MakeHandler<&Recorder::Handle>(r));
  }
};

TEST_F(HandlerChainTest, NewestHandlerFirstAndEachGetsWhatTheOneBeforeReturned) {
  SubscribeAll();
  Event event;
  event.kind = core::kCodeEvent;
  event.code = 10010;
  const Event result = queue.DispatchEvent(event);
  EXPECT_EQ(calls, (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(result, event);

  calls.clear();
  b.consume = true;
  const Event consumed = queue.DispatchEvent(event);
  EXPECT_EQ(calls, (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(c.seen.back(), event);
  EXPECT_EQ(a.seen.back().kind, 0) << "older handlers receive the consumed Event";
  EXPECT_EQ(consumed.kind, 0);
}

TEST_F(HandlerChainTest, EmptyChainReturnsTheEventUnchanged) {
  Event event;
  event.kind = core::kKeyEvent;
  event.code = 13;
  EXPECT_EQ(queue.DispatchEvent(event), event);
}

TEST_F(HandlerChainTest, SubscriptionIsThePairOfFunctionAndOwner) {
  EXPECT_EQ(queue.Subscribe(MakeHandler<&Recorder::Handle>(&a)), 1);
  EXPECT_EQ(queue.Subscribe(MakeHandler<&Recorder::Handle>(&a)), 1);
  EXPECT_EQ(queue.HandlerCount(), 1u);
  queue.Subscribe(MakeHandler<&Recorder::Handle>(&b));
  queue.Subscribe(MakeHandler<&Recorder::Other>(&a));
  EXPECT_EQ(queue.HandlerCount(), 3u);

  EXPECT_EQ(queue.Unsubscribe(MakeHandler<&Recorder::Handle>(&c)), 0);
  EXPECT_EQ(queue.HandlerCount(), 3u);
  EXPECT_EQ(queue.Unsubscribe(MakeHandler<&Recorder::Other>(&a)), 1);
  EXPECT_EQ(queue.Unsubscribe(MakeHandler<&Recorder::Other>(&a)), 0);
  EXPECT_EQ(queue.HandlerCount(), 2u);
}

TEST_F(HandlerChainTest, UnsubscribingDuringADispatchTakesEffectWithTheNextEvent) {
  SubscribeAll();
  c.unsubscribeFrom = &queue;  // C removes itself while handling
  Event event;
  event.kind = core::kTimerEvent;
  event.code = 1;
  queue.DispatchEvent(event);
  EXPECT_EQ(calls, (std::vector<std::string>{"C", "B", "A"}));
  calls.clear();
  queue.DispatchEvent(event);
  EXPECT_EQ(calls, (std::vector<std::string>{"B", "A"}));
}

struct ChainEditor {
  Recorder* victim;
  Recorder* late;
  EventQueue* queue;
  Event Handle(EventQueue&, Event event) {
    // Remove an older handler whose turn has not come, add a new one.
    queue->Unsubscribe(MakeHandler<&Recorder::Handle>(victim));
    queue->Subscribe(MakeHandler<&Recorder::Handle>(late));
    return event;
  }
};

TEST_F(HandlerChainTest, PairsAreTakenBeforeAnyHandlerRuns) {
  queue.Subscribe(MakeHandler<&Recorder::Handle>(&a));
  ChainEditor editor{&a, &c, &queue};
  queue.Subscribe(MakeHandler<&ChainEditor::Handle>(&editor));
  Event event;
  event.kind = core::kKeyEvent;
  event.code = 13;
  queue.DispatchEvent(event);
  EXPECT_EQ(calls, (std::vector<std::string>{"A"})) << "A was unsubscribed but still due; C is new";
  calls.clear();
  queue.DispatchEvent(event);
  EXPECT_EQ(calls, (std::vector<std::string>{"C"}));
}

}  // namespace
