#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// What a profile says about an instrument's XMODEM loader:
//   xmodem = version 1.06 start-ms 200
// `version` the text the loader reports for A.2051 (from 1.06 on it wants
// the code after each command letter); `start-ms` how long the new firmware
// takes to start after "r" before it answers on its command line.
struct XmodemSettings {
  std::string version = "1.06";
  uint32_t startMs = 200;

  // False (and `error` set) for a value it cannot read.
  bool Parse(std::string_view value, std::string& error);
  // The version as major * 100 + minor (1.06 is 106); -1 when it is not
  // of that form.
  int VersionHundredths() const;
};

}  // namespace sim
