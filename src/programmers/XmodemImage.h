#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace programmers {

// A firmware file as the XMODEM loader takes it: the file unchanged, 0xFF
// fill, and a 6-byte trailer that ends the last 128-byte packet: the number
// of bytes before the trailer (32-bit little-endian), then the CRC-16/XMODEM
// of those bytes (16-bit little-endian).
class XmodemImage {
 public:
  static constexpr size_t kPacketData = 128;
  static constexpr size_t kPacketSize = 133;  // SOH, block, ~block, data, CRC high, low
  // File, fill and trailer together; a larger file is refused.
  static constexpr size_t kCapacity = 1500000;
  static constexpr uint8_t kSoh = 0x01;  // start of a 128-byte packet
  static constexpr uint8_t kFill = 0xFF;

  using Packet = std::array<uint8_t, kPacketSize>;

  // Whether a file of `fileSize` bytes fits with its fill and trailer.
  static bool Fits(size_t fileSize);
  // The largest file that fits.
  static size_t MaxFileSize();

  // `file` must fit (Fits).
  explicit XmodemImage(std::string_view file);

  int32_t PacketCount() const { return m_packetCount; }
  // The bytes the trailer's CRC covers (PacketCount * 128 - 6).
  int32_t CoveredLength() const { return m_coveredLength; }
  uint16_t ImageCrc() const { return m_imageCrc; }
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

  // Packet `number` (1 .. PacketCount); its block number is the low 8 bits.
  Packet Build(int32_t number) const;

 private:
  std::vector<uint8_t> m_bytes;
  int32_t m_packetCount = 0;
  int32_t m_coveredLength = 0;
  uint16_t m_imageCrc = 0;
};

}  // namespace programmers
