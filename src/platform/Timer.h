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

  virtual void SetInterval(uint32_t ms) = 0;
  virtual uint32_t Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;

  // Called on the GUI thread at every tick while the timer is enabled.
  void SetOnTick(TickHandler handler) { m_onTick = std::move(handler); }

  // The component's tag: for the slot timers, the slot number.
  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

 protected:
  void FireTick() {
    if (m_onTick) m_onTick(*this);
  }

 private:
  TickHandler m_onTick;
  int m_tag = 0;
};

}  // namespace platform
