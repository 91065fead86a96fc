#pragma once

#include <string>

#include "programmers/FirmwareImage.h"

namespace programmers {

// Why an image read from a TI-TXT file must not be programmed.
enum class ImageRefusal {
  kNone,
  kNoBlock,          // no address line with data
  kLowerAfterUpper,  // lower blocks follow the upper 64 KiB in the file
  kTooManyBlocks,
  kAddressTooLong,
  kAddressOutOfRange,
  kOddAtBoundary,
  kBadDigit,
  kOddDigits,
  kMalformedLine,
  kOverlap,
  kNoResetVector,  // the file gives no word at 0xFFFE, or 0xFFFF (erased)
};

// What the loader does with the image. Firmware replaces the program in
// flash: the loader erases the flash, so the image must bring the reset
// vector or the instrument is left without a program. A RAM program (the
// loader patch) is only run.
enum class ImageUse { kFirmware, kRamProgram };

// Checked before anything is sent to the loader.
ImageRefusal CheckImageForProgramming(const FirmwareImage16& image, ImageUse use = ImageUse::kFirmware);
ImageRefusal CheckImageForProgramming(const FirmwareImage32& image, ImageUse use = ImageUse::kFirmware);

// The text of the error box: language 1 English, else German (Latin-1).
// `fileName` names the file in the text, and `line` (1-based, 0 for none)
// the line to blame. Empty for kNone.
std::string ImageRefusalText(ImageRefusal refusal, const std::string& fileName, int language, int line = 0);

// The same with the line taken from the image the refusal came from.
template <class Block>
std::string ImageRefusalText(ImageRefusal refusal, const std::string& fileName, int language,
                             const FirmwareImage<Block>& image) {
  return ImageRefusalText(refusal, fileName, language,
                          image.fault == ImageFault::kNone ? 0 : image.faultLine);
}

}  // namespace programmers
