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
  // Only an upper part.
  EXPECT_EQ(Check16("@10000\r\n05 06\r\nq\r\n"), ImageRefusal::kNone);
  EXPECT_EQ(Check32("@5C00\r\n01 02\r\n@FF80\r\n01 02\r\nq\r\n"), ImageRefusal::kNone);
}

TEST(FirmwareImageCheck, LowerBlocksBehindTheUpperPartAreRefused) {
  EXPECT_EQ(Check16("@3100\r\n01 02\r\n@10000\r\n05 06\r\n@FFFE\r\n00 31\r\nq\r\n"),
            ImageRefusal::kLowerAfterUpper);
  EXPECT_EQ(Check16("@10000\r\n05 06\r\n@3100\r\n01 02\r\nq\r\n"), ImageRefusal::kLowerAfterUpper);
  // The 32-bit layout stores full addresses: any order can be written.
  EXPECT_EQ(Check32("@10000\r\n05 06\r\n@3100\r\n01 02\r\nq\r\n"), ImageRefusal::kNone);
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

TEST(FirmwareImageCheck, RefusalTextsNameTheFileInBothLanguages) {
  EXPECT_EQ(ImageRefusalText(ImageRefusal::kNone, "FW.TXT", 1), "");
  const std::string english = ImageRefusalText(ImageRefusal::kNoBlock, "FW.TXT", 1);
  EXPECT_EQ(english, "Firmware file FW.TXT is not programmed:\r\nThe file holds no data (no address line).");
  const std::string german = ImageRefusalText(ImageRefusal::kLowerAfterUpper, "FW.TXT", 0);
  EXPECT_EQ(german.substr(0, 41), "Firmware-Datei FW.TXT wird nicht programm");
}

}  // namespace
