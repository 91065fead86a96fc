#pragma once

#include "platform/Host.h"
#include "platform/posix/MonotonicClock.h"
#include "platform/qt/QtMessagePump.h"
#include "platform/qt/QtTimer.h"

namespace platform::qt {

// The real host: monotonic tick counter, Qt event loop, QTimer timers.
// Create it on the GUI thread after the QApplication.
class QtHost final : public Host {
 public:
  QtHost() : m_pump(m_clock) {}

  Clock& GetClock() override { return m_clock; }
  MessagePump& Pump() override { return m_pump; }
  std::unique_ptr<Timer> CreateTimer() override { return std::make_unique<QtTimer>(); }

 private:
  posix::MonotonicClock m_clock;
  QtMessagePump m_pump;
};

}  // namespace platform::qt
