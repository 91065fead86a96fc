#pragma once

#include <cstdint>

#include "platform/Clock.h"
#include "platform/MessagePump.h"

namespace serial {

// Waits a number of milliseconds, optionally keeping the window alive.
// With message processing, messages are handled at least once and then the
// wait sleeps in the pump until the time is up, handling each message as it
// comes (so serial data, timer ticks and buttons are served meanwhile).
// Without, the GUI thread is blocked and messages pile up.
// GUI thread only.
class TDelay {
 public:
  TDelay(const platform::Clock& clock, platform::MessagePump& pump) : m_clock(clock), m_pump(pump) {}

  bool Enable() const { return m_enable; }
  void SetEnable(bool enable) { m_enable = enable; }
  int32_t Dividend() const { return m_dividend; }
  // Values below 1 are stored as 1.
  void SetDividend(int32_t dividend) { m_dividend = dividend < 1 ? 1 : dividend; }

  // Waits ms / Dividend milliseconds (truncating); nothing when not enabled
  // or when that is 0 or less.
  void DelayTime(int32_t ms, bool processMessages);
  // The clock the waits are measured on.
  const platform::Clock& Clock() const { return m_clock; }

 private:
  const platform::Clock& m_clock;
  platform::MessagePump& m_pump;
  bool m_enable = false;
  int32_t m_dividend = 1;
};

}  // namespace serial
