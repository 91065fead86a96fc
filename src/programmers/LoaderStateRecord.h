#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace programmers {

// What an MSP430 loader that a run left behind holds, as far as its
// acknowledgements show it, so that a later run straight in the loader (the
// retry after a failed download) finds it: the interrupt-vector table
// 0xFFE0..0xFFFF, which is the loader password (once the vector segment has
// been erased the reset vector the instrument reported no longer opens the
// loader), and the rate the loader was switched to.
struct LoaderStateRecord {
  static constexpr uint32_t kTableStart = 0xFFE0;
  static constexpr size_t kTableSize = 32;

  bool tableKnown = false;
  std::array<uint8_t, kTableSize> vectorTable{};  // 0xFFE0 first; words little-endian
  bool at38400 = false;                           // else the loader listens at 9600

  // The loader took `table` as its password: the chip holds it.
  void Accepted(const uint8_t* table) {
    std::copy_n(table, kTableSize, vectorTable.begin());
    tableKnown = true;
  }
  // An erase of the segment holding `address` was acknowledged (a 16-bit
  // address without memory offset, or the 5xx loader's full address).
  void SegmentErased(uint32_t address) {
    if (address >= 0xFE00 && address <= 0xFFFF) AllErased();
  }
  // The loader erased its whole flash (a wrong password on a 2xx or 5xx).
  void AllErased() {
    vectorTable.fill(0xFF);
    tableKnown = true;
  }
  // A write of `count` bytes at `address` was acknowledged. Flash cells only
  // lose bits when written.
  void Written(uint32_t address, const uint8_t* data, size_t count) {
    if (!tableKnown) return;
    for (size_t i = 0; i < count; ++i) {
      const uint64_t at = uint64_t{address} + i;
      if (at >= kTableStart && at < kTableStart + kTableSize) vectorTable[at - kTableStart] &= data[i];
    }
  }
  bool TableErased() const {
    return tableKnown &&
           std::all_of(vectorTable.begin(), vectorTable.end(), [](uint8_t b) { return b == 0xFF; });
  }
};

}  // namespace programmers
