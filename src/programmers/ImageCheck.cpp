#include "programmers/ImageCheck.h"

namespace programmers {
namespace {

ImageRefusal FromFault(ImageFault fault) {
  switch (fault) {
    case ImageFault::kNone:
      break;
    case ImageFault::kTooManyBlocks:
      return ImageRefusal::kTooManyBlocks;
    case ImageFault::kAddressTooLong:
      return ImageRefusal::kAddressTooLong;
    case ImageFault::kAddressOutOfRange:
      return ImageRefusal::kAddressOutOfRange;
    case ImageFault::kOddAtBoundary:
      return ImageRefusal::kOddAtBoundary;
  }
  return ImageRefusal::kNone;
}

template <class Block>
ImageRefusal Check(const FirmwareImage<Block>& image) {
  if (image.fault != ImageFault::kNone) return FromFault(image.fault);
  if (image.LastIndex < 0 || image.blocks.empty()) return ImageRefusal::kNoBlock;
  return ImageRefusal::kNone;
}

}  // namespace

ImageRefusal CheckImageForProgramming(const FirmwareImage16& image) {
  const ImageRefusal refusal = Check(image);
  if (refusal != ImageRefusal::kNone) return refusal;
  if (image.lowerAfterUpper) return ImageRefusal::kLowerAfterUpper;
  return ImageRefusal::kNone;
}

ImageRefusal CheckImageForProgramming(const FirmwareImage32& image) {
  return Check(image);
}

std::string ImageRefusalText(ImageRefusal refusal, const std::string& fileName, int language) {
  const bool german = language == 0;
  std::string reason;
  switch (refusal) {
    case ImageRefusal::kNone:
      return {};
    case ImageRefusal::kNoBlock:
      reason = german ? "Die Datei enth\xE4lt keine Daten (keine Adresszeile)."
                      : "The file holds no data (no address line).";
      break;
    case ImageRefusal::kLowerAfterUpper:
      reason = german
                   ? "Daten unterhalb 0x10000 folgen auf Daten oberhalb 0xFFFF; diese Reihenfolge kann nicht "
                     "programmiert werden."
                   : "Data below 0x10000 follows data above 0xFFFF; this order cannot be programmed.";
      break;
    case ImageRefusal::kTooManyBlocks:
      reason = german ? "Die Datei ist zu gro\xDF (zu viele Bl\xF6"
                        "cke)."
                      : "The file is too large (too many blocks).";
      break;
    case ImageRefusal::kAddressTooLong:
      reason = german ? "Eine Adresszeile ist l\xE4nger als 15 Zeichen."
                      : "An address line is longer than 15 characters.";
      break;
    case ImageRefusal::kAddressOutOfRange:
      reason = german ? "Eine Adresse liegt au\xDF"
                        "erhalb des Speichers."
                      : "An address lies outside the memory.";
      break;
    case ImageRefusal::kOddAtBoundary:
      reason = german ? "Eine ungerade Anzahl Bytes endet an einer 64-KiB-Grenze."
                      : "An odd number of bytes ends at a 64 KiB boundary.";
      break;
  }
  return (german ? "Firmware-Datei " : "Firmware file ") + fileName +
         (german ? " wird nicht programmiert:\r\n" : " is not programmed:\r\n") + reason;
}

}  // namespace programmers
