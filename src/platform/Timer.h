#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// A repeating timer of the window, delivered through the message pump on the
// GUI thread. Semantics follow the framework timer the program was written
// for: changing the interval or the enabled flag of a running timer restarts
// its interval from now; setting a value it already has changes nothing.
class Timer {
 public:
  using TickHandler = std::function<void(Timer&)>;

  virtual ~Timer() = default;

  void SetInterval(uint32_t ms) {
    if (ms == m_interval) return;
    m_interval = ms;
    Arm();
  }
  uint32_t Interval() const { return m_interval; }
  void SetEnabled(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    Arm();
  }
  bool Enabled() const { return m_enabled; }

  // Called on the GUI thread at every tick while the timer is enabled.
  void SetOnTick(TickHandler handler) { m_onTick = std::move(handler); }

  // The component's tag: for the slot timers, the slot number.
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 protected:
  // Starts the interval anew from now; nothing fires while the timer is
  // disabled or its interval is 0.
  virtual void Arm() = 0;
  void FireTick() {
    if (m_onTick) m_onTick(*this);
  }

 private:
  uint32_t m_interval = 0;
  bool m_enabled = false;
  TickHandler m_onTick;
  int m_tag = 0;
};

}  // namespace platform
