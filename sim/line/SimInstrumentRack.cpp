#include "sim/line/SimInstrumentRack.h"

#include "sim/model/ShippedProfiles.h"

namespace sim {

SimInstrumentRack::SimInstrumentRack(platform::sim::SimPortSystem& ports, platform::sim::VirtualTime& time,
                                     ModelRegistry registry)
    : m_ports(ports), m_time(time), m_registry(std::move(registry)) {}

Instrument& SimInstrumentRack::Place(uint32_t comNumber, InstrumentProfile profile) {
  Remove(comNumber);
  Slot& slot = m_slots[comNumber];
  slot.instrument = std::make_unique<Instrument>(std::move(profile), m_registry);
  slot.binding = std::make_unique<SimLineBinding>(*slot.instrument, m_ports.AddLine(comNumber), m_time);
  return *slot.instrument;
}

Instrument& SimInstrumentRack::PlaceShipped(uint32_t comNumber, const std::string& name) {
  return Place(comNumber, LoadShippedProfile(name));
}

void SimInstrumentRack::PlaceSilent(uint32_t comNumber) {
  Remove(comNumber);
  m_ports.AddLine(comNumber);
}

void SimInstrumentRack::Remove(uint32_t comNumber) {
  const auto it = m_slots.find(comNumber);
  if (it == m_slots.end()) return;
  it->second.binding.reset();  // detaches from the line
  if (auto* line = m_ports.Line(comNumber)) line->Disconnect();
  m_slots.erase(it);
}

Instrument* SimInstrumentRack::At(uint32_t comNumber) {
  const auto it = m_slots.find(comNumber);
  return it == m_slots.end() ? nullptr : it->second.instrument.get();
}

SimLineBinding* SimInstrumentRack::Binding(uint32_t comNumber) {
  const auto it = m_slots.find(comNumber);
  return it == m_slots.end() ? nullptr : it->second.binding.get();
}

}  // namespace sim
