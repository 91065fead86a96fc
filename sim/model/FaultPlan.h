#pragma once

#include <cstdint>

namespace sim {

// Faults an instrument shows on purpose, keyed by the command that starts
// them (0 = none).
struct FaultPlan {
  int silentFrom = 0;     // from this command on, the instrument sends nothing
  int garbageBefore = 0;  // answers to this command come after garbage bytes
  uint32_t garbageCount = 8;
  int dropAt = 0;  // this command makes the instrument drop the line
};

}  // namespace sim
