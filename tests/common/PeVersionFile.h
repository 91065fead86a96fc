#pragma once

// A Windows program file as far as the version check reads it: an "MZ"
// header and a version resource's String entries in UTF-16.

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// One String entry: length, value length, type, key, zero, padding to 4
// bytes, value, zero.
inline std::string PeResourceString(const std::u16string& key, const std::u16string& value) {
  std::u16string units = {0, 0, 1};
  units += key;
  units += u'\0';
  if (units.size() % 2) units += u'\0';
  units += value;
  units += u'\0';
  units[0] = static_cast<char16_t>(units.size() * 2);
  units[1] = static_cast<char16_t>(value.size() + 1);
  std::string bytes;
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

// An .EXE or .DLL whose entries are `strings` (key, value); the version
// check takes the value after its first character ("V2.00" reads 2.00).
inline std::string PeFileWith(const std::vector<std::pair<std::u16string, std::u16string>>& strings) {
  std::string file = "MZ" + std::string(126, '\0');
  for (const auto& [key, value] : strings) file += PeResourceString(key, value);
  return file + std::string(200, '\0');
}

}  // namespace testing_support
