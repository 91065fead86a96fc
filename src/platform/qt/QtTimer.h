#pragma once

#include <QTimer>

#include "platform/Timer.h"

namespace platform::qt {

// A window timer over QTimer, with the restart-on-change rules of Timer.
class QtTimer final : public Timer {
 public:
  QtTimer();

 private:
  void Arm() override;

  QTimer m_timer;
};

}  // namespace platform::qt
