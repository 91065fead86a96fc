#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// What a profile says about an instrument's Windows CE file receiver, and
// the faults it shows on purpose (block numbers count every block the
// receiver takes, from 1, repeats included):
//   wince = rate 38400 bad-crc-at 3 error-at 5 7 silent-after 4 next-file-after 2
// `rate`: the transfer rate it switches to after A.1300 (38400);
// `bad-crc-at N`: block N is answered "send again" although it is intact;
// `bad-crc-from N`: every block from N on is (a storm without end);
// `error-at N E`: block N is answered with error number E;
// `silent-after N`: once block N is answered, it answers nothing more;
// `next-file-after N`: block N is answered "next file" (260) instead.
struct WinCeSettings {
  uint32_t rate = 38400;
  uint32_t badCrcAt = 0;
  uint32_t badCrcFrom = 0;
  uint32_t errorAt = 0;
  uint32_t errorNumber = 0;
  uint32_t silentAfter = 0;
  uint32_t nextFileAfter = 0;

  // False (and `error` set) for a value it cannot read.
  bool Parse(std::string_view value, std::string& error);
};

}  // namespace sim
