#include "update/versions/VersionNumber.h"

#include <charconv>
#include <limits>
#include <string>
#include <system_error>

namespace update {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t VersionThousandths(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::string number;  // normalised for from_chars, which takes no "+" and no bare "."
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  size_t digits = 0;
  std::string mantissa;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) mantissa += text[i];
  if (i < text.size() && text[i] == '.') {
    mantissa += '.';
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits) mantissa += text[i];
  }
  if (digits == 0) return 0;
  if (mantissa.front() == '.') mantissa.insert(mantissa.begin(), '0');
  number += mantissa;
  bool negativeExponent = false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      negativeExponent = text[j] == '-';
      if (negativeExponent) exponent += '-';
      ++j;
    }
    const size_t first = j;
    for (; j < text.size() && IsDigit(text[j]); ++j) exponent += text[j];
    if (j > first) number += exponent;
  }

  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    if (negativeExponent) return 0;
    value = number.front() == '-' ? -std::numeric_limits<double>::infinity()
                                  : std::numeric_limits<double>::infinity();
  } else if (error != std::errc()) {
    return 0;
  }
  const double scaled = value * 1000.01;
  if (scaled >= 2147483648.0) return std::numeric_limits<int32_t>::max();
  if (scaled <= -2147483649.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(scaled);
}

}  // namespace update
