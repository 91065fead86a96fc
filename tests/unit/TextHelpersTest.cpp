#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TextHelpers.h"

namespace {

using core::HexToInt;
using core::StrDelete;
using core::StrInsert;
using core::StrPos;

TEST(TextHelpers, InsertAtTheFrontInsideAndAtTheEnd) {
  std::string s = "ABC";
  EXPECT_EQ(StrInsert("XY", s, 2), "AXYBC");
  s = "ABC";
  EXPECT_EQ(StrInsert("XY", s, 4), "ABCXY");
  s = "ABC";
  EXPECT_EQ(StrInsert("XY", s, 1), "XYABC");
  s = "ABC";
  EXPECT_EQ(StrInsert("XY", s, 0), "ABC");
  EXPECT_EQ(StrInsert("XY", s, 9), "ABC");
}

TEST(TextHelpers, DeleteNeverCutsPastTheEnd) {
  std::string s = "ABCDE";
  EXPECT_EQ(StrDelete(s, 2, 2), "ADE");
  s = "ABC";
  EXPECT_EQ(StrDelete(s, 3, 2), "ABC");
  EXPECT_EQ(StrDelete(s, 3, 1), "AB");
  s = "ABC";
  EXPECT_EQ(StrDelete(s, 2, 0), "ABC");
  EXPECT_EQ(StrDelete(s, 0, 1), "ABC");
  EXPECT_EQ(StrDelete(s, 0xFFFFFFFFu, 255), "ABC");
}

TEST(TextHelpers, PosFindsFromTheStartPosition) {
  EXPECT_EQ(StrPos("1,2,3", ",", 3), 4u);
  EXPECT_EQ(StrPos("1,2,3", ",", 5), 0u);
  EXPECT_EQ(StrPos("1,2,3", ",", 0), 2u);
  EXPECT_EQ(StrPos("1,2,3", ",", 1), 2u);
  EXPECT_EQ(StrPos("1,2,3", "", 1), 0u);
  EXPECT_EQ(StrPos("", ",", 1), 0u);
  EXPECT_EQ(StrPos("1,2,3", ",", 99), 0u);
  EXPECT_EQ(StrPos("abcabc", "bc", 3), 5u);
}

// The way the program splits a list: each separator's position is the
// 0-based offset of the next item, and the next search starts after it.
TEST(TextHelpers, PosSplitsAList) {
  const std::string list = "COM1,COM12,,X";
  std::vector<std::string> items;
  uint32_t start = 1;
  for (;;) {
    const uint32_t sep = StrPos(list, ",", start);
    const uint32_t end = sep ? sep - 1 : static_cast<uint32_t>(list.size());
    items.push_back(list.substr(start - 1, end - (start - 1)));
    if (!sep) break;
    start = sep + 1;
  }
  EXPECT_EQ(items, (std::vector<std::string>{"COM1", "COM12", "", "X"}));
}

TEST(TextHelpers, HexToIntAlignsToTheRightAndDoesNotValidate) {
  EXPECT_EQ(HexToInt("00FF"), 255);
  EXPECT_EQ(HexToInt("1A"), 26);
  EXPECT_EQ(HexToInt("1a"), 26);
  EXPECT_EQ(HexToInt(""), 0);
  EXPECT_EQ(HexToInt("FFFF"), 65535);
  EXPECT_EQ(HexToInt("0G"), 16) << "G gives 71 - 55 = 16";
  EXPECT_EQ(HexToInt("00FF12"), 255) << "only four characters count";
}

TEST(TextHelpers, WidenAndNarrowKeepLatin1Umlauts) {
  const std::string german = "Ger\xE4t \xFC\xDF";
  const std::u16string wide = core::WidenText(german);
  EXPECT_EQ(wide, u"Ger\u00e4t \u00fc\u00df");
  EXPECT_EQ(core::NarrowText(wide), german);
  EXPECT_EQ(core::NarrowText(u"\u20ac"), "\xAC") << "the low byte is kept";
}

}  // namespace
