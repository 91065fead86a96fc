#pragma once

#include <cstdint>

namespace platform {

// Time-outs of a serial port in milliseconds (20 bytes, as the driver record
// the serial component was designed around).
//  read:  returns when the count has come, when ReadIntervalTimeout passes
//         after a byte without the next one, or when the total time-out
//         (multiplier x count + constant) expires; total 0/0 means no limit.
//  write: a write of n bytes may take multiplier x n + constant; 0/0 means
//         no limit.
struct COMMTIMEOUTS {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;

  friend bool operator==(const COMMTIMEOUTS&, const COMMTIMEOUTS&) = default;
};
static_assert(sizeof(COMMTIMEOUTS) == 20, "COMMTIMEOUTS keeps the 20-byte layout");

}  // namespace platform
