#include "platform/qt/QtTimer.h"

namespace platform::qt {

QtTimer::QtTimer() {
  m_timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&m_timer, &QTimer::timeout, [this] {
    if (Enabled()) FireTick();
  });
}

void QtTimer::Arm() {
  m_timer.stop();
  // An interval of 0 never fires (a QTimer with 0 would fire at every idle).
  if (Enabled() && Interval() > 0) m_timer.start(static_cast<int>(Interval()));
}

}  // namespace platform::qt
