#pragma once

// A far end for simulated-line tests: a fixed format, a record of what it
// received, and the line to answer through.
#include <vector>

#include "platform/sim/SimLinePeer.h"

namespace serialtest {

class SimScriptPeer final : public platform::sim::SimLinePeer {
 public:
  platform::sim::LineFormat format;
  std::vector<platform::sim::ReceivedCharacter> received;
  std::vector<bool> openEvents;

  platform::sim::LineFormat Format() const override { return format; }
  void OnCharacter(const platform::sim::ReceivedCharacter& c) override { received.push_back(c); }
  void OnPortOpen(bool open) override { openEvents.push_back(open); }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out;
    for (const auto& c : received) out.push_back(c.byte);
    return out;
  }
  int FramingErrors() const {
    int n = 0;
    for (const auto& c : received) n += c.framingError ? 1 : 0;
    return n;
  }
};

// Records the notifications of a port with the virtual time they came at.
struct RecordedMessage {
  uint32_t message;
  uint32_t com;
  uint32_t tick;
};

}  // namespace serialtest
