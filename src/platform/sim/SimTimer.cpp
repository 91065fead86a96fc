#include "platform/sim/SimTimer.h"

namespace platform::sim {

SimTimer::SimTimer(VirtualTime& time) : m_time(time), m_self(std::make_shared<SimTimer*>(this)) {}

SimTimer::~SimTimer() {
  if (m_due) m_time.Cancel(m_due);
}

void SimTimer::Arm() {
  if (m_due) m_time.Cancel(m_due);
  m_due = 0;
  ++m_generation;
  m_tickQueued = false;
  // As with the window timers: an interval of 0 never fires.
  if (Enabled() && Interval() > 0) {
    m_due = m_time.ScheduleAfter(static_cast<uint64_t>(Interval()) * 1000, [this] { OnDue(); });
  }
}

void SimTimer::OnDue() {
  m_due = m_time.ScheduleAfter(static_cast<uint64_t>(Interval()) * 1000, [this] { OnDue(); });
  if (m_tickQueued) return;
  m_tickQueued = true;
  std::weak_ptr<SimTimer*> weak = m_self;
  const uint64_t generation = m_generation;
  m_time.Post([weak, generation] {
    auto self = weak.lock();
    if (!self) return;
    SimTimer& timer = **self;
    if (generation != timer.m_generation) return;
    timer.m_tickQueued = false;
    if (timer.Enabled()) timer.FireTick();
  });
}

}  // namespace platform::sim
