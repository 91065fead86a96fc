#include "programmers/XmodemSender.h"

namespace programmers {

XmodemSender::XmodemSender(const XmodemImage& image) : m_image(image), m_packet(image.Build(1)) {}

void XmodemSender::PutPacket(std::vector<uint8_t>& out) const {
  out.assign(m_packet.begin(), m_packet.end());
}

XmodemSender::Step XmodemSender::Repeat(std::vector<uint8_t>& out) {
  if (++m_sends > 1 + kMaxRepeats) {
    m_over = true;
    return Step::kRepeatsExhausted;
  }
  // A NAK of the end byte asks for the end byte, not for the last packet.
  if (m_endSent)
    out.assign(1, kEot);
  else
    PutPacket(out);
  return Step::kRepeated;
}

XmodemSender::Step XmodemSender::OnAnswer(uint8_t answer, std::vector<uint8_t>& out) {
  out.clear();
  if (m_over) return Step::kIgnored;
  switch (answer) {
    case kCrcRequest:
      // The receiver has not seen packet 1 yet (or asks again).
      if (m_endSent) return Step::kIgnored;
      return Repeat(out);
    case kNak:
      return Repeat(out);
    case kAck:
      if (m_sends == 0) return Step::kIgnored;  // nothing sent yet that it could acknowledge
      if (m_endSent) {
        m_over = true;
        return Step::kEndAcknowledged;
      }
      m_sends = 1;
      if (m_packetsSent >= m_image.PacketCount()) {
        m_endSent = true;
        out.assign(1, kEot);
        return Step::kEndSent;
      }
      m_packet = m_image.Build(++m_packetsSent);
      PutPacket(out);
      return Step::kNextPacket;
    default:
      return Step::kIgnored;
  }
}

}  // namespace programmers
