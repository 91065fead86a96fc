#include "update/protocol/AsciiNumbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace update {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Skips blanks and takes a sign; returns the rest.
std::string_view TakeSign(std::string_view text, bool& negative) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  return text.substr(i);
}

}  // namespace

int32_t AsciiToLong(std::string_view text) {
  bool negative = false;
  const std::string_view digits = TakeSign(text, negative);
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > int64_t{1} << 32) break;  // far past the range already
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

float AsciiToFloat(std::string_view text) {
  bool negative = false;
  const std::string_view rest = TakeSign(text, negative);
  double value = 0.0;
  const auto result = std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::general);
  if (result.ec == std::errc::invalid_argument) return 0.0f;
  if (result.ec == std::errc::result_out_of_range) value = std::numeric_limits<double>::infinity();
  if (negative) value = -value;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
    return value < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(value);
}

}  // namespace update
