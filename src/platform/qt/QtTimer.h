#pragma once

#include <QTimer>

#include "platform/Timer.h"

namespace platform::qt {

// A window timer over QTimer, with the restart-on-change rules of Timer.
class QtTimer final : public Timer {
 public:
  QtTimer();

  void SetInterval(uint32_t ms) override;
  uint32_t Interval() const override { return m_interval; }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return m_enabled; }

 private:
  void Arm();

  QTimer m_timer;
  uint32_t m_interval = 0;
  bool m_enabled = false;
};

}  // namespace platform::qt
