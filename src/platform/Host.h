#pragma once

#include <memory>

#include "platform/Clock.h"
#include "platform/MessagePump.h"
#include "platform/Timer.h"

namespace platform {

// The host services the logic calls on. One Host per program (or per test):
// the real one over Qt and POSIX, or the simulated one in virtual time.
class Host {
 public:
  virtual ~Host() = default;
  virtual Clock& GetClock() = 0;
  virtual MessagePump& Pump() = 0;
  // A new timer, disabled, interval 0. Owned by the caller; it must not
  // outlive the Host.
  virtual std::unique_ptr<Timer> CreateTimer() = 0;
};

}  // namespace platform
