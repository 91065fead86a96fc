#include "serial/TDelay.h"

namespace serial {

void TDelay::DelayTime(int32_t ms, bool processMessages) {
  if (!m_enable) return;
  const int32_t n = ms / m_dividend;
  if (n <= 0) return;
  // The end time wraps with the 32-bit counter; the pump compares ticks by
  // their signed difference, so a wait across the wrap lasts as asked.
  const uint32_t end = m_clock.TickCount() + static_cast<uint32_t>(n);
  if (processMessages) {
    m_pump.ProcessUntil(end);
  } else {
    m_pump.Sleep(static_cast<uint32_t>(n));
  }
}

}  // namespace serial
