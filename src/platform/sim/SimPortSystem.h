#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "platform/PortSystem.h"
#include "platform/sim/SimSerialLine.h"
#include "platform/sim/VirtualTime.h"

namespace platform::sim {

// COM ports in virtual time for run tests: a test places simulated lines on
// chosen COM numbers and attaches peers (instrument models) to their far
// ends; every other number is absent. A port can also be marked as held by
// another program or as lacking permission.
class SimPortSystem final : public PortSystem {
 public:
  explicit SimPortSystem(VirtualTime& time) : m_time(time) {}

  // The line on COMn, created on first use. It lives as long as this object.
  SimSerialLine& AddLine(uint32_t comNumber);
  // Null when COMn has no line.
  SimSerialLine* Line(uint32_t comNumber);

  // COMn exists but another program has it open (it is created if needed).
  void SetHeldElsewhere(uint32_t comNumber, bool held);
  // COMn exists but this user may not open it.
  void SetNoPermission(uint32_t comNumber, bool denied);

  PortStatus Probe(uint32_t comNumber) override;
  PortOpenResult Open(uint32_t comNumber) override;

 private:
  struct Entry {
    std::unique_ptr<SimSerialLine> line;
    bool heldElsewhere = false;
    bool noPermission = false;
  };

  VirtualTime& m_time;
  std::map<uint32_t, Entry> m_ports;
};

}  // namespace platform::sim
