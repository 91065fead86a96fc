#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// What a profile says about an instrument's EFM hex-line loader:
//   efm = text EFM-LDR-2.04 restart-ms 400 program-ms 1500
// `text` is what the loader answers (264) after its restart, without
// blanks; `restart-ms` the time from the restart command to that answer;
// `program-ms` the time it takes to program the image before it
// acknowledges the finish command.
struct EfmSettings {
  static constexpr size_t kMaxText = 40;

  std::string text = "EFM-LDR-2.04";
  uint32_t restartMs = 400;
  uint32_t programMs = 1500;

  // False (and `error` set) for a value it cannot read.
  bool Parse(std::string_view value, std::string& error);
};

}  // namespace sim
