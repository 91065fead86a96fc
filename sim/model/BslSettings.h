#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

class FlashMemory;

// What a profile says about an instrument's MSP430 bootstrap loader and the
// firmware it holds before a run:
//   bsl = family 2xx chip 0xF26F version 1.61 reset 0x3100
// `family` is 1xx, 2xx, 4xx or 5xx; `chip` the chip ID (1xx/2xx/4xx: the two
// bytes at 0x0FF0, 5xx: the device ID at 0x1A04); `version` the loader
// version as the loader reports it (1.61 is the bytes 01 61); `reset` the
// reset vector of the old firmware in flash (0: the flash is erased).
struct BslSettings {
  enum class Family { F1xx, F2xx, F4xx, F5xx };

  Family family = Family::F2xx;
  uint16_t chipId = 0xF26F;
  uint8_t versionHigh = 0x01;
  uint8_t versionLow = 0x61;
  uint32_t resetVector = 0;

  // False (and `error` set) for a value it cannot read.
  bool Parse(std::string_view value, std::string& error);
  // The version in hundredths, as the tool counts it (1.61 is 161).
  int VersionHundredths() const;
};

// Puts the old firmware into `flash`: the vector table 0xFFE0..0xFFFF with
// every vector but reset left erased (0xFFFF) and reset = `resetVector`, and
// 256 bytes of code at the reset vector. Nothing when resetVector is 0.
void PreloadBslFirmware(const BslSettings& settings, FlashMemory& flash);

}  // namespace sim
