#pragma once

#include "platform/Host.h"
#include "platform/sim/SimTimer.h"
#include "platform/sim/VirtualTime.h"

namespace platform::sim {

// The host in virtual time: for run tests and for anything that must be
// deterministic.
class SimHost final : public Host {
 public:
  explicit SimHost(uint32_t startTick = 0) : m_time(startTick) {}

  Clock& GetClock() override { return m_time; }
  MessagePump& Pump() override { return m_time; }
  std::unique_ptr<Timer> CreateTimer() override { return std::make_unique<SimTimer>(m_time); }

  VirtualTime& Time() { return m_time; }

 private:
  VirtualTime m_time;
};

}  // namespace platform::sim
