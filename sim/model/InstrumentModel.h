#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/LineFormat.h"
#include "sim/model/Emission.h"
#include "sim/model/ModelInput.h"

namespace sim {

// The instrument's side of one serial protocol. A model is pure: it is told
// what arrives (with the line settings it was sent at) and what time it is,
// and it answers with emissions; it never touches a clock, a thread or a file
// descriptor. The binding to a line (virtual or a pseudo-terminal) drives it.
//
// Times are microseconds on the binding's clock. After every call the binding
// takes the emissions, a successor (a model that takes over the line, e.g. a
// boot loader entered by a command) and a hang-up request.
class InstrumentModel {
 public:
  virtual ~InstrumentModel() = default;

  virtual std::string_view Name() const = 0;
  // The UART format the instrument listens and answers at.
  virtual platform::sim::LineFormat Format() const = 0;
  virtual void Receive(const ModelInput& input, uint64_t nowMicros) = 0;
  // Called at NextTick() or later.
  virtual void Tick(uint64_t /*nowMicros*/) {}
  virtual std::optional<uint64_t> NextTick() const { return std::nullopt; }
  // The port at the other end was opened or closed (where the line knows).
  virtual void OnPortOpen(bool /*open*/, uint64_t /*nowMicros*/) {}
  // What the instrument holds after a session: stored values, memory.
  virtual void Dump(std::ostream& /*out*/) const {}
  // A loader entered by a command learns the command and its parameter
  // (the rate it is asked to listen at) before it takes the line.
  virtual void TakeHandOver(int /*command*/, const std::string& /*parameter*/) {}

  std::vector<Emission> TakeEmissions();
  std::unique_ptr<InstrumentModel> TakeSuccessor();
  bool TakeHangUp();
  // Short notes for a traffic log (hand-overs, faults), oldest first.
  std::vector<std::string> TakeNotes();

 protected:
  void Emit(std::vector<uint8_t> bytes, uint64_t delayMicros);
  void Emit(std::string_view text, uint64_t delayMicros);
  // `next` takes the line once the emissions made so far have gone out.
  void HandOverTo(std::unique_ptr<InstrumentModel> next);
  void HangUp() { m_hangUp = true; }
  void Note(std::string text) { m_notes.push_back(std::move(text)); }

 private:
  std::vector<Emission> m_emissions;
  std::unique_ptr<InstrumentModel> m_successor;
  bool m_hangUp = false;
  std::vector<std::string> m_notes;
};

}  // namespace sim
