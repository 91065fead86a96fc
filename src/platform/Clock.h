#pragma once

#include <cstdint>

namespace platform {

// The millisecond tick counter. 32 bits wide and wrapping, like the counter
// the system was designed around: compare ticks by their signed difference.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t TickCount() const = 0;
};

// True once `now` has reached `deadline` on a wrapping 32-bit tick counter.
// Valid for deadlines less than 2^31 ms (24 days) away.
inline bool TickReached(uint32_t now, uint32_t deadline) {
  return static_cast<int32_t>(now - deadline) >= 0;
}

}  // namespace platform
