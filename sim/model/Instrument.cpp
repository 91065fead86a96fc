#include "sim/model/Instrument.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

Instrument::Instrument(InstrumentProfile profile, const ModelRegistry& registry)
    : m_profile(std::move(profile)), m_context{m_profile, m_flash, registry} {
  for (const auto& region : m_profile.flash) m_flash.AddRegion(region);
  PreloadBslFirmware(m_profile.bsl, m_flash);
  const char* first =
      m_profile.bootLoader == BootAnnounce::None ? ModelRegistry::kAscii : ModelRegistry::kBootAnnounce;
  auto model = registry.Create(first, m_context);
  if (!model) throw std::invalid_argument(std::string("model registry has no '") + first + "' model");
  m_model = model.get();
  m_history.push_back(std::move(model));
  m_previousFormat = m_model->Format();
}

platform::sim::LineFormat Instrument::Format(uint64_t nowMicros) const {
  return nowMicros < m_switchAtMicros ? m_previousFormat : m_model->Format();
}

void Instrument::Receive(const ModelInput& input, uint64_t nowMicros) {
  m_model->Receive(input, nowMicros);
  Collect(nowMicros);
}

void Instrument::Tick(uint64_t nowMicros) {
  m_model->Tick(nowMicros);
  Collect(nowMicros);
}

void Instrument::OnPortOpen(bool open, uint64_t nowMicros) {
  m_model->OnPortOpen(open, nowMicros);
  Collect(nowMicros);
}

void Instrument::Collect(uint64_t nowMicros) {
  // A successor may itself emit or hand over at once (rare, but bounded).
  for (int hops = 0; hops < 8; ++hops) {
    auto emissions = m_model->TakeEmissions();
    uint64_t lastOut = nowMicros;
    for (const Emission& e : emissions) {
      lastOut = std::max(lastOut, nowMicros + e.delayMicros) + e.bytes.size() * e.format.CharacterMicros();
    }
    m_emissions.insert(m_emissions.end(), std::make_move_iterator(emissions.begin()),
                       std::make_move_iterator(emissions.end()));
    if (m_model->TakeHangUp()) m_hangUp = true;
    for (auto& note : m_model->TakeNotes()) m_notes.push_back(std::move(note));
    auto next = m_model->TakeSuccessor();
    if (!next) return;
    m_previousFormat = m_model->Format();
    m_switchAtMicros = lastOut;
    m_model = next.get();
    m_history.push_back(std::move(next));
  }
}

void Instrument::Dump(std::ostream& out) const {
  out << "instrument " << m_profile.name << "\n";
  for (const auto& model : m_history) {
    out << "[" << model->Name() << "]\n";
    model->Dump(out);
  }
  if (!m_flash.Regions().empty()) {
    out << "[flash]\n";
    m_flash.Dump(out);
  }
}

}  // namespace sim
