#include <gtest/gtest.h>

#include "update/protocol/AsciiNumbers.h"
#include "update/protocol/CommandTables.h"
#include "update/protocol/FillPlaceholders.h"

namespace {

using update::FillPlaceholders;
using update::PlaceholderValues;

TEST(FillPlaceholders, NameFallsBackToTheWordForDeviceInEachLanguage) {
  PlaceholderValues values;
  values.language = 1;
  EXPECT_EQ(FillPlaceholders("Kein NAME gefunden", values), "Kein device gefunden");
  values.language = 0;
  EXPECT_EQ(FillPlaceholders("Kein NAME gefunden", values), "Kein Ger\xE4t gefunden");
  values.displayName = "pH 720q, Oxi 720q, ";
  EXPECT_EQ(FillPlaceholders("f\xFCr ein NAME !", values), "f\xFCr ein pH 720q, Oxi 720q,  !");
}

TEST(FillPlaceholders, EveryMarkerAndEveryOccurrence) {
  PlaceholderValues values;
  values.mainFile = "FW.TXT";
  values.displayName = "Multi";
  values.deviceComIndex = 2;
  EXPECT_EQ(FillPlaceholders("DATEI/DATEI an NAME auf COM X\\rCOM X", values),
            "FW.TXT/FW.TXT an Multi auf COM 3\r\nCOM 3");
}

TEST(FillPlaceholders, ReplacementsAreNotScannedAgain) {
  PlaceholderValues values;
  values.displayName = "NAME NAME";
  values.mainFile = "C:\\readme\\NAME.TXT";
  EXPECT_EQ(FillPlaceholders("NAME: DATEI", values), "NAME NAME: C:\\readme\\NAME.TXT");
}

TEST(AsciiNumbers, BehaveLikeTheCLibraryInAnyLocale) {
  EXPECT_EQ(update::AsciiToLong(" 2003#x"), 2003);
  EXPECT_EQ(update::AsciiToLong("-12"), -12);
  EXPECT_EQ(update::AsciiToLong("+7"), 7);
  EXPECT_EQ(update::AsciiToLong("x1"), 0);
  EXPECT_EQ(update::AsciiToLong(""), 0);
  EXPECT_EQ(update::AsciiToLong("-99999999999"), -2147483647 - 1);
  EXPECT_FLOAT_EQ(update::AsciiToFloat("1013.5"), 1013.5f);
  EXPECT_FLOAT_EQ(update::AsciiToFloat("  -0.25abc"), -0.25f);
  EXPECT_FLOAT_EQ(update::AsciiToFloat("1e2"), 100.0f);
  EXPECT_EQ(update::AsciiToFloat("abc"), 0.0f);
  EXPECT_EQ(update::AsciiToFloat("1e999"), std::numeric_limits<float>::infinity());
}

TEST(CommandTables, IndexesOutsideATableGiveNothing) {
  EXPECT_EQ(update::SearchCommand(1), "A.1000\r\n");
  EXPECT_EQ(update::SearchCommand(4), "A.1131\r\n");
  EXPECT_EQ(update::SearchCommand(6), "");
  EXPECT_EQ(update::SearchCommand(-1), "");
  EXPECT_EQ(update::WakeUpSequence(0).size(), 9u);
  EXPECT_EQ(update::WakeUpSequence(0)[8], '\x16');
  EXPECT_EQ(update::WakeUpSequence(4), std::string_view("\x85\x01\x00\x1A", 4));
  EXPECT_EQ(update::WakeUpSequence(5), "");
  EXPECT_EQ(update::WakeUpSequence(8), "") << "LoaderKind + 3 past the table";
  EXPECT_EQ(update::ClosingCommand(1), "A.1121\r\n");
  EXPECT_EQ(update::IdentificationQuery(3), "A.4001\r\n");
}

}  // namespace
