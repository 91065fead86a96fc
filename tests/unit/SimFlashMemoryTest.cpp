#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "sim/model/FlashMemory.h"

namespace {

using sim::FlashMemory;
using Result = sim::FlashMemory::Result;

FlashMemory MakeFlash() {
  FlashMemory flash;
  flash.AddRegion({0x1000, 0x100, 0x40});    // info memory: 4 segments of 64
  flash.AddRegion({0x1100, 0x0400, 0x200});  // main memory right after: 2 segments of 512
  return flash;
}

TEST(SimFlashMemory, WritesOnlyClearBitsAndReportWhatCouldNotBeSet) {
  FlashMemory flash = MakeFlash();
  EXPECT_TRUE(flash.IsErased(0x1000, 0x500));
  EXPECT_EQ(flash.Write(0x1100, {0xF0, 0x12}), Result::Ok);
  // 0xF0 & 0x0F: the cell keeps the AND, the write is reported.
  EXPECT_EQ(flash.Write(0x1100, {0x0F}), Result::NotErased);
  // Writing a value whose 1 bits are all still set is fine.
  EXPECT_EQ(flash.Write(0x1101, {0x02}), Result::Ok);
  std::vector<uint8_t> out;
  ASSERT_EQ(flash.Read(0x1100, 3, out), Result::Ok);
  EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 0x02, 0xFF}));
}

TEST(SimFlashMemory, EraseWorksOnWholeSegmentsOfTheirRegion) {
  FlashMemory flash = MakeFlash();
  const std::vector<uint8_t> zeros(0x500, 0x00);
  ASSERT_EQ(flash.Write(0x1000, zeros), Result::Ok);  // runs across both regions
  EXPECT_EQ(flash.EraseSegment(0x1345), Result::Ok);  // second main segment: 0x1300..0x14FF
  EXPECT_TRUE(flash.IsErased(0x1300, 0x200));
  EXPECT_FALSE(flash.IsErased(0x12FF, 1));
  EXPECT_EQ(flash.EraseSegment(0x1041), Result::Ok);  // info segment 0x1040..0x107F
  EXPECT_TRUE(flash.IsErased(0x1040, 0x40));
  EXPECT_EQ(flash.At(0x103F), 0x00);
  EXPECT_EQ(flash.At(0x1080), 0x00);
  EXPECT_EQ(flash.SegmentEraseCount(), 2u);
  EXPECT_EQ(flash.EraseRegion(0x1000), Result::Ok);
  EXPECT_TRUE(flash.IsErased(0x1000, 0x100));
  EXPECT_EQ(flash.At(0x1100), 0x00);
  flash.EraseAll();
  EXPECT_TRUE(flash.IsErased(0x1000, 0x500));
}

TEST(SimFlashMemory, AddressesOutsideFlashChangeNothing) {
  FlashMemory flash = MakeFlash();
  // The last byte falls outside: nothing at all is written.
  EXPECT_EQ(flash.Write(0x14FF, {0x00, 0x00}), Result::OutOfRange);
  EXPECT_EQ(flash.At(0x14FF), 0xFF);
  EXPECT_EQ(flash.Write(0x0FFF, {0x00}), Result::OutOfRange);
  EXPECT_EQ(flash.EraseSegment(0x2000), Result::OutOfRange);
  std::vector<uint8_t> out{1, 2};
  EXPECT_EQ(flash.Read(0x14FE, 4, out), Result::OutOfRange);
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(flash.IsErased(0x14FE, 4));
}

TEST(SimFlashMemory, RejectsRegionsThatCannotExist) {
  FlashMemory flash = MakeFlash();
  EXPECT_THROW(flash.AddRegion({0x10F0, 0x20, 0x10}), std::invalid_argument);   // overlaps
  EXPECT_THROW(flash.AddRegion({0x8000, 0x100, 0x30}), std::invalid_argument);  // segment does not divide
  EXPECT_THROW(flash.AddRegion({0x8000, 0, 0x10}), std::invalid_argument);
  EXPECT_THROW(flash.AddRegion({0xFFFFFF00, 0x200, 0x100}), std::invalid_argument);  // past 4 GiB
  EXPECT_EQ(flash.Regions().size(), 2u);
}

TEST(SimFlashMemory, DumpsProgrammedBytesAsTiTxt) {
  FlashMemory flash = MakeFlash();
  std::vector<uint8_t> block(18);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(flash.Write(0x1100, block), Result::Ok);
  // Fewer than 16 erased bytes keep a block together ...
  ASSERT_EQ(flash.Write(0x1120, {0xAA}), Result::Ok);
  // ... 16 or more split it.
  ASSERT_EQ(flash.Write(0x1400, {0x55, 0x66}), Result::Ok);
  std::ostringstream out;
  flash.Dump(out);
  EXPECT_EQ(out.str(),
            "@1100\n"
            "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n"
            "10 11 FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n"
            "AA\n"
            "@1400\n"
            "55 66\n"
            "q\n");
}

}  // namespace
