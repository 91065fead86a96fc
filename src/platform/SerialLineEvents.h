#pragma once

#include <cstdint>

namespace platform {

// Line errors seen since the reader last looked.
struct LineErrors {
  bool frame = false;
  bool overrun = false;
  bool parity = false;
  bool brk = false;
  bool Any() const { return frame || overrun || parity || brk; }
};

// What an open serial line tells its owner. Called on the line's reader
// context: a thread of its own on a real line, a virtual-time action on a
// simulated one. Implementations must be thread-safe against the owner.
class SerialLineEvents {
 public:
  virtual ~SerialLineEvents() = default;

  // One round of the reader: `rxArrived` when characters came since the last
  // round. Rounds also come without data, at most about 1000 ms apart while
  // WantsTimedRound() is true. Returns the pause in ms the reader keeps
  // before its next round.
  virtual uint32_t OnReaderRound(bool rxArrived, uint32_t nowMs) = 0;
  virtual bool WantsTimedRound() = 0;

  // Frame, overrun, parity or break conditions; all false for an error the
  // line cannot classify.
  virtual void OnLineErrors(const LineErrors& errors) = 0;

  // The line has gone (adapter unplugged, far end hung up). Called once; the
  // reader then stays quiet until the line is closed.
  virtual void OnHangUp() = 0;
};

}  // namespace platform
