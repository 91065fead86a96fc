#pragma once

#include <string>
#include <vector>

#include "platform/sim/SimLinePeer.h"
#include "platform/sim/VirtualTime.h"
#include "sim/model/Instrument.h"

namespace sim {

// Puts an instrument at the far end of a simulated serial line, in virtual
// time. The line tells it each character as the instrument's UART read it
// (already garbled when the port's settings differ); its answers go back
// through the line with their delays. Attaches itself on construction and
// detaches on destruction; the instrument, the line and the time must
// outlive it. Runs on the thread that runs virtual time.
class SimLineBinding final : public platform::sim::SimLinePeer {
 public:
  SimLineBinding(Instrument& instrument, platform::sim::SimLineFarEnd& line,
                 platform::sim::VirtualTime& time);
  ~SimLineBinding() override;
  SimLineBinding(const SimLineBinding&) = delete;
  SimLineBinding& operator=(const SimLineBinding&) = delete;

  platform::sim::LineFormat Format() const override { return m_instrument.Format(m_time.NowMicros()); }
  void OnCharacter(const platform::sim::ReceivedCharacter& character) override;
  void OnPortOpen(bool open) override;

  Instrument& Device() { return m_instrument; }
  bool HungUp() const { return m_hungUp; }
  // Hand-overs and faults, with the virtual time in ms, oldest first.
  const std::vector<std::string>& Notes() const { return m_notes; }

 private:
  void Flush();

  Instrument& m_instrument;
  platform::sim::SimLineFarEnd& m_line;
  platform::sim::VirtualTime& m_time;
  platform::sim::VirtualTime::ActionId m_tick = 0;
  bool m_tickScheduled = false;
  bool m_hungUp = false;
  std::vector<std::string> m_notes;
};

}  // namespace sim
