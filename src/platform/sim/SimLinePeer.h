#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sim/LineFormat.h"

namespace platform::sim {

// One character as a receiving UART delivers it. When sender and receiver
// disagree on the format, `byte` is what the receiver made of the bits and
// the error flags are what it noticed.
struct ReceivedCharacter {
  uint8_t byte = 0;
  bool framingError = false;
  bool parityError = false;
};

// What sits at the far end of a simulated serial line: an instrument model
// (through its binding) or a test's script. All calls come on the thread
// that runs virtual time, at the virtual instant the event happens.
class SimLinePeer {
 public:
  virtual ~SimLinePeer() = default;

  // The far end's UART format now. The line reads it for every character,
  // so an instrument that switches its rate (a boot loader changing baud)
  // simply returns the new format from then on.
  virtual LineFormat Format() const = 0;

  // A character has been received completely by the far end's UART.
  virtual void OnCharacter(const ReceivedCharacter& character) = 0;

  // The port at the near end was opened (true) or closed (false).
  virtual void OnPortOpen(bool /*open*/) {}
};

// The far end's side of a simulated line, offered by the line itself.
class SimLineFarEnd {
 public:
  virtual ~SimLineFarEnd() = default;

  // Attaches the peer that receives what the port sends (null detaches).
  virtual void Attach(SimLinePeer* peer) = 0;

  // Queues bytes to send to the port at the peer's current format. The first
  // starts `delayMicros` from now or when the previous queued byte has been
  // sent, whichever is later; each then takes its character time.
  virtual void Send(const uint8_t* bytes, size_t count, uint64_t delayMicros = 0) = 0;

  // The cable is pulled: the port sees a hang-up. Attaching a peer again
  // plugs the cable back in.
  virtual void Disconnect() = 0;

  // The far end's RTS, seen by the port as CTS (up from the start). A port
  // with RTS/CTS handshake sends only while it is up.
  virtual void SetClearToSend(bool /*up*/) {}
};

}  // namespace platform::sim
