#pragma once

#include <array>
#include <cstdint>

#include "platform/PortSystem.h"

namespace update {

// The port system as the window's further ports see it. Every TComPort
// enumerates all 256 COM numbers when it is created; the window creates one
// per usable port right after it has enumerated them itself, so while it does
// that the probes are answered from that enumeration instead of opening every
// device again (256 ports would otherwise mean 65536 opens at start-up).
// Outside Remember/Forget everything goes to the real port system; opening
// always does.
class PortProbeCache final : public platform::PortSystem {
 public:
  explicit PortProbeCache(platform::PortSystem& ports) : m_ports(ports) {}

  // Answers probes with `status` (index = COM number - 1) until Forget.
  void Remember(const std::array<platform::PortStatus, 256>& status) {
    m_status = status;
    m_remembering = true;
  }
  void Forget() { m_remembering = false; }

  platform::PortStatus Probe(uint32_t comNumber) override {
    if (m_remembering && comNumber >= 1 && comNumber <= m_status.size()) return m_status[comNumber - 1];
    return m_ports.Probe(comNumber);
  }
  platform::PortOpenResult Open(uint32_t comNumber) override { return m_ports.Open(comNumber); }

 private:
  platform::PortSystem& m_ports;
  std::array<platform::PortStatus, 256> m_status{};
  bool m_remembering = false;
};

}  // namespace update
