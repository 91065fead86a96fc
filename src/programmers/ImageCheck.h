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
};

// Checked before anything is sent to the loader.
ImageRefusal CheckImageForProgramming(const FirmwareImage16& image);
ImageRefusal CheckImageForProgramming(const FirmwareImage32& image);

// The text of the error box: language 0 German, 1 English (Latin-1).
// `fileName` names the file in the text. Empty for kNone.
std::string ImageRefusalText(ImageRefusal refusal, const std::string& fileName, int language);

}  // namespace programmers
