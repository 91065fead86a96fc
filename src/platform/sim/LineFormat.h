#pragma once

#include <cstdint>

namespace platform::sim {

enum class Parity : uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : uint8_t { One, OnePointFive, Two };

// The character format of one UART on a simulated line.
struct LineFormat {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;  // 7 or 8 (5 and 6 are accepted too)
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;

  // Bit times of one character: start bit, data bits, parity bit, stop bits.
  double BitsPerCharacter() const {
    const double stop = stopBits == StopBits::One ? 1.0 : stopBits == StopBits::OnePointFive ? 1.5 : 2.0;
    return 1.0 + dataBits + (parity == Parity::None ? 0.0 : 1.0) + stop;
  }
  // Microseconds the line needs for one character at this format.
  uint64_t CharacterMicros() const {
    return static_cast<uint64_t>(BitsPerCharacter() * 1e6 / baud + 0.5);
  }
  // Whether a receiver set to `other` reads characters sent at this format
  // intact. The receiver only checks the first stop bit, so a difference in
  // stop bits alone does not garble anything.
  bool CompatibleWith(const LineFormat& other) const {
    return baud == other.baud && dataBits == other.dataBits && parity == other.parity;
  }

  friend bool operator==(const LineFormat&, const LineFormat&) = default;
};

}  // namespace platform::sim
