#pragma once

#include <cstdint>
#include <vector>

#include "programmers/XmodemImage.h"

namespace programmers {

// The sending side of XMODEM-CRC over an XmodemImage, without a port or a
// clock: each answer of the receiver gives the bytes to send next. Packet 1
// is built at construction; the receiver's "C" asks for it.
class XmodemSender {
 public:
  static constexpr uint8_t kEot = 0x04;         // end of transmission
  static constexpr uint8_t kAck = 0x06;         // acknowledge
  static constexpr uint8_t kNak = 0x15;         // negative acknowledge: send again
  static constexpr uint8_t kCrcRequest = 0x43;  // "C": the receiver asks for CRC mode
  // How often one packet (or the end byte) is sent again before the
  // transfer is given up.
  static constexpr int32_t kMaxRepeats = 10;

  enum class Step {
    kIgnored,          // an answer that asks for nothing
    kRepeated,         // the current packet (or the end byte) again
    kNextPacket,       // a new packet
    kEndSent,          // the end byte, after the last packet's ACK
    kEndAcknowledged,  // the receiver took the end byte: the transfer is over
    kRepeatsExhausted  // too many repeats: the transfer is over, failed
  };

  explicit XmodemSender(const XmodemImage& image);

  // Acts on one answer byte; what to send is left in `out` (emptied first).
  Step OnAnswer(uint8_t answer, std::vector<uint8_t>& out);

  // The number of the packet built last (its block number's source).
  int32_t PacketsSent() const { return m_packetsSent; }
  bool Over() const { return m_over; }

 private:
  Step Repeat(std::vector<uint8_t>& out);
  void PutPacket(std::vector<uint8_t>& out) const;

  const XmodemImage& m_image;
  XmodemImage::Packet m_packet;
  int32_t m_packetsSent = 1;
  int32_t m_sends = 0;  // of the current packet or the end byte
  bool m_endSent = false;
  bool m_over = false;
};

}  // namespace programmers
