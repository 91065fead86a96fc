#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/DrainEvents.h"
#include "core/TimerSlots.h"
#include "platform/Host.h"
#include "serial/TDelay.h"

namespace testing_support {

// The re-entry the whole program relies on: a handler waits with message
// processing; a timer slot falls due during the wait; its tick posts a
// TimerEvent whose nested drain dispatches it before the waiting handler
// resumes. Runs the same on every Host, so the simulated and the real
// platform can be shown to agree.
class NestedWaitScenario {
 public:
  explicit NestedWaitScenario(platform::Host& host)
      : m_host(host),
        m_slots(m_queue, [this] { core::DrainEvents(m_queue, m_guiBusy, m_host.Pump()); }),
        m_wait(host.GetClock(), host.Pump()) {
    std::vector<platform::Timer*> raw;
    for (int i = 1; i <= 5; ++i) {
      m_timers.push_back(host.CreateTimer());
      m_timers.back()->SetTag(i);
      raw.push_back(m_timers.back().get());
    }
    m_slots.RegisterTimers(raw);
    m_wait.SetEnable(true);
    m_queue.Subscribe(core::MakeHandler<&NestedWaitScenario::Handle>(this));
  }

  // Presses "OK" and returns what happened, in order.
  std::vector<std::string> Run() {
    m_queue.PostKey(13);
    core::DrainEvents(m_queue, m_guiBusy, m_host.Pump());
    return m_trace;
  }

  uint32_t ElapsedAtTick() const { return m_tickAt - m_startAt; }
  uint32_t ElapsedAtResume() const { return m_resumeAt - m_startAt; }

 private:
  core::Event Handle(core::EventQueue&, core::Event event) {
    if (event.kind == core::kKeyEvent && event.code == 13) {
      m_startAt = m_host.GetClock().TickCount();
      m_trace.push_back("outer handler waits");
      m_slot = m_slots.StartSlot(100);
      m_wait.DelayTime(300, true);
      m_resumeAt = m_host.GetClock().TickCount();
      m_trace.push_back("outer handler resumes");
      return core::ClearEvent();
    }
    if (event.kind == core::kTimerEvent && event.code == m_slot && m_slot != 0) {
      m_tickAt = m_host.GetClock().TickCount();
      m_slot = m_slots.StopSlot(m_slot);
      m_trace.push_back("nested drain dispatched the tick");
      return core::ClearEvent();
    }
    return event;
  }

  platform::Host& m_host;
  core::EventQueue m_queue;
  int m_guiBusy = 0;
  std::vector<std::unique_ptr<platform::Timer>> m_timers;
  core::TimerSlots m_slots;
  serial::TDelay m_wait;
  int m_slot = 0;
  uint32_t m_startAt = 0, m_tickAt = 0, m_resumeAt = 0;
  std::vector<std::string> m_trace;
};

inline const std::vector<std::string>& ExpectedNestedTrace() {
  static const std::vector<std::string> trace = {
      "outer handler waits", "nested drain dispatched the tick", "outer handler resumes"};
  return trace;
}

}  // namespace testing_support
