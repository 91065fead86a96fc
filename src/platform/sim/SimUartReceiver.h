#pragma once

#include <cstdint>
#include <deque>
#include <functional>

#include "platform/sim/LineFormat.h"
#include "platform/sim/SimLinePeer.h"
#include "platform/sim/VirtualTime.h"

namespace platform::sim {

// The receiving UART of one direction of a simulated line. It sees the bit
// stream the sender put on the wire and samples it as a real UART does: it
// waits for a falling edge, checks the start bit half a bit later, then
// samples each data bit, the parity bit and the first stop bit in the
// middle of its own bit time. When sender and receiver agree on the format
// the bytes come through intact; otherwise they are garbled, characters may
// be lost or gained, and framing and parity errors show, as on a real line.
class SimUartReceiver {
 public:
  using FormatSource = std::function<LineFormat()>;
  using Delivery = std::function<void(const ReceivedCharacter&)>;

  // `format` is asked for the receiver's format at each start bit.
  SimUartReceiver(VirtualTime& time, FormatSource format, Delivery deliver);
  ~SimUartReceiver();
  SimUartReceiver(const SimUartReceiver&) = delete;
  SimUartReceiver& operator=(const SimUartReceiver&) = delete;

  // A character goes onto the wire at `startMicros` (not before now, not
  // before the previous one has ended) in the sender's format.
  void Transmit(double startMicros, const LineFormat& format, uint8_t byte);

  // Forgets what is on the wire (the cable was pulled or the port closed).
  void Reset();

 private:
  struct Character {
    double start = 0;     // us
    double bit = 0;       // us per bit
    double end = 0;       // us, after the stop bits
    int cells = 0;        // start bit, data bits and parity bit
    uint32_t levels = 0;  // bit k: level of cell k
  };

  bool Level(double at) const;
  bool NextFallingEdge(double from, double& edge) const;
  void LookForStart();
  void StartFrame(double edge);
  void Decode(double edge, LineFormat format);
  void Prune();

  VirtualTime& m_time;
  FormatSource m_format;
  Delivery m_deliver;
  std::deque<Character> m_wire;
  double m_searchFrom = 0;  // us: no start bit is looked for before this
  VirtualTime::ActionId m_pending = 0;
};

}  // namespace platform::sim
