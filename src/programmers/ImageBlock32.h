#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace programmers {

// One block of a firmware image for the 5xx/6xx bootstrap loader: the full
// address, and a `length` that counts the six header bytes plus the data.
struct ImageBlock32 {
  static constexpr uint16_t kHeaderSize = 6;
  static constexpr size_t kMaxData = 246;

  uint32_t address = 0;
  uint16_t length = kHeaderSize;
  std::array<uint8_t, kMaxData> data{};

  size_t DataLength() const { return length > kHeaderSize ? length - kHeaderSize : 0; }
};

}  // namespace programmers
