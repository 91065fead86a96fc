#include "sim/model/BslSettings.h"

#include <array>
#include <utility>
#include <vector>

#include "sim/model/FlashMemory.h"
#include "sim/model/ProfileReader.h"

namespace sim {
namespace {

// Hexadecimal, with or without "0x".
bool Hex(std::string_view word, uint32_t max, uint32_t& value) {
  uint64_t v = 0;
  if (!ProfileReader::ParseNumber(word, max, v, 16)) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

bool BslSettings::Parse(std::string_view value, std::string& error) {
  const auto words = ProfileReader::Words(value);
  if (words.empty() || words.size() % 2 != 0) {
    error = "bsl: expected pairs like 'family 2xx chip 0xF26F version 1.61 reset 0x3100'";
    return false;
  }
  for (size_t i = 0; i < words.size(); i += 2) {
    const std::string_view key = words[i];
    const std::string_view v = words[i + 1];
    uint32_t n = 0;
    if (key == "family") {
      static constexpr std::array<std::pair<std::string_view, Family>, 4> kFamilies{
          {{"1xx", Family::F1xx}, {"2xx", Family::F2xx}, {"4xx", Family::F4xx}, {"5xx", Family::F5xx}}};
      if (!ProfileReader::Pick(v, kFamilies, family)) {
        error = "bsl: family '" + std::string(v) + "' must be 1xx, 2xx, 4xx or 5xx";
        return false;
      }
    } else if (key == "chip" && Hex(v, 0xFFFF, n)) {
      chipId = static_cast<uint16_t>(n);
    } else if (key == "version") {
      // "1.61": the digits are the reported bytes 01 61.
      const size_t dot = v.find('.');
      uint32_t high = 0, low = 0;
      if (dot == std::string_view::npos || dot + 3 != v.size() || !Hex(v.substr(0, dot), 0xFF, high) ||
          !Hex(v.substr(dot + 1), 0xFF, low)) {
        error = "bsl: version '" + std::string(v) + "' must look like 1.61";
        return false;
      }
      versionHigh = static_cast<uint8_t>(high);
      versionLow = static_cast<uint8_t>(low);
    } else if (key == "reset" && Hex(v, 0xFFFF, n) && n % 2 == 0) {
      resetVector = n;
    } else {
      error = "bsl: cannot read '" + std::string(key) + " " + std::string(v) + "'";
      return false;
    }
  }
  return true;
}

int BslSettings::VersionHundredths() const {
  return (versionHigh >> 4) * 1000 + (versionHigh & 15) * 100 + (versionLow >> 4) * 10 + (versionLow & 15);
}

void PreloadBslFirmware(const BslSettings& settings, FlashMemory& flash) {
  if (settings.resetVector == 0) return;
  std::vector<uint8_t> code(256);
  for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>(0x30 + i * 7);
  flash.Write(settings.resetVector, code);
  std::vector<uint8_t> table(32, 0xFF);
  table[30] = static_cast<uint8_t>(settings.resetVector);
  table[31] = static_cast<uint8_t>(settings.resetVector >> 8);
  flash.Write(0xFFE0, table);
}

}  // namespace sim
