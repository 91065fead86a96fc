#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace programmers {

// One block of a firmware image. `length` counts the header bytes (address,
// length) plus the data bytes, as the loader frames do.
template <class Address, uint16_t kHeader>
struct ImageBlock {
  static constexpr uint16_t kHeaderSize = kHeader;
  static constexpr size_t kMaxData = 246;

  Address address = 0;
  uint16_t length = kHeaderSize;
  std::array<uint8_t, kMaxData> data{};

  size_t DataLength() const { return length > kHeaderSize ? length - kHeaderSize : 0; }
  // The marker between the upper part and the vector blocks (16-bit layout).
  bool IsMarker() const { return address == 0 && length == 0; }
};

// The 1xx/2xx/4xx bootstrap loader: blocks of the upper 64 KiB store their
// address minus 0x10000.
using ImageBlock16 = ImageBlock<uint16_t, 4>;
// The 5xx/6xx bootstrap loader: the full address.
using ImageBlock32 = ImageBlock<uint32_t, 6>;

}  // namespace programmers
