#include "core/DrainEvents.h"

namespace core {

void DrainEvents(EventQueue& queue, int& guiBusy, platform::MessagePump& pump) {
  for (;;) {
    Event event = queue.FetchEvent();
    if (event.kind != kNoEvent) queue.DispatchEvent(event);

    event = queue.FetchEvent();
    if (event.kind == kNoEvent) return;
    queue.DispatchEvent(event);
    if (guiBusy == 0) {
      guiBusy = 1;
      pump.ProcessMessages();
      guiBusy = 0;
    } else if (++guiBusy > 10) {
      guiBusy = 0;
    }
  }
}

}  // namespace core
