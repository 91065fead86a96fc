#include "programmers/ImageCheck.h"

#include <cstddef>
#include <iterator>

#include "core/BilingualText.h"

namespace programmers {
namespace {

using core::BilingualText;

constexpr BilingualText kFilePrefix{"Firmware-Datei ", "Firmware file "};
constexpr BilingualText kNotProgrammed{" wird nicht programmiert:\r\n", " is not programmed:\r\n"};
constexpr BilingualText kLinePrefix{"Zeile ", "Line "};
constexpr BilingualText kNoBlockText{"Die Datei enth\xE4lt keine Daten (keine Adresszeile).",
                                     "The file holds no data (no address line)."};
constexpr BilingualText kLowerAfterUpperText{
    "Daten unterhalb 0x10000 folgen auf Daten oberhalb 0xFFFF; diese Reihenfolge kann nicht programmiert "
    "werden.",
    "Data below 0x10000 follows data above 0xFFFF; this order cannot be programmed."};
constexpr BilingualText kTooManyBlocksText{
    "Die Datei ist zu gro\xDF (zu viele Bl\xF6"
    "cke).",
    "The file is too large (too many blocks)."};
constexpr BilingualText kAddressTooLongText{"Eine Adresszeile ist l\xE4nger als 15 Zeichen.",
                                            "An address line is longer than 15 characters."};
constexpr BilingualText kAddressOutOfRangeText{
    "Eine Adresse liegt au\xDF"
    "erhalb des Speichers.",
    "An address lies outside the memory."};
constexpr BilingualText kOddAtBoundaryText{"Eine ungerade Anzahl Bytes endet an einer 64-KiB-Grenze.",
                                           "An odd number of bytes ends at a 64 KiB boundary."};
constexpr BilingualText kBadDigitText{"Ein Zeichen ist keine Hexadezimalziffer.",
                                      "A character is not a hexadecimal digit."};
constexpr BilingualText kOddDigitsText{"Eine ungerade Anzahl Ziffern ergibt kein ganzes Byte.",
                                       "An odd number of digits makes no whole byte."};
constexpr BilingualText kMalformedLineText{
    "Die Zeile ist keine Adresszeile (@ und Hexadezimalzahl) und keine Datenzeile (Ziffernpaare mit "
    "Leerzeichen) oder steht vor der ersten Adresszeile.",
    "The line is neither an address line (@ and a hexadecimal number) nor a data line (pairs of digits "
    "separated by blanks), or it stands before the first address line."};
constexpr BilingualText kOverlapText{"Eine Adresse kommt in der Datei zweimal vor.",
                                     "The file gives an address twice."};
constexpr BilingualText kNoResetVectorText{
    "Die Datei enth\xE4lt keinen Reset-Vektor (0xFFFE/0xFFFF); das Ger\xE4t h\xE4tte danach kein Programm.",
    "The file holds no reset vector (0xFFFE/0xFFFF); the instrument would be left without a program."};

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
    case ImageFault::kBadDigit:
      return ImageRefusal::kBadDigit;
    case ImageFault::kOddDigits:
      return ImageRefusal::kOddDigits;
    case ImageFault::kMalformedLine:
      return ImageRefusal::kMalformedLine;
    case ImageFault::kOverlap:
      return ImageRefusal::kOverlap;
  }
  return ImageRefusal::kNone;
}

// In the order of ImageRefusal, from kNoBlock on.
constexpr const BilingualText* kReasons[] = {
    &kNoBlockText,           &kLowerAfterUpperText, &kTooManyBlocksText, &kAddressTooLongText,
    &kAddressOutOfRangeText, &kOddAtBoundaryText,   &kBadDigitText,      &kOddDigitsText,
    &kMalformedLineText,     &kOverlapText,         &kNoResetVectorText};
static_assert(std::size(kReasons) == static_cast<size_t>(ImageRefusal::kNoResetVector));

const BilingualText* ReasonOf(ImageRefusal refusal) {
  const auto index = static_cast<size_t>(refusal);
  return index == 0 || index > std::size(kReasons) ? nullptr : kReasons[index - 1];
}

template <class Block>
ImageRefusal Check(const FirmwareImage<Block>& image, ImageUse use, bool lowerAfterUpper) {
  if (image.fault != ImageFault::kNone) return FromFault(image.fault);
  if (image.LastIndex < 0 || image.blocks.empty()) return ImageRefusal::kNoBlock;
  if (lowerAfterUpper) return ImageRefusal::kLowerAfterUpper;
  // The loader erases the program; without a vector (or with an erased one)
  // the instrument would not start again.
  if (use == ImageUse::kFirmware && (!image.hasResetVector || image.resetVector == 0xFFFF)) {
    return ImageRefusal::kNoResetVector;
  }
  return ImageRefusal::kNone;
}

}  // namespace

ImageRefusal CheckImageForProgramming(const FirmwareImage16& image, ImageUse use) {
  return Check(image, use, image.lowerAfterUpper);
}

// The 32-bit layout stores full addresses: any order can be written.
ImageRefusal CheckImageForProgramming(const FirmwareImage32& image, ImageUse use) {
  return Check(image, use, false);
}

std::string ImageRefusalText(ImageRefusal refusal, const std::string& fileName, int language, int line) {
  const BilingualText* reason = ReasonOf(refusal);
  if (!reason) return {};
  std::string text = std::string(kFilePrefix.In(language)) + fileName + kNotProgrammed.In(language);
  if (line > 0) text += std::string(kLinePrefix.In(language)) + std::to_string(line) + ": ";
  return text + reason->In(language);
}

}  // namespace programmers
