#pragma once

#include <array>
#include <functional>
#include <vector>

#include "core/EventQueue.h"
#include "platform/Timer.h"

namespace core {

// Numbered alarms over the window's timers. A procedure takes a slot with
// StartSlot, recognises its TimerEvents by the slot number and gives the
// slot back with StopSlot. The expiry of a slot arrives as a TimerEvent
// whose code is the timer's tag, followed by a drain.
class TimerSlots {
 public:
  static constexpr int kMaxTimers = 20;

  // `drain` runs DrainEvents for the window after a tick has been posted.
  TimerSlots(EventQueue& queue, std::function<void()> drain);

  // Slot i (1-based) is the i-th timer; clears every in-use flag and makes
  // TimerIntervall the tick handler of each timer. At most 20 are kept.
  void RegisterTimers(const std::vector<platform::Timer*>& timers);

  // Takes the first free slot among all but the last one; when those are
  // all in use the last slot is taken whether it is in use or not (it is
  // re-armed with the new interval). Returns the slot number.
  int StartSlot(int intervalMs);
  // Frees the slot and stops its timer; nothing for numbers below 1.
  // Always 0, so `slot = StopSlot(slot)` leaves the caller holding none.
  int StopSlot(int slot);
  // Starts the slot's full interval anew; nothing when the slot is not in use.
  void RestartSlot(int slot);

  // The shared tick handler: posts a TimerEvent with the timer's tag and
  // drains, unless the timer has been disabled meanwhile.
  void TimerIntervall(platform::Timer& timer);

  bool InUse(int slot) const;
  int RegisteredCount() const { return static_cast<int>(m_timers.size()); }

 private:
  platform::Timer* TimerOf(int slot) const;

  EventQueue& m_queue;
  std::function<void()> m_drain;
  std::vector<platform::Timer*> m_timers;
  std::array<bool, kMaxTimers + 1> m_inUse{};
};

}  // namespace core
