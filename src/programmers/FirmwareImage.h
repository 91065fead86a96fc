#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "programmers/ImageBlock.h"

namespace programmers {

// Why a TI-TXT file could not be read into an image. The reader stops at the
// first of these; such an image must not be programmed.
enum class ImageFault {
  kNone,
  kTooManyBlocks,      // more blocks (marker included) than the image holds
  kAddressTooLong,     // an address line of more than 15 characters
  kAddressOutOfRange,  // above 0x1FFFF (16-bit layout) or 0xFFFFFFFF
  kOddAtBoundary,      // 16-bit layout: an odd block ends at 0xFFFF or 0x1FFFF, so
                       // its pad byte would wrap to the other 64 KiB
  kBadDigit,           // a character that is no hex digit ("ZZ", "!!")
  kOddDigits,          // a group of an odd number of digits: half a byte
  kMalformedLine,      // digits not in pairs, data before the first address line,
                       // an address line without a number
  kOverlap,            // an address the file gives twice
};

// The blocks of one firmware file plus the bookkeeping the loaders work
// from. Indices are into `blocks`; -1 means "none".
template <class Block>
struct FirmwareImage {
  static constexpr size_t kMaxBlocks = 1280;

  explicit FirmwareImage(size_t maxBlocks = kMaxBlocks) : capacity(maxBlocks) {}

  std::vector<Block> blocks;
  size_t capacity;

  int LastIndex = -1;
  // ImageBlock16: first and last block of the upper 64 KiB.
  int FirstUpper = -1;
  int LastUpper = -1;
  // ImageBlock32: first block reaching into 0xFE00..0xFFFF, and how many do.
  int FirstVector = -1;
  int VectorCount = 0;

  ImageFault fault = ImageFault::kNone;
  int faultLine = 0;  // 1-based line of the file; 0 when no line is to blame
  // ImageBlock16: a lower block stands after an upper one in the file. The
  // loader would write it with the upper offset, so such an image is refused.
  bool lowerAfterUpper = false;
  // The file gives both bytes at 0xFFFE and 0xFFFF (pads do not count).
  bool hasResetVector = false;
  uint16_t resetVector = 0xFFFF;
};

using FirmwareImage16 = FirmwareImage<ImageBlock16>;
using FirmwareImage32 = FirmwareImage<ImageBlock32>;

}  // namespace programmers
