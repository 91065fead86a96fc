#pragma once

#include <cstdint>
#include <vector>

#include "platform/sim/LineFormat.h"

namespace sim {

// Bytes an instrument sends. The first byte starts `delayMicros` after the
// stimulus that caused it, or when the line is free, whichever is later; the
// bytes go out at `format` (the instrument's format when it sent them), so a
// port set differently reads them as noise.
struct Emission {
  std::vector<uint8_t> bytes;
  uint64_t delayMicros = 0;
  platform::sim::LineFormat format;
};

}  // namespace sim
