#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/model/Instrument.h"
#include "sim/model/ProfileReader.h"

namespace simtest {

using platform::sim::LineFormat;
using platform::sim::Parity;
using platform::sim::StopBits;

inline LineFormat Fmt(uint32_t baud, Parity parity = Parity::None, uint8_t bits = 8,
                      StopBits stop = StopBits::One) {
  return LineFormat{baud, bits, parity, stop};
}

inline sim::InstrumentProfile ParseProfile(const std::string& text) {
  auto result = sim::ProfileReader::Parse(text, "test");
  if (!result.Ok()) throw std::runtime_error(result.ErrorText("test"));
  return result.profile;
}

// Feeds an instrument the way a port would, one character a millisecond,
// and collects what it answers with the absolute time of each emission.
class SimModelDriver {
 public:
  struct Out {
    std::string bytes;
    uint64_t atMicros;  // stimulus time + delay
    LineFormat format;
  };

  explicit SimModelDriver(const sim::InstrumentProfile& profile,
                          const sim::ModelRegistry& registry = sim::ModelRegistry::WithBuiltins())
      : m_registry(registry), m_instrument(profile, m_registry) {}

  void Send(const std::string& text, const LineFormat& at) {
    for (unsigned char c : text) {
      m_instrument.Receive(sim::ModelInput{c, at, false, false}, m_now);
      for (auto& e : m_instrument.TakeEmissions()) {
        m_out.push_back(Out{std::string(e.bytes.begin(), e.bytes.end()), m_now + e.delayMicros, e.format});
      }
      m_now += 1000;
    }
  }
  void Wait(uint64_t micros) { m_now += micros; }

  // Everything answered so far, in order, and forgotten.
  std::string Take() {
    std::string all;
    for (const auto& o : m_out) all += o.bytes;
    m_out.clear();
    return all;
  }
  const std::vector<Out>& Outs() const { return m_out; }
  void Clear() { m_out.clear(); }
  sim::Instrument& Instrument() { return m_instrument; }
  uint64_t Now() const { return m_now; }

 private:
  sim::ModelRegistry m_registry;
  sim::Instrument m_instrument;
  uint64_t m_now = 1'000'000;
  std::vector<Out> m_out;
};

}  // namespace simtest
