#pragma once

#include <cstddef>
#include <cstdint>

namespace programmers {

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no
// final XOR ("123456789" gives 0x31C3). `crc` carries a running value over
// several ranges.
constexpr uint16_t Crc16Xmodem(const uint8_t* bytes, size_t count, uint16_t crc = 0) {
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>(crc ^ (static_cast<uint16_t>(bytes[i]) << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

}  // namespace programmers
