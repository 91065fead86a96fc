#include "platform/sim/SimTimer.h"

namespace platform::sim {

SimTimer::SimTimer(VirtualTime& time) : m_time(time), m_self(std::make_shared<SimTimer*>(this)) {}

SimTimer::~SimTimer() {
  if (m_due) m_time.Cancel(m_due);
}

void SimTimer::SetInterval(uint32_t ms) {
  if (ms == m_interval) return;
  m_interval = ms;
  Arm();
}

void SimTimer::SetEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  m_enabled = enabled;
  Arm();
}

void SimTimer::Arm() {
  if (m_due) m_time.Cancel(m_due);
  m_due = 0;
  ++m_generation;
  m_tickQueued = false;
  // As with the window timers: an interval of 0 never fires.
  if (m_enabled && m_interval > 0) {
    m_due = m_time.ScheduleAfter(static_cast<uint64_t>(m_interval) * 1000, [this] { OnDue(); });
  }
}

void SimTimer::OnDue() {
  m_due = m_time.ScheduleAfter(static_cast<uint64_t>(m_interval) * 1000, [this] { OnDue(); });
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
    if (timer.m_enabled) timer.FireTick();
  });
}

}  // namespace platform::sim
