#include "platform/ReadDeadline.h"

#include <algorithm>

namespace platform {

namespace {

// Far beyond any read, and no wrap-around when added to a clock reading.
constexpr uint64_t kMaxTotalMs = uint64_t{1} << 40;

}  // namespace

ReadDeadline::ReadDeadline(const COMMTIMEOUTS& t, uint32_t count, uint64_t startMicros)
    : m_startMicros(startMicros) {
  if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    return;  // at once
  }
  if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
      t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxDword) {
    m_firstByteEnds = true;
    m_totalMicros = uint64_t{t.ReadTotalTimeoutConstant} * 1000;
    return;
  }
  uint64_t totalMs = uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant;
  if (totalMs == 0) totalMs = kReadLimitMs;
  m_totalMicros = std::min(totalMs, kMaxTotalMs) * 1000;
  m_intervalMicros = uint64_t{t.ReadIntervalTimeout} * 1000;
}

uint64_t ReadDeadline::Until(uint32_t got, uint64_t lastTakenMicros) const {
  const uint64_t total = m_startMicros + m_totalMicros;
  if (got == 0) return total;
  if (m_firstByteEnds) return std::min(total, lastTakenMicros);
  if (m_intervalMicros > 0) return std::min(total, lastTakenMicros + m_intervalMicros);
  return total;
}

}  // namespace platform
