#include "programmers/XmodemImage.h"

#include <algorithm>

#include "programmers/Crc16Xmodem.h"
#include "programmers/PaddedImage.h"

namespace programmers {

bool XmodemImage::Fits(size_t fileSize) {
  return fileSize <= MaxFileSize();
}

size_t XmodemImage::MaxFileSize() {
  // Whole packets only, and the fill is at least one byte.
  return kCapacity / kPacketData * kPacketData - kTrailerLength - 1;
}

XmodemImage::XmodemImage(std::string_view file) {
  const size_t size = file.size();
  m_packetCount = static_cast<int32_t>(PaddedBlockCount(size));
  m_coveredLength = m_packetCount * static_cast<int32_t>(kPacketData) - static_cast<int32_t>(kTrailerLength);
  m_bytes.assign(static_cast<size_t>(m_packetCount) * kPacketData, kFill);
  std::copy(file.begin(), file.end(), m_bytes.begin());
  const auto covered = static_cast<uint32_t>(m_coveredLength);
  m_imageCrc = Crc16Xmodem(m_bytes.data(), covered);
  uint8_t* trailer = m_bytes.data() + covered;
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<uint8_t>(covered >> (8 * i));
  trailer[4] = static_cast<uint8_t>(m_imageCrc);
  trailer[5] = static_cast<uint8_t>(m_imageCrc >> 8);
}

XmodemImage::Packet XmodemImage::Build(int32_t number) const {
  Packet packet{};
  packet[0] = kSoh;
  packet[1] = static_cast<uint8_t>(number);
  packet[2] = static_cast<uint8_t>(~number);
  const uint8_t* data = m_bytes.data() + static_cast<size_t>(number - 1) * kPacketData;
  std::copy(data, data + kPacketData, packet.begin() + 3);
  const uint16_t crc = Crc16Xmodem(data, kPacketData);
  packet[3 + kPacketData] = static_cast<uint8_t>(crc >> 8);
  packet[4 + kPacketData] = static_cast<uint8_t>(crc);
  return packet;
}

}  // namespace programmers
