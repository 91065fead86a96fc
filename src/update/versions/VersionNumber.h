#pragma once

#include <cstdint>
#include <string_view>

namespace update {

// A version text as signed thousandths: its leading decimal number (blanks
// skipped, optional sign, digits with optional point and exponent) times
// 1000.01, truncated toward zero. No number gives 0 ("X.XX", ""). The factor
// is 1000.01 so that 1.23 gives 1230 despite binary rounding. Values beyond
// the 32-bit range are clamped.
int32_t VersionThousandths(std::string_view text);

}  // namespace update
