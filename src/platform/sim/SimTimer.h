#pragma once

#include <memory>

#include "platform/Timer.h"
#include "platform/sim/VirtualTime.h"

namespace platform::sim {

// A window timer in virtual time. When it falls due it posts one tick
// message, unless its previous tick is still waiting in the queue (ticks of
// one timer coalesce, as window timer messages do). A tick that is still
// queued when the timer is stopped or restarted is dropped.
class SimTimer final : public Timer {
 public:
  explicit SimTimer(VirtualTime& time);
  ~SimTimer() override;

 private:
  void Arm() override;
  void OnDue();

  VirtualTime& m_time;
  VirtualTime::ActionId m_due = 0;
  bool m_tickQueued = false;
  uint64_t m_generation = 0;
  // Queued tick messages hold a weak reference, so a destroyed timer's
  // ticks are dropped instead of touching freed memory.
  std::shared_ptr<SimTimer*> m_self;
};

}  // namespace platform::sim
