#pragma once

#include <cstdint>
#include <string_view>

namespace update {

// The C library's atol and atof as the instruments' answers need them, but
// independent of the process locale (a German locale would read "1013.5"
// as 1013) and without undefined behaviour on overflow: leading blanks are
// skipped, an optional sign is taken, parsing stops at the first character
// that does not fit; no number gives 0. The integer saturates at the 32-bit
// range.
int32_t AsciiToLong(std::string_view text);
float AsciiToFloat(std::string_view text);

}  // namespace update
