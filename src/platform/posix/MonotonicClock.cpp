#include "platform/posix/MonotonicClock.h"

#include <time.h>

namespace platform::posix {

uint32_t MonotonicClock::TickCount() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
  return static_cast<uint32_t>(ms) + m_offset;
}

}  // namespace platform::posix
