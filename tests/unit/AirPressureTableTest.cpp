#include <gtest/gtest.h>

#include <cstdio>

#include "update/procedures/AirPressureTable.h"

namespace {

using update::AirPressureValue;
using update::LookUpAirPressure;

std::string Printed(float hpa) {
  char text[32];
  std::snprintf(text, sizeof text, "%1.1f", hpa);
  return text;
}

TEST(AirPressure, BarometricInstrumentsFindTheirRow) {
  EXPECT_EQ(LookUpAirPressure("28101.000", "14180456", 1020), 36);
  EXPECT_EQ(Printed(AirPressureValue(36)), "947.0");
  EXPECT_EQ(LookUpAirPressure("28101", "14111108", 102), 0);
  EXPECT_EQ(Printed(AirPressureValue(0)), "961.7");
  EXPECT_EQ(LookUpAirPressure("28160", "14201275", 101), 75);
  EXPECT_EQ(Printed(AirPressureValue(75)), "945.1");
  EXPECT_EQ(update::AirPressureRowCount(), 76);
}

TEST(AirPressure, UnknownSerialGetsTheDefaultAndOthersNone) {
  EXPECT_EQ(LookUpAirPressure("28154", "99999999", 5000), update::kDefaultAirPressure);
  EXPECT_EQ(Printed(AirPressureValue(update::kDefaultAirPressure)), "947.0");
  EXPECT_EQ(LookUpAirPressure("28160", "14201275", 100), update::kNoAirPressure) << "below its lowest version";
  EXPECT_EQ(LookUpAirPressure("21130.000", "14111108", 5000), update::kNoAirPressure);
  EXPECT_EQ(LookUpAirPressure("", " ", 0), update::kNoAirPressure);
  EXPECT_EQ(Printed(AirPressureValue(76)), "947.0") << "no row past the table";
}

}  // namespace
