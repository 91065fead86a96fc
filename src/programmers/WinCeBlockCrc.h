#pragma once

#include <cstddef>
#include <cstdint>

namespace programmers {

// The check character in the header of a Windows CE data block: CRC-8 with
// polynomial 0x1D (x^8 + x^4 + x^3 + x^2 + 1), start 0xFF, most significant
// bit first, no final XOR; then moved off the header's framing characters.
struct WinCeBlockCrc {
  static constexpr uint8_t kStart = 0xFF;
  static constexpr uint8_t kPolynomial = 0x1D;
  // The header "D.n,c#" must not carry these as c, nor a NUL.
  static constexpr uint8_t kBlockLetter = 'D';
  static constexpr uint8_t kSeparator = ',';
  static constexpr uint8_t kHeaderEnd = '#';

  static uint8_t Crc8(const uint8_t* bytes, size_t count) {
    uint8_t crc = kStart;
    for (size_t i = 0; i < count; ++i) {
      crc ^= bytes[i];
      for (int bit = 0; bit < 8; ++bit)
        crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ kPolynomial : crc << 1);
    }
    return crc;
  }

  // The character the header carries for a CRC-8 value.
  static uint8_t HeaderCharacter(uint8_t crc) {
    if (crc == 0) return 1;
    if (crc == kBlockLetter || crc == kSeparator || crc == kHeaderEnd) return static_cast<uint8_t>(crc + 1);
    return crc;
  }

  static uint8_t Of(const uint8_t* bytes, size_t count) { return HeaderCharacter(Crc8(bytes, count)); }
};

}  // namespace programmers
