#pragma once

#include <cstdint>
#include <string>

namespace sim {

// An answer line "I.<code><parameter>" that an instrument gives for a
// situation of its own, triggered by a command it receives.
//  - 1131 ("#<ms>"): sent at once; the normal answer follows <ms> later.
//  - 1132: sent instead of the normal answer (not in update mode).
//  - every other code: sent after the normal answer, `delayMs` later.
struct SpecialAnswer {
  int code = 0;
  std::string parameter;  // "", "#text" or "$number", as sent
  int afterCommand = 0;   // the command number that triggers it
  uint32_t delayMs = 0;
  uint32_t times = 0;  // how often it is given; 0 = every time

  std::string Line() const { return "I." + std::to_string(code) + parameter + "\r\n"; }
};

}  // namespace sim
