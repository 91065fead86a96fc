#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "programmers/ReadTiTxt.h"

namespace {

using programmers::FirmwareImage16;
using programmers::FirmwareImage32;
using programmers::ImageFault;
using programmers::ReadTiTxt;

// A section as the TI tools write it: "@addr", then lines of `perLine`
// bytes "XX XX ...", CR LF. Byte i of the section is (seed + i) & 0xFF.
std::string Section(uint32_t address, size_t count, uint8_t seed = 0, size_t perLine = 16) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "@%04X\r\n", address);
  std::string text = buf;
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<uint8_t>(seed + i));
    text += buf;
    text += (i + 1) % perLine == 0 || i + 1 == count ? "\r\n" : " ";
  }
  return text;
}

template <class Image>
std::vector<uint8_t> Data(const Image& image, size_t index) {
  const auto& b = image.blocks.at(index);
  return std::vector<uint8_t>(b.data.begin(), b.data.begin() + b.DataLength());
}

TEST(TiTxtRead, TwoSectionsGiveTwoBlocks) {
  FirmwareImage16 image;
  const std::string text = Section(0x3100, 40) + Section(0xFFE0, 32, 0x80) + "q\r\n";
  EXPECT_EQ(ReadTiTxt(text, image), 1);
  ASSERT_EQ(image.blocks.size(), 2u);
  EXPECT_EQ(image.blocks[0].address, 0x3100);
  EXPECT_EQ(image.blocks[0].length, 44);
  EXPECT_EQ(image.blocks[1].address, 0xFFE0);
  EXPECT_EQ(image.blocks[1].length, 36);
  EXPECT_EQ(image.blocks[1].data[0], 0x80);
  EXPECT_EQ(image.blocks[1].data[31], 0x9F);
  EXPECT_EQ(image.FirstUpper, -1);
  EXPECT_EQ(image.fault, ImageFault::kNone);
}

TEST(TiTxtRead, FifteenLinesCloseABlock) {
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt(Section(0x3100, 300) + "q\r\n", image), 1);
  EXPECT_EQ(image.blocks[0].address, 0x3100);
  EXPECT_EQ(image.blocks[0].DataLength(), 240u);
  EXPECT_EQ(image.blocks[1].address, 0x31F0);
  EXPECT_EQ(image.blocks[1].DataLength(), 60u);
  EXPECT_EQ(image.blocks[1].data[0], 240);
}

TEST(TiTxtRead, OddSectionsArePaddedWithFF) {
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt(Section(0x3100, 17) + Section(0x4000, 3, 0xA0) + "q\r\n", image), 1);
  EXPECT_EQ(image.blocks[0].length, 4 + 18);
  EXPECT_EQ(image.blocks[0].data[16], 16);
  EXPECT_EQ(image.blocks[0].data[17], 0xFF);
  EXPECT_EQ(image.blocks[1].length, 8);
  EXPECT_EQ(Data(image, 1), (std::vector<uint8_t>{0xA0, 0xA1, 0xA2, 0xFF}));
}

// Whatever the order of the sections, padding never changes a byte the file
// gives, and every given byte is in the image once.
TEST(TiTxtRead, PadsNeverLandOnAGivenByte) {
  // An odd section and the section that goes on at its odd end: one block.
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt(Section(0x3100, 3) + Section(0x3103, 5, 3) + Section(0xFFFE, 2) + "q\r\n", image), 1);
  EXPECT_EQ(image.blocks[0].address, 0x3100);
  EXPECT_EQ(Data(image, 0), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  FirmwareImage32 wide;
  EXPECT_EQ(ReadTiTxt(Section(0x5C00, 1) + Section(0x5C01, 1, 0x77) + "q\r\n", wide), 0);
  EXPECT_EQ(Data(wide, 0), (std::vector<uint8_t>{0x00, 0x77}));

  // Out of address order: the pad at 0x3103 takes the byte given later.
  EXPECT_EQ(ReadTiTxt(Section(0x3100, 3) + Section(0x5000, 2) + Section(0x3103, 1, 0xAB) + "q\r\n", image),
            2);
  EXPECT_EQ(Data(image, 0), (std::vector<uint8_t>{0, 1, 2, 0xAB}));
  EXPECT_EQ(image.blocks[2].address, 0x3103);
  EXPECT_EQ(image.blocks[2].data[0], 0xAB);
  EXPECT_EQ(image.fault, ImageFault::kNone);

  // A byte given twice has no single value: refused at the second.
  ReadTiTxt(Section(0x3100, 4) + Section(0x5000, 2) + Section(0x3103, 2), image);
  EXPECT_EQ(image.fault, ImageFault::kOverlap);
  EXPECT_EQ(image.faultLine, 6);
}

TEST(TiTxtRead, LowerVectorBlockMovesBehindTheUpperPart) {
  FirmwareImage16 image;
  const std::string text =
      Section(0x3100, 40) + Section(0xFFE0, 32) + Section(0x10000, 20) + Section(0x12000, 8) + "q\r\n";
  EXPECT_EQ(ReadTiTxt(text, image), 4);
  std::vector<uint16_t> addresses;
  for (const auto& b : image.blocks) addresses.push_back(b.address);
  EXPECT_EQ(addresses, (std::vector<uint16_t>{0x3100, 0x0000, 0x2000, 0x0000, 0xFFE0}));
  EXPECT_TRUE(image.blocks[3].IsMarker());
  EXPECT_EQ(image.blocks[1].length, 24);
  EXPECT_EQ(image.FirstUpper, 1);
  EXPECT_EQ(image.LastUpper, 2);
  EXPECT_FALSE(image.lowerAfterUpper);
}

TEST(TiTxtRead, VectorSectionAfterTheUpperPartStaysAndIsFlagged) {
  FirmwareImage16 image;
  const std::string text =
      Section(0x3100, 40) + Section(0x10000, 20) + Section(0x12000, 8) + Section(0xFFE0, 32) + "q\r\n";
  EXPECT_EQ(ReadTiTxt(text, image), 4);
  EXPECT_EQ(image.blocks[3].address, 0xFFE0);
  EXPECT_TRUE(image.blocks[4].IsMarker());
  EXPECT_EQ(image.FirstUpper, 1);
  EXPECT_EQ(image.LastUpper, 3);
  EXPECT_TRUE(image.lowerAfterUpper);
}

TEST(TiTxtRead, UpperSectionFirstIsNotReordered) {
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt(Section(0x10000, 20) + Section(0x11000, 4) + "q\r\n", image), 1);
  EXPECT_EQ(image.blocks[0].address, 0x0000);
  EXPECT_EQ(image.blocks[1].address, 0x1000);
  EXPECT_EQ(image.FirstUpper, 0);
  EXPECT_EQ(image.LastUpper, 1);
  EXPECT_FALSE(image.lowerAfterUpper);

  // Lower data behind an upper first section is flagged, not reordered.
  EXPECT_EQ(ReadTiTxt(Section(0x10000, 20) + Section(0xFFE0, 32) + "q\r\n", image), 1);
  EXPECT_EQ(image.blocks[1].address, 0xFFE0);
  EXPECT_TRUE(image.lowerAfterUpper);
}

TEST(TiTxtRead, SectionRunningPast0xFFFFIsCutThere) {
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt(Section(0x3100, 8) + Section(0xFFF0, 32) + "q\r\n", image), 3);
  // 0x3100, the upper remainder at 0x0000, the marker, then 0xFFF0 moved last.
  EXPECT_EQ(image.blocks[1].address, 0x0000);
  EXPECT_EQ(image.blocks[1].length, 4 + 16);
  EXPECT_EQ(image.blocks[1].data[0], 16);
  EXPECT_TRUE(image.blocks[2].IsMarker());
  EXPECT_EQ(image.blocks[3].address, 0xFFF0);
  EXPECT_EQ(image.blocks[3].DataLength(), 16u);
  EXPECT_EQ(image.FirstUpper, 1);
  EXPECT_EQ(image.LastUpper, 1);
}

TEST(TiTxtRead, EmptyUpperSectionDoesNotBecomeTheUpperPart) {
  // The block opened at 0x10000 is dropped; the lower block after it must not
  // inherit its place as FirstUpper (it would be written with offset 1).
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt(std::string("@10000\r\n") + Section(0x3100, 4) + "q\r\n", image), 0);
  EXPECT_EQ(image.FirstUpper, -1);
  EXPECT_FALSE(image.lowerAfterUpper);
}

TEST(TiTxtRead, VectorBlockOf32BitLayoutMovesLast) {
  FirmwareImage32 image;
  EXPECT_EQ(ReadTiTxt(Section(0x5C00, 20) + Section(0xFF80, 128) + Section(0x10000, 40) + "q\r\n", image), 2);
  EXPECT_EQ(image.blocks[0].address, 0x5C00u);
  EXPECT_EQ(image.blocks[1].address, 0x10000u);
  EXPECT_EQ(image.blocks[1].length, 46);
  EXPECT_EQ(image.blocks[2].address, 0xFF80u);
  EXPECT_EQ(image.FirstVector, 2);
  EXPECT_EQ(image.VectorCount, 1);

  // As the first block it stays first.
  EXPECT_EQ(ReadTiTxt(Section(0xFF80, 128) + Section(0x5C00, 20) + "q\r\n", image), 1);
  EXPECT_EQ(image.blocks[0].address, 0xFF80u);
  EXPECT_EQ(image.FirstVector, 0);
}

TEST(TiTxtRead, Wide32BitAddressesAreKept) {
  FirmwareImage32 image;
  EXPECT_EQ(ReadTiTxt(Section(0x45000, 6) + "q\r\n", image), 0);
  EXPECT_EQ(image.blocks[0].address, 0x45000u);
  EXPECT_EQ(image.blocks[0].length, 12);
  EXPECT_EQ(image.FirstVector, -1);
}

TEST(TiTxtRead, TextAfterQIsIgnored) {
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt(Section(0x3100, 4) + "q\r\n" + Section(0x4000, 4), image), 0);
  // "q" ends the scan even inside a line; it ends that line too.
  EXPECT_EQ(ReadTiTxt("@3100\r\n01 02 03q 04 05\r\n", image), 0);
  EXPECT_EQ(Data(image, 0), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0xFF}));
}

TEST(TiTxtRead, FileWithoutAddressLineIsEmpty) {
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt("01 02 03 04\r\nq\r\n", image), -1);
  EXPECT_TRUE(image.blocks.empty());
  EXPECT_EQ(ReadTiTxt("", image), -1);
}

TEST(TiTxtRead, LineEndsOtherThanCrLfReadTheSame) {
  FirmwareImage16 crlf;
  FirmwareImage16 lf;
  FirmwareImage16 cr;
  const std::string text = Section(0x3100, 300) + Section(0xFFE0, 32) + "q\r\n";
  std::string lfText;
  std::string crText;
  for (char c : text) {
    if (c != '\r') lfText += c;
    if (c != '\n') crText += c;
  }
  ReadTiTxt(text, crlf);
  ReadTiTxt(lfText, lf);
  ReadTiTxt(crText, cr);
  ASSERT_EQ(crlf.blocks.size(), 3u);
  for (const auto* other : {&lf, &cr}) {
    ASSERT_EQ(other->blocks.size(), crlf.blocks.size());
    for (size_t i = 0; i < crlf.blocks.size(); ++i) {
      EXPECT_EQ(other->blocks[i].address, crlf.blocks[i].address);
      EXPECT_EQ(Data(*other, i), Data(crlf, i));
    }
  }
}

TEST(TiTxtRead, TrailingBlanksAndAMissingLastLineEndLoseNothing) {
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt("@3100 \r\n01 02 \r\n 03 04", image), 0);
  EXPECT_EQ(Data(image, 0), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04}));
}

TEST(TiTxtRead, OddBlockAfterFifteenLinesCarriesItsLastByteOn) {
  // Lines of 15 bytes: 15 lines hold 225 bytes. The 225th byte goes to the
  // next block, so every block stays even and every byte keeps its address.
  FirmwareImage16 image;
  EXPECT_EQ(ReadTiTxt(Section(0x4000, 460, 0, 15) + "q\r\n", image), 2);
  EXPECT_EQ(image.blocks[0].address, 0x4000);
  EXPECT_EQ(image.blocks[0].DataLength(), 224u);
  EXPECT_EQ(image.blocks[1].address, 0x4000 + 224);
  EXPECT_EQ(image.blocks[1].data[0], 224);
  EXPECT_EQ(image.blocks[1].DataLength(), 226u);  // the carried byte + 15 lines
  EXPECT_EQ(image.blocks[1].data[225], 449 & 0xFF);
  EXPECT_EQ(image.blocks[2].address, 0x4000 + 450);
  EXPECT_EQ(image.blocks[2].DataLength(), 10u);
}

TEST(TiTxtRead, LongLinesAreSplitAtTheBlockCapacity) {
  FirmwareImage32 image;
  EXPECT_EQ(ReadTiTxt(Section(0x8000, 600, 0, 100) + "q\r\n", image), 2);
  EXPECT_EQ(image.blocks[0].DataLength(), 246u);
  EXPECT_EQ(image.blocks[1].address, 0x8000u + 246);
  EXPECT_EQ(image.blocks[1].data[0], 246);
  EXPECT_EQ(image.blocks[2].address, 0x8000u + 492);
  EXPECT_EQ(image.blocks[2].DataLength(), 108u);
}

TEST(TiTxtRead, InputBeyondTheLimitsIsRecorded) {
  FirmwareImage16 image;
  ReadTiTxt("@0000000000003100\r\n01 02\r\nq\r\n", image);
  EXPECT_EQ(image.fault, ImageFault::kAddressTooLong);
  ReadTiTxt("@000000000003100\r\n01 02\r\nq\r\n", image);
  EXPECT_EQ(image.fault, ImageFault::kNone);

  ReadTiTxt(Section(0x20000, 2) + "q\r\n", image);
  EXPECT_EQ(image.fault, ImageFault::kAddressOutOfRange);
  ReadTiTxt(Section(0x1FFF0, 32) + "q\r\n", image);
  EXPECT_EQ(image.fault, ImageFault::kAddressOutOfRange);
  FirmwareImage32 wide;
  ReadTiTxt("@100000000\r\n01 02\r\nq\r\n", wide);
  EXPECT_EQ(wide.fault, ImageFault::kAddressOutOfRange);
  // An odd count up to 0xFFFF has no room for its pad byte.
  for (const char* text : {"@FFFD\r\n01 02 03 04\r\n", "@FFFF\r\n01\r\n", "@1FFFF\r\n01\r\n"}) {
    ReadTiTxt(text, image);
    EXPECT_EQ(image.fault, ImageFault::kOddAtBoundary) << text;
  }
  ReadTiTxt("@FFFF\r\n01\r\n", wide);
  EXPECT_EQ(wide.fault, ImageFault::kNone);

  std::string many;
  for (uint32_t i = 0; i < 21; ++i) many += Section(0x4000 + 0x10 * i, 2);
  FirmwareImage16 patch(20);
  ReadTiTxt(many, patch);
  EXPECT_EQ(patch.fault, ImageFault::kTooManyBlocks);
  EXPECT_EQ(patch.blocks.size(), 20u);
  // Twenty blocks fit; the marker of an upper part needs one more.
  FirmwareImage16 full(20);
  std::string upper = Section(0x3100, 2);
  for (uint32_t i = 0; i < 19; ++i) upper += Section(0x10000 + 0x10 * i, 2);
  ReadTiTxt(upper, full);
  EXPECT_EQ(full.fault, ImageFault::kTooManyBlocks);
}

TEST(TiTxtRead, ReadingAgainStartsFromScratch) {
  FirmwareImage16 image;
  ReadTiTxt(Section(0x3100, 4) + Section(0x10000, 4), image);
  EXPECT_EQ(ReadTiTxt(Section(0x5000, 2), image), 0);
  EXPECT_EQ(image.FirstUpper, -1);
  EXPECT_EQ(image.LastUpper, -1);
  EXPECT_EQ(image.blocks[0].address, 0x5000);
}

}  // namespace
