#include "platform/sim/SimPortSystem.h"

#include <string>

#include "platform/sim/SimSerialPort.h"

namespace platform::sim {

SimSerialLine& SimPortSystem::AddLine(uint32_t comNumber) {
  Entry& e = m_ports[comNumber];
  if (!e.line) e.line = std::make_unique<SimSerialLine>(m_time, comNumber);
  return *e.line;
}

SimSerialLine* SimPortSystem::Line(uint32_t comNumber) {
  auto it = m_ports.find(comNumber);
  return it == m_ports.end() ? nullptr : it->second.line.get();
}

void SimPortSystem::SetHeldElsewhere(uint32_t comNumber, bool held) {
  AddLine(comNumber);
  m_ports[comNumber].heldElsewhere = held;
}

void SimPortSystem::SetNoPermission(uint32_t comNumber, bool denied) {
  AddLine(comNumber);
  m_ports[comNumber].noPermission = denied;
}

PortStatus SimPortSystem::Probe(uint32_t comNumber) {
  auto it = m_ports.find(comNumber);
  if (it == m_ports.end() || !it->second.line) return PortStatus::Absent;
  const Entry& e = it->second;
  if (e.noPermission) return PortStatus::NoPermission;
  if (e.heldElsewhere || e.line->PortOpen()) return PortStatus::Held;
  return PortStatus::Available;
}

PortOpenResult SimPortSystem::Open(uint32_t comNumber) {
  PortOpenResult result;
  result.status = Probe(comNumber);
  result.device = "sim:COM" + std::to_string(comNumber);
  if (result.status != PortStatus::Available) return result;
  SimSerialLine& line = *m_ports[comNumber].line;
  line.OpenPort();
  result.line = std::make_unique<SimSerialPort>(line);
  return result;
}

}  // namespace platform::sim
