#pragma once

#include <QObject>

#include "platform/Clock.h"
#include "platform/MessagePump.h"

namespace platform::qt {

// The message pump of the real GUI thread: Qt's event loop. Waits sleep in
// the event dispatcher (no polling); posted messages are queued Qt events on
// an object of the GUI thread, so Post is safe from any thread.
// Create it on the GUI thread after the QCoreApplication.
class QtMessagePump final : public MessagePump {
 public:
  explicit QtMessagePump(const Clock& clock);

  void ProcessMessages() override;
  void WaitForMessages() override;
  void ProcessUntil(uint32_t deadline) override;
  void Sleep(uint32_t ms) override;
  void Post(Message message) override;

 private:
  const Clock& m_clock;
  QObject m_receiver;
};

}  // namespace platform::qt
