#include "platform/qt/QtTimer.h"

namespace platform::qt {

QtTimer::QtTimer() {
  m_timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&m_timer, &QTimer::timeout, [this] {
    if (m_enabled) FireTick();
  });
}

void QtTimer::SetInterval(uint32_t ms) {
  if (ms == m_interval) return;
  m_interval = ms;
  Arm();
}

void QtTimer::SetEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  m_enabled = enabled;
  Arm();
}

void QtTimer::Arm() {
  m_timer.stop();
  // An interval of 0 never fires (a QTimer with 0 would fire at every idle).
  if (m_enabled && m_interval > 0) m_timer.start(static_cast<int>(m_interval));
}

}  // namespace platform::qt
