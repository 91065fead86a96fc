#include "sim/line/SimLineBinding.h"

namespace sim {

SimLineBinding::SimLineBinding(Instrument& instrument, platform::sim::SimLineFarEnd& line,
                               platform::sim::VirtualTime& time)
    : m_instrument(instrument), m_line(line), m_time(time) {
  m_line.Attach(this);
}

SimLineBinding::~SimLineBinding() {
  if (m_tickScheduled) m_time.Cancel(m_tick);
  m_line.Attach(nullptr);
}

void SimLineBinding::OnCharacter(const platform::sim::ReceivedCharacter& character) {
  if (m_hungUp) return;
  const uint64_t now = m_time.NowMicros();
  // The line has already turned a mismatch of settings into what this UART
  // read; the character counts as sent at the instrument's own settings.
  m_instrument.Receive(
      ModelInput{character.byte, m_instrument.Format(now), character.framingError, character.parityError},
      now);
  Flush();
}

void SimLineBinding::OnPortOpen(bool open) {
  if (m_hungUp) return;
  m_instrument.OnPortOpen(open, m_time.NowMicros());
  Flush();
}

void SimLineBinding::Flush() {
  const uint64_t now = m_time.NowMicros();
  for (const Emission& e : m_instrument.TakeEmissions())
    m_line.Send(e.bytes.data(), e.bytes.size(), e.delayMicros);
  for (auto& note : m_instrument.TakeNotes()) m_notes.push_back(std::to_string(now / 1000) + " ms: " + note);
  if (m_instrument.TakeHangUp()) {
    m_hungUp = true;
    m_line.Disconnect();
    return;
  }
  if (m_tickScheduled) {
    m_time.Cancel(m_tick);
    m_tickScheduled = false;
  }
  if (const auto at = m_instrument.NextTick()) {
    m_tick = m_time.ScheduleAt(*at, [this] {
      m_tickScheduled = false;
      m_instrument.Tick(m_time.NowMicros());
      Flush();
    });
    m_tickScheduled = true;
  }
}

}  // namespace sim
