#pragma once

#include "core/EventQueue.h"
#include "platform/MessagePump.h"

namespace core {

// Fetches and dispatches until the queue is empty. After every second
// dispatched Event the window's messages are pumped, unless a drain further
// out is inside the pump already (`guiBusy` not 0); then the skip is
// counted, and after more than ten skips the next nested drain pumps again.
// `guiBusy` is the main window's counter, 0 when the window is created.
void DrainEvents(EventQueue& queue, int& guiBusy, platform::MessagePump& pump);

}  // namespace core
