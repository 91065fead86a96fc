#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace programmers {

// One block of a firmware image for the 1xx/2xx/4xx bootstrap loader. Blocks
// of the upper 64 KiB store their address minus 0x10000. `length` counts the
// four header bytes (address, length) plus the data bytes, as the loader
// frames do; a marker block has address 0 and length 0.
struct ImageBlock16 {
  static constexpr uint16_t kHeaderSize = 4;
  static constexpr size_t kMaxData = 246;

  uint16_t address = 0;
  uint16_t length = kHeaderSize;
  std::array<uint8_t, kMaxData> data{};

  size_t DataLength() const { return length > kHeaderSize ? length - kHeaderSize : 0; }
  bool IsMarker() const { return address == 0 && length == 0; }
};

}  // namespace programmers
