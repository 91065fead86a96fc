#include "platform/sim/SimUartReceiver.h"

#include <cmath>
#include <utility>

namespace platform::sim {

namespace {

uint64_t AtMicros(double t) {
  return t <= 0 ? 0 : static_cast<uint64_t>(std::llround(t));
}

bool ParityBit(uint32_t data, int bits, Parity parity) {
  int ones = 0;
  for (int i = 0; i < bits; ++i) ones += (data >> i) & 1;
  switch (parity) {
    case Parity::Odd:
      return (ones % 2) == 0;
    case Parity::Even:
      return (ones % 2) != 0;
    case Parity::Mark:
      return true;
    case Parity::Space:
      return false;
    case Parity::None:
      break;
  }
  return true;
}

int DataBits(const LineFormat& f) {
  return f.dataBits >= 5 && f.dataBits <= 8 ? f.dataBits : 8;
}

}  // namespace

SimUartReceiver::SimUartReceiver(VirtualTime& time, FormatSource format, Delivery deliver)
    : m_time(time), m_format(std::move(format)), m_deliver(std::move(deliver)) {}

SimUartReceiver::~SimUartReceiver() {
  Reset();
}

void SimUartReceiver::Reset() {
  if (m_pending) m_time.Cancel(m_pending);
  m_pending = 0;
  m_wire.clear();
  m_searchFrom = static_cast<double>(m_time.NowMicros());
}

void SimUartReceiver::Transmit(double startMicros, const LineFormat& format, uint8_t byte) {
  Character c;
  const int bits = DataBits(format);
  c.start = startMicros;
  c.bit = 1e6 / (format.baud ? format.baud : 1);
  c.end = c.start + format.BitsPerCharacter() * c.bit;
  uint32_t levels = static_cast<uint32_t>(byte & ((1u << bits) - 1)) << 1;  // start bit 0, then LSB first
  c.cells = 1 + bits;
  if (format.parity != Parity::None) {
    if (ParityBit(byte, bits, format.parity)) levels |= 1u << c.cells;
    ++c.cells;
  }
  c.levels = levels;
  m_wire.push_back(c);
  if (!m_pending) LookForStart();
}

bool SimUartReceiver::Level(double at) const {
  for (const Character& c : m_wire) {
    if (at < c.start) break;
    if (at >= c.end) continue;
    const int cell = static_cast<int>((at - c.start) / c.bit);
    return cell >= c.cells || ((c.levels >> cell) & 1) != 0;
  }
  return true;  // idle line and stop bits are high
}

bool SimUartReceiver::NextFallingEdge(double from, double& edge) const {
  for (const Character& c : m_wire) {
    if (c.end <= from) continue;
    // Before the start bit the line is high (idle or the previous stop bit).
    bool previous = true;
    for (int k = 0; k < c.cells; ++k) {
      const bool level = ((c.levels >> k) & 1) != 0;
      const double t = c.start + k * c.bit;
      if (previous && !level && t >= from) {
        edge = t;
        return true;
      }
      previous = level;
    }
  }
  return false;
}

void SimUartReceiver::LookForStart() {
  Prune();
  double edge = 0;
  if (!NextFallingEdge(m_searchFrom, edge)) return;
  m_pending = m_time.ScheduleAt(AtMicros(edge), [this, edge] { StartFrame(edge); });
}

void SimUartReceiver::StartFrame(double edge) {
  const LineFormat format = m_format();
  const int bits = DataBits(format);
  const double bit = 1e6 / (format.baud ? format.baud : 1);
  const int parityCells = format.parity == Parity::None ? 0 : 1;
  const double stopSample = edge + (1 + bits + parityCells + 0.5) * bit;
  m_pending = m_time.ScheduleAt(AtMicros(stopSample), [this, edge, format] { Decode(edge, format); });
}

void SimUartReceiver::Decode(double edge, LineFormat format) {
  m_pending = 0;
  const int bits = DataBits(format);
  const double bit = 1e6 / (format.baud ? format.baud : 1);
  if (Level(edge + 0.5 * bit)) {
    // The start bit did not hold: a glitch, not a character.
    m_searchFrom = edge + 0.5 * bit;
    LookForStart();
    return;
  }
  uint32_t data = 0;
  for (int i = 0; i < bits; ++i) {
    if (Level(edge + (1.5 + i) * bit)) data |= 1u << i;
  }
  double at = edge + (1.5 + bits) * bit;
  ReceivedCharacter received;
  received.byte = static_cast<uint8_t>(data);
  if (format.parity != Parity::None) {
    received.parityError = Level(at) != ParityBit(data, bits, format.parity);
    at += bit;
  }
  received.framingError = !Level(at);
  m_searchFrom = at;
  m_deliver(received);
  if (!m_pending) LookForStart();
}

void SimUartReceiver::Prune() {
  while (!m_wire.empty() && m_wire.front().end <= m_searchFrom) m_wire.pop_front();
}

}  // namespace platform::sim
