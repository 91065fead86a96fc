#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// The GUI thread's message pump. Every wait the program makes goes through
// here, so the real implementation can sleep in the event loop and the
// simulated one can move virtual time instead of spinning.
class MessagePump {
 public:
  using Message = std::function<void()>;

  virtual ~MessagePump() = default;

  // Handle every message that is pending now (and those posted while doing
  // so), then return. Never blocks.
  virtual void ProcessMessages() = 0;

  // Block until at least one message has come, then handle what is pending.
  virtual void WaitForMessages() = 0;

  // Handle messages as they come until the tick counter reads `deadline` or
  // later. At least one round of ProcessMessages happens even when the
  // deadline has passed already. Sleeps between messages.
  virtual void ProcessUntil(uint32_t deadline) = 0;

  // Block the GUI thread for `ms` milliseconds without handling messages:
  // what arrives meanwhile waits in the queue.
  virtual void Sleep(uint32_t ms) = 0;

  // Queue a message for the GUI thread. Safe to call from any thread.
  virtual void Post(Message message) = 0;
};

}  // namespace platform
