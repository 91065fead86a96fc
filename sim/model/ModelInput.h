#pragma once

#include <cstdint>

#include "platform/sim/LineFormat.h"

namespace sim {

// One character as it reaches an instrument's UART: the byte the sender meant
// (or what the receiving UART made of it), the format it was sent at, and
// what the UART noticed.
struct ModelInput {
  uint8_t byte = 0;
  platform::sim::LineFormat sentAt;
  bool framingError = false;
  bool parityError = false;

  // Whether a UART set to `own` reads this character intact. A character
  // sent at another rate, word length or parity is line noise to it.
  bool IntactAt(const platform::sim::LineFormat& own) const {
    return !framingError && !parityError && sentAt.CompatibleWith(own);
  }
};

}  // namespace sim
