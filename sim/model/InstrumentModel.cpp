#include "sim/model/InstrumentModel.h"

#include <utility>

namespace sim {

std::vector<Emission> InstrumentModel::TakeEmissions() {
  return std::exchange(m_emissions, {});
}

std::unique_ptr<InstrumentModel> InstrumentModel::TakeSuccessor() {
  return std::move(m_successor);
}

bool InstrumentModel::TakeHangUp() {
  return std::exchange(m_hangUp, false);
}

std::vector<std::string> InstrumentModel::TakeNotes() {
  return std::exchange(m_notes, {});
}

void InstrumentModel::Emit(std::vector<uint8_t> bytes, uint64_t delayMicros) {
  if (bytes.empty()) return;
  m_emissions.push_back(Emission{std::move(bytes), delayMicros, Format()});
}

void InstrumentModel::Emit(std::string_view text, uint64_t delayMicros) {
  Emit(std::vector<uint8_t>(text.begin(), text.end()), delayMicros);
}

void InstrumentModel::HandOverTo(std::unique_ptr<InstrumentModel> next) {
  m_successor = std::move(next);
}

}  // namespace sim
