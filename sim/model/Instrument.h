#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sim/model/FlashMemory.h"
#include "sim/model/InstrumentModel.h"
#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelContext.h"
#include "sim/model/ModelRegistry.h"

namespace sim {

// One simulated instrument: its profile, its flash and the model that has
// the line now. It passes a hand-over on (the successor takes the line once
// the predecessor's last bytes have gone out) and is what the line bindings
// drive. Not copyable: the models keep a reference to its context.
class Instrument {
 public:
  // Starts in the boot-loader announcement when the profile sits in a boot
  // loader, else in the ASCII command protocol. Throws std::invalid_argument
  // for a profile whose flash regions cannot be built.
  Instrument(InstrumentProfile profile, const ModelRegistry& registry);
  Instrument(const Instrument&) = delete;
  Instrument& operator=(const Instrument&) = delete;

  // The UART format at `nowMicros`: the old model's until its last bytes
  // are out after a hand-over.
  platform::sim::LineFormat Format(uint64_t nowMicros) const;
  void Receive(const ModelInput& input, uint64_t nowMicros);
  void Tick(uint64_t nowMicros);
  std::optional<uint64_t> NextTick() const { return m_model->NextTick(); }
  void OnPortOpen(bool open, uint64_t nowMicros);

  std::vector<Emission> TakeEmissions() { return std::exchange(m_emissions, {}); }
  bool TakeHangUp() { return std::exchange(m_hangUp, false); }
  std::vector<std::string> TakeNotes() { return std::exchange(m_notes, {}); }

  const InstrumentProfile& Profile() const { return m_profile; }
  FlashMemory& Flash() { return m_flash; }
  InstrumentModel& Model() { return *m_model; }
  // Every model the instrument has run, oldest first (the current one last).
  const std::vector<std::unique_ptr<InstrumentModel>>& History() const { return m_history; }

  // What the instrument holds: each model's record and the flash.
  void Dump(std::ostream& out) const;

 private:
  void Collect(uint64_t nowMicros);

  InstrumentProfile m_profile;
  FlashMemory m_flash;
  ModelContext m_context;
  std::vector<std::unique_ptr<InstrumentModel>> m_history;
  InstrumentModel* m_model = nullptr;

  platform::sim::LineFormat m_previousFormat;
  uint64_t m_switchAtMicros = 0;
  std::vector<Emission> m_emissions;
  bool m_hangUp = false;
  std::vector<std::string> m_notes;
};

}  // namespace sim
