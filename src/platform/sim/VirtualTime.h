#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "platform/Clock.h"
#include "platform/MessagePump.h"

namespace platform::sim {

// Thrown when a wait could never end: WaitForMessages with nothing
// scheduled, or virtual time running past the configured limit. In a test
// this turns a hang into a failure that names the cause.
class HangError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A deterministic discrete-event scheduler that stands in for the tick
// counter and the GUI thread's message pump.
//
// Two kinds of work are scheduled:
//  - actions: what happens in the world independently of the GUI thread
//    (a byte arriving on a line, a reader thread noticing it, a timer
//    falling due). They run when virtual time passes their instant, also
//    during Sleep.
//  - messages: what the GUI thread handles when it pumps. Posting does not
//    run anything; only ProcessMessages, WaitForMessages and ProcessUntil
//    deliver, so Sleep lets messages pile up as a frozen window does.
//
// Virtual time only moves inside the waits. Actions at the same instant run
// in the order they were scheduled; messages in the order they were posted.
// Time is kept in microseconds so byte times at high baud rates stay exact;
// the tick counter shows whole milliseconds.
class VirtualTime final : public Clock, public MessagePump {
 public:
  using ActionId = uint64_t;
  using Action = std::function<void()>;

  static constexpr uint64_t kDefaultLimitMicros = 48ull * 3600 * 1000 * 1000;

  // `startTick` is the tick counter's value at virtual time 0, so a test can
  // start just before the 32-bit wrap.
  explicit VirtualTime(uint32_t startTick = 0);

  // Clock
  uint32_t TickCount() const override;
  // Microseconds of virtual time since construction.
  uint64_t NowMicros() const { return m_now; }

  // Actions. An action scheduled in the past or for now runs at the next
  // point where the scheduler looks (before messages are delivered).
  ActionId ScheduleAt(uint64_t atMicros, Action action);
  ActionId ScheduleAfter(uint64_t delayMicros, Action action);
  // Returns false when the action has run already or was never scheduled.
  bool Cancel(ActionId id);
  size_t ScheduledActions() const { return m_actions.size(); }

  // MessagePump
  void ProcessMessages() override;
  void WaitForMessages() override;
  void ProcessUntil(uint32_t deadline) override;
  void Sleep(uint32_t ms) override;
  void Post(Message message) override;

  // Let `ms` of virtual time pass as an idle GUI thread would: pumping.
  void RunFor(uint32_t ms) { ProcessUntil(TickCount() + ms); }

  size_t PendingMessages() const;
  uint64_t DeliveredMessages() const { return m_delivered; }

  // Virtual time (microseconds since construction) past which any wait
  // fails with HangError.
  void SetTimeLimit(uint64_t micros) { m_limit = micros; }

 private:
  struct Key {
    uint64_t at;
    uint64_t seq;
    bool operator<(const Key& o) const { return at != o.at ? at < o.at : seq < o.seq; }
  };

  void RunDueActions();
  // Move to `micros` (not backwards), running every action due on the way.
  void AdvanceTo(uint64_t micros);
  bool NextActionTime(uint64_t& at) const;
  bool PopMessage(Message& out);
  uint64_t TargetFor(uint32_t deadline) const;
  [[noreturn]] void Hang(const std::string& why) const;

  uint32_t m_startTick;
  uint64_t m_now = 0;
  uint64_t m_seq = 0;
  uint64_t m_limit = kDefaultLimitMicros;
  std::map<Key, Action> m_actions;
  std::unordered_map<ActionId, Key> m_index;

  mutable std::mutex m_messagesLock;  // Post may come from any thread
  std::deque<Message> m_messages;
  uint64_t m_delivered = 0;
};

}  // namespace platform::sim
