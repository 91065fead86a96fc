#pragma once

#include <cstddef>

namespace programmers {

// The loaders of binary images send the file, then 0xFF fill, so that the
// file, the fill and a 6-byte trailer (length and CRC) make whole blocks of
// 128 bytes. The fill is never empty: a file that already fits gets a whole
// block of it.
inline constexpr size_t kPaddedBlock = 128;
inline constexpr size_t kTrailerLength = 6;

// 1..128 bytes of 0xFF after a file of `fileSize` bytes.
constexpr size_t FillLength(size_t fileSize) {
  return kPaddedBlock - (fileSize + kTrailerLength) % kPaddedBlock;
}
// The blocks of 128 bytes that the file, its fill and the trailer make.
constexpr size_t PaddedBlockCount(size_t fileSize) {
  return (fileSize + kTrailerLength) / kPaddedBlock + 1;
}

}  // namespace programmers
