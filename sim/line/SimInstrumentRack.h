#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/sim/SimPortSystem.h"
#include "platform/sim/VirtualTime.h"
#include "sim/line/SimLineBinding.h"
#include "sim/model/Instrument.h"
#include "sim/model/ModelRegistry.h"

namespace sim {

// Instruments on the COM ports of a simulated port system, for run tests:
// each placed instrument sits at the far end of the line on its COM number;
// other numbers are absent, silent (a line with nothing attached) or hold
// whatever a test attaches itself. Owns the instruments and their bindings;
// the port system and the time must outlive it.
class SimInstrumentRack {
 public:
  SimInstrumentRack(platform::sim::SimPortSystem& ports, platform::sim::VirtualTime& time,
                    ModelRegistry registry = ModelRegistry::WithBuiltins());

  Instrument& Place(uint32_t comNumber, InstrumentProfile profile);
  // A profile of sim/profiles by name.
  Instrument& PlaceShipped(uint32_t comNumber, const std::string& name);
  // A port that exists but where nothing ever answers.
  void PlaceSilent(uint32_t comNumber);
  // Pulls the instrument off its line (the port sees a hang-up).
  void Remove(uint32_t comNumber);

  // Null when nothing was placed there.
  Instrument* At(uint32_t comNumber);
  SimLineBinding* Binding(uint32_t comNumber);
  const ModelRegistry& Registry() const { return m_registry; }

 private:
  struct Slot {
    std::unique_ptr<Instrument> instrument;
    std::unique_ptr<SimLineBinding> binding;
  };

  platform::sim::SimPortSystem& m_ports;
  platform::sim::VirtualTime& m_time;
  ModelRegistry m_registry;
  std::map<uint32_t, Slot> m_slots;
};

}  // namespace sim
