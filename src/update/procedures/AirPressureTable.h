#pragma once

#include <cstdint>
#include <string_view>

namespace update {

// Barometric instruments get the reference air pressure of their factory
// calibration at the end of a run. The index says what to do:
inline constexpr int32_t kNoAirPressure = -1;       // not a barometric instrument (or done)
inline constexpr int32_t kDefaultAirPressure = -10;  // barometric, serial number not in the table
inline constexpr int32_t kAirPressureSent = -2;
inline constexpr float kDefaultPressureHpa = 947.0f;

// The row of the reference table for this instrument, kDefaultAirPressure,
// or kNoAirPressure. `identNumber` and `serialNumber` are the instrument's
// answers (their leading decimal integer counts); `deviceVersion` is in
// thousandths.
int32_t LookUpAirPressure(std::string_view identNumber, std::string_view serialNumber, int32_t deviceVersion);

// The pressure in hPa for a row or kDefaultAirPressure (947.0 for any index
// that is no row).
float AirPressureValue(int32_t index);

// The number of rows, for tests and tools.
int32_t AirPressureRowCount();

}  // namespace update
