#include <gtest/gtest.h>

#include <string>

#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

namespace {

using programmers::CheckImageForProgramming;
using programmers::FirmwareImage16;
using programmers::FirmwareImage32;
using programmers::ImageRefusal;
using programmers::ImageRefusalText;
using programmers::ReadTiTxt;

ImageRefusal Check16(const std::string& text) {
  FirmwareImage16 image;
  ReadTiTxt(text, image);
  return CheckImageForProgramming(image);
}

ImageRefusal Check32(const std::string& text) {
  FirmwareImage32 image;
  ReadTiTxt(text, image);
  return CheckImageForProgramming(image);
}

TEST(FirmwareImageCheck, ProgrammableOrdersPass) {
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n@FFFE\r\n00 31\r\nq\r\n"), ImageRefusal::kNone);
  // Lower part first, vector segment before the upper part (reordered).
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n@FFFE\r\n00 31\r\n@10000\r\n05 06\r\nq\r\n"), ImageRefusal::kNone);
  EXPECT_EQ(Check32("@5C00\r\n01 02\r\n@FF80\r\n01 02\r\n@FFFE\r\n00 5C\r\nq\r\n"), ImageRefusal::kNone);
}

TEST(FirmwareImageCheck, LowerBlocksBehindTheUpperPartAreRefused) {
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n@10000\r\n05 06\r\n@FFFE\r\n00 31\r\nq\r\n"),
            ImageRefusal::kLowerAfterUpper);
  EXPECT_EQ(Check16("@10000\r\n05 06\r\n@3100\r\n01 02\r\nq\r\n"), ImageRefusal::kLowerAfterUpper);
  // The 32-bit layout stores full addresses: any order can be written.
  EXPECT_EQ(Check32("@10000\r\n05 06\r\n@3100\r\n01 02\r\n@FFFE\r\n00 31\r\nq\r\n"), ImageRefusal::kNone);
}

TEST(FirmwareImageCheck, ImagesWithoutDataOrBeyondTheLimitsAreRefused) {
  EXPECT_EQ(Check16(""), ImageRefusal::kNoBlock);
  EXPECT_EQ(Check16("01 02 03 04\r\nq\r\n"), ImageRefusal::kNoBlock);
  EXPECT_EQ(Check16("@3100\r\n\r\nq\r\n"), ImageRefusal::kNoBlock);
  EXPECT_EQ(Check32("@3100\r\nq\r\n"), ImageRefusal::kNoBlock);
  EXPECT_EQ(Check16("@3100  3100  3100 \r\n01 02\r\nq"), ImageRefusal::kAddressTooLong);
  EXPECT_EQ(Check16("@20000\r\n01 02\r\nq"), ImageRefusal::kAddressOutOfRange);
  std::string many;
  for (int i = 0; i < 1281; ++i) many += std::string("@") + std::to_string(1000 + i) + "\r\n01 02\r\n";
  EXPECT_EQ(Check32(many), ImageRefusal::kTooManyBlocks);
}

// Every line that is not an address line or pairs of hex digits makes the
// file unusable; the refusal names the line, in both layouts.
TEST(FirmwareImageCheck, CorruptLinesAreRefusedWithTheirLineNumber) {
  const std::string head = "@3100\r\n00 01 02 03\r\n";
  const std::string vector = "@FFFE\r\n00 31\r\nq\r\n";
  struct Case {
    std::string line;
    ImageRefusal refusal;
  };
  const Case cases[] = {
      {"ZZ 01", ImageRefusal::kBadDigit},        {"01 !!", ImageRefusal::kBadDigit},
      {"GG", ImageRefusal::kBadDigit},           {"01 0G 03", ImageRefusal::kBadDigit},
      {"01 02 0", ImageRefusal::kOddDigits},     {"012 03", ImageRefusal::kOddDigits},
      {"0102 03", ImageRefusal::kMalformedLine}, {"@31G0", ImageRefusal::kBadDigit},
      {"@", ImageRefusal::kMalformedLine},       {"@31 00", ImageRefusal::kMalformedLine},
      {"01 @3200", ImageRefusal::kBadDigit},     {"@3102", ImageRefusal::kOverlap},
  };
  for (const Case& c : cases) {
    const std::string text = head + c.line + "\r\n" + (c.line[0] == '@' ? "04 05\r\n" : "") + vector;
    FirmwareImage16 image16;
    ReadTiTxt(text, image16);
    FirmwareImage32 image32;
    ReadTiTxt(text, image32);
    EXPECT_EQ(CheckImageForProgramming(image16), c.refusal) << c.line;
    EXPECT_EQ(CheckImageForProgramming(image32), c.refusal) << c.line;
    // The overlap is seen where the second run of 0x3102 starts.
    EXPECT_EQ(image16.faultLine, c.refusal == ImageRefusal::kOverlap ? 4 : 3) << c.line;
    EXPECT_EQ(image32.faultLine, image16.faultLine) << c.line;
  }
  // Text before the first address line would be lost.
  FirmwareImage32 header;
  ReadTiTxt("\r\nFirmware 1.2\r\n" + head + vector, header);
  EXPECT_EQ(CheckImageForProgramming(header), ImageRefusal::kMalformedLine);
  EXPECT_EQ(header.faultLine, 2);
  // Line ends of any kind count one line each.
  FirmwareImage16 image;
  ReadTiTxt("@3100\n00 01\r02 03\r\n\r\nZZ\r\n", image);
  EXPECT_EQ(CheckImageForProgramming(image), ImageRefusal::kBadDigit);
  EXPECT_EQ(image.faultLine, 5);
}

TEST(FirmwareImageCheck, FirmwareWithoutResetVectorIsRefused) {
  const std::string vector = "@FFFE\r\n00 31\r\n";
  // Only a version block.
  EXPECT_EQ(Check16("@1000\r\n56 31 2E 30\r\nq\r\n"), ImageRefusal::kNoResetVector);
  EXPECT_EQ(Check32("@1800\r\n56 31 2E 30\r\nq\r\n"), ImageRefusal::kNoResetVector);
  // The vector segment without the reset vector, or with half of it (the
  // pad byte at 0xFFFF is not the file's).
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n@FFE0\r\n00 31 00 31\r\nq\r\n"), ImageRefusal::kNoResetVector);
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n@FFFE\r\n31\r\nq\r\n"), ImageRefusal::kNoResetVector);
  // An erased vector starts nothing.
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n@FFFE\r\nFF FF\r\nq\r\n"), ImageRefusal::kNoResetVector);
  // Upper memory: 0x1FFFE is no vector (stored as 0xFFFE in the upper part),
  // and an image of only an upper part has none.
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n@1FFFE\r\n00 31\r\nq\r\n"), ImageRefusal::kNoResetVector);
  EXPECT_EQ(Check16("@10000\r\n05 06\r\nq\r\n"), ImageRefusal::kNoResetVector);
  EXPECT_EQ(Check32("@3100\r\n01 02\r\n@1FFFE\r\n00 31\r\nq\r\n"), ImageRefusal::kNoResetVector);
  EXPECT_EQ(Check16("@10000\r\n05 06\r\n" + std::string("@3100\r\n01 02\r\n@FFFE\r\n00 31\r\n")),
            ImageRefusal::kLowerAfterUpper);
  // The vector inside a longer section, and lower-upper-vector order.
  EXPECT_EQ(Check16("@FFFC\r\n00 31 00 31\r\nq\r\n"), ImageRefusal::kNone);
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n" + vector + "@10000\r\n05 06\r\n"), ImageRefusal::kNone);
  EXPECT_EQ(Check32("@10000\r\n05 06\r\n" + vector), ImageRefusal::kNone);

  // A RAM program (the loader patch) brings no vector and is only run.
  FirmwareImage16 patch(20);
  ReadTiTxt("@0220\r\n31 40 00 0A\r\nq\r\n", patch);
  EXPECT_EQ(CheckImageForProgramming(patch, programmers::ImageUse::kRamProgram), ImageRefusal::kNone);
  EXPECT_EQ(CheckImageForProgramming(patch), ImageRefusal::kNoResetVector);
  ReadTiTxt("@0220\r\n31 4G\r\nq\r\n", patch);
  EXPECT_EQ(CheckImageForProgramming(patch, programmers::ImageUse::kRamProgram), ImageRefusal::kBadDigit);
}

TEST(FirmwareImageCheck, RefusalTextsNameTheFileInBothLanguages) {
  EXPECT_EQ(ImageRefusalText(ImageRefusal::kNone, "FW.TXT", 1), "");
  for (int r = 1; r <= static_cast<int>(ImageRefusal::kNoResetVector); ++r) {
    const auto refusal = static_cast<ImageRefusal>(r);
    EXPECT_NE(ImageRefusalText(refusal, "FW.TXT", 0), ImageRefusalText(refusal, "FW.TXT", 1)) << r;
    EXPECT_GT(ImageRefusalText(refusal, "FW.TXT", 1).size(), 45u) << r;
  }
  const std::string english = ImageRefusalText(ImageRefusal::kNoBlock, "FW.TXT", 1);
  EXPECT_EQ(english, "Firmware file FW.TXT is not programmed:\r\nThe file holds no data (no address line).");
  const std::string german = ImageRefusalText(ImageRefusal::kLowerAfterUpper, "FW.TXT", 0);
  EXPECT_EQ(german.substr(0, 41), "Firmware-Datei FW.TXT wird nicht programm");

  FirmwareImage16 image;
  ReadTiTxt("@3100\r\n00 01\r\n02 ZZ\r\n", image);
  const ImageRefusal refusal = CheckImageForProgramming(image);
  EXPECT_EQ(ImageRefusalText(refusal, "FW.TXT", 1, image),
            "Firmware file FW.TXT is not programmed:\r\nLine 3: A character is not a hexadecimal digit.");
  EXPECT_EQ(
      ImageRefusalText(refusal, "FW.TXT", 0, image),
      "Firmware-Datei FW.TXT wird nicht programmiert:\r\nZeile 3: Ein Zeichen ist keine Hexadezimalziffer.");
}

}  // namespace
