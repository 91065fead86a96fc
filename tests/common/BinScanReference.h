#pragma once

// The version search of binary package files exactly as it is worded: at
// every offset, search the key in the zero-terminated run that begins there.
// Quadratic on data without zero bytes; kept as the reference that the
// one-pass scan is checked and timed against.
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace reference {

inline std::string BinVersionAsWorded(std::string_view key, std::string_view data) {
  constexpr size_t kMax = 15;  // room of the version text in the device record
  key = key.substr(0, std::min(key.find('\0'), key.size()));
  const auto runEnd = [&](size_t from) { return std::min(data.find('\0', from), data.size()); };
  std::string version;
  for (size_t offset = 0; offset < data.size(); ++offset) {
    const std::string_view run = data.substr(offset, runEnd(offset) - offset);
    const size_t at = run.find(key);
    if (at == std::string_view::npos) continue;
    size_t start = offset + at + key.size();
    start += !key.empty() && static_cast<unsigned char>(key[0]) == 0xDD ? 4 : 1;
    if (start < data.size()) version = std::string(data.substr(start, runEnd(start) - start));
    break;
  }
  // A key before the first zero byte: hex pairs, as in text files.
  const std::string_view first = data.substr(0, runEnd(0));
  const size_t at = first.find(key);
  if (at != std::string_view::npos) {
    version.clear();
    const auto digit = [](unsigned char c) { return c <= '9' ? c - '0' : std::toupper(c) - 55; };
    for (size_t i = at + key.size();;) {
      while (i < data.size() && data[i] == ' ') ++i;
      if (i + 2 > data.size() || data[i] == '\0' || data[i + 1] == '\0') break;
      const int value =
          digit(static_cast<unsigned char>(data[i])) * 16 + digit(static_cast<unsigned char>(data[i + 1]));
      i += 2;
      if (value == 0 || (value & 0xFF) == 0) break;  // a zero character ends the text
      version.push_back(static_cast<char>(value & 0xFF));
    }
  }
  return version.substr(0, kMax);
}

}  // namespace reference
