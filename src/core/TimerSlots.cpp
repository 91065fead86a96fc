#include "core/TimerSlots.h"

namespace core {

TimerSlots::TimerSlots(EventQueue& queue, std::function<void()> drain)
    : m_queue(queue), m_drain(std::move(drain)) {}

void TimerSlots::RegisterTimers(const std::vector<platform::Timer*>& timers) {
  m_timers.clear();
  for (platform::Timer* timer : timers) {
    if (!timer || m_timers.size() == kMaxTimers) break;
    m_timers.push_back(timer);
    timer->SetOnTick([this](platform::Timer& fired) { TimerIntervall(fired); });
  }
  m_inUse.fill(false);
}

platform::Timer* TimerSlots::TimerOf(int slot) const {
  if (slot < 1 || slot > RegisteredCount()) return nullptr;
  return m_timers[static_cast<size_t>(slot - 1)];
}

bool TimerSlots::InUse(int slot) const {
  return slot >= 1 && slot <= RegisteredCount() && m_inUse[static_cast<size_t>(slot)];
}

int TimerSlots::StartSlot(int intervalMs) {
  if (m_timers.empty()) return 0;
  int slot = 1;
  while (slot < RegisteredCount() && m_inUse[static_cast<size_t>(slot)]) ++slot;
  m_inUse[static_cast<size_t>(slot)] = true;
  platform::Timer* timer = TimerOf(slot);
  timer->SetInterval(intervalMs > 0 ? static_cast<uint32_t>(intervalMs) : 0);
  timer->SetEnabled(true);
  return slot;
}

int TimerSlots::StopSlot(int slot) {
  if (platform::Timer* timer = TimerOf(slot)) {
    m_inUse[static_cast<size_t>(slot)] = false;
    timer->SetEnabled(false);
  }
  return 0;
}

void TimerSlots::RestartSlot(int slot) {
  if (!InUse(slot)) return;
  platform::Timer* timer = TimerOf(slot);
  const uint32_t interval = timer->Interval();
  timer->SetEnabled(false);
  timer->SetInterval(interval);
  timer->SetEnabled(true);
}

void TimerSlots::TimerIntervall(platform::Timer& timer) {
  if (!timer.Enabled()) return;
  m_queue.PostTimer(timer.Tag());
  m_drain();
}

}  // namespace core
