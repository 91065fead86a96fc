// The main window as far as a programmer needs it, for the programmer tests
// and benchmarks: the event queue with the window's own handler at the
// bottom, five timer slots over the host's timers (slot numbers 1..5), the
// delay component, and data notifications turned into kDataArrived and a
// drain. GUI thread only; the host and the delay's pump outlive the window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/DrainEvents.h"
#include "core/EventCodes.h"
#include "core/EventHandler.h"
#include "core/EventQueue.h"
#include "core/TimerSlots.h"
#include "platform/Host.h"
#include "programmers/ProgrammerHost.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"

namespace testing_support {

class ProgrammerWindow : public programmers::ProgrammerHost, public serial::V24Listener {
 public:
  ProgrammerWindow(platform::Host& host, platform::MessagePump& delayPump)
      : timerSlots(queue, [this] { DrainEvents(); }), delay(host.GetClock(), delayPump), m_host(host) {
    for (int i = 0; i < 5; ++i) {
      m_timers.push_back(host.CreateTimer());
      m_timers.back()->SetTag(i + 1);  // the form gives Timer1..Timer5 their slot numbers
    }
    std::vector<platform::Timer*> raw;
    for (auto& t : m_timers) raw.push_back(t.get());
    timerSlots.RegisterTimers(raw);
    delay.SetEnable(true);
    queue.Subscribe(core::MakeHandler<&ProgrammerWindow::WindowHandler>(this));
  }
  ~ProgrammerWindow() override = default;
  ProgrammerWindow(const ProgrammerWindow&) = delete;
  ProgrammerWindow& operator=(const ProgrammerWindow&) = delete;

  void DrainEvents() override { core::DrainEvents(queue, m_guiBusy, m_host.Pump()); }
  core::EventQueue& Events() override { return queue; }
  core::TimerSlots& Slots() override { return timerSlots; }
  platform::MessagePump& Pump() override { return m_host.Pump(); }
  void AppendToVersionField(const std::string& text) override { versionField += text; }
  double LocalDayNumber() override { return localDayNumber; }

  // Data becomes kDataArrived; a hang-up of the port becomes kConnectionLost,
  // as the window posts it while a programmer runs.
  void OnV24Message(uint32_t message, uint32_t com) override {
    if (message == serial::WM_V24_RX) {
      queue.PostCode(core::codes::kDataArrived, core::EventText::Number(static_cast<int32_t>(com)));
    } else if (message == serial::WM_V24_HANGUP) {
      queue.PostCode(core::codes::kConnectionLost, core::EventText::Number(static_cast<int32_t>(com)));
    } else {
      return;
    }
    DrainEvents();
  }

  core::EventQueue queue;
  core::TimerSlots timerSlots;
  serial::TDelay delay;
  // What AppendToVersionField added.
  std::string versionField;
  // The local time the window reports: 1 January 2003 12:00 unless a test sets it.
  double localDayNumber = 37622.5;

 protected:
  // What reaches the window's own handler (it consumes everything): the
  // device port's data (kDataArrived) to parse into lines, and what the programmer
  // let pass.
  virtual void OnWindowEvent(core::EventQueue& queue, const core::Event& event) = 0;

 private:
  core::Event WindowHandler(core::EventQueue& q, core::Event event) {
    OnWindowEvent(q, event);
    return core::ClearEvent();
  }

  platform::Host& m_host;
  int m_guiBusy = 0;
  std::vector<std::unique_ptr<platform::Timer>> m_timers;
};

}  // namespace testing_support
