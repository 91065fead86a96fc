#include "platform/qt/QtMessagePump.h"

#include <time.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace platform::qt {

QtMessagePump::QtMessagePump(const Clock& clock) : m_clock(clock) {}

void QtMessagePump::ProcessMessages() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMessagePump::WaitForMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtMessagePump::ProcessUntil(uint32_t deadline) {
  // One wake-up timer per wait, on the stack: a nested wait inside a
  // message handler brings its own, and a stale wake-up of an outer wait only
  // makes that wait look at the clock once more.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  for (;;) {
    ProcessMessages();
    const int32_t left = static_cast<int32_t>(deadline - m_clock.TickCount());
    if (left <= 0) return;
    wake.start(left);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

void QtMessagePump::Sleep(uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0) {
    // interrupted by a signal: sleep the rest
  }
}

void QtMessagePump::Post(Message message) {
  QMetaObject::invokeMethod(
      &m_receiver, [message = std::move(message)] { message(); }, Qt::QueuedConnection);
}

}  // namespace platform::qt
