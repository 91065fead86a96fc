#pragma once

#include <cstdint>

#include "platform/SerialTimeouts.h"

namespace platform {

// A read without a total time-out (multiplier and constant 0) waits this
// long at most for its data.
inline constexpr uint32_t kReadLimitMs = 10000;

// When a read of a serial line returns, by the driver's read time-outs:
//  - the total time-out, multiplier x count + constant ms from the start
//    (0/0: kReadLimitMs);
//  - ReadIntervalTimeout ms after the last byte taken without the next one,
//    once a byte has come (0: no interval limit);
//  - interval MAXDWORD with multiplier and constant 0: at once, with what
//    has come;
//  - interval and multiplier MAXDWORD, constant between: as soon as a byte
//    has come, else after the constant.
// A read also returns when it has its count, whatever the time.
class ReadDeadline {
 public:
  static constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

  ReadDeadline(const COMMTIMEOUTS& timeouts, uint32_t count, uint64_t startMicros);

  // The time (us, on the clock of startMicros) by which the read returns;
  // `got` bytes taken so far, the last at `lastTakenMicros`.
  // A read that is to return at once has its start as deadline.
  uint64_t Until(uint32_t got, uint64_t lastTakenMicros) const;

 private:
  uint64_t m_startMicros;
  uint64_t m_totalMicros = 0;     // 0: at once
  uint64_t m_intervalMicros = 0;  // 0: no interval limit
  bool m_firstByteEnds = false;
};

}  // namespace platform
