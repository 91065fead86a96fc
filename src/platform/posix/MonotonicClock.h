#pragma once

#include "platform/Clock.h"

namespace platform::posix {

// Milliseconds of CLOCK_MONOTONIC, cut to 32 bits. `offset` is added, so a
// caller can place the wrap of the counter where it wants it.
class MonotonicClock final : public Clock {
 public:
  explicit MonotonicClock(uint32_t offset = 0) : m_offset(offset) {}
  uint32_t TickCount() const override;

 private:
  uint32_t m_offset;
};

}  // namespace platform::posix
