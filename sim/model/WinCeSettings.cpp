#include "sim/model/WinCeSettings.h"

#include <array>
#include <utility>

#include "sim/model/ProfileReader.h"

namespace sim {
namespace {

constexpr uint64_t kMaxRate = 4000000;
constexpr uint64_t kMaxCount = 1000000000;

}  // namespace

bool WinCeSettings::Parse(std::string_view value, std::string& error) {
  const auto words = ProfileReader::Words(value);
  if (words.empty()) {
    error = "wince: expected settings like 'rate 38400 bad-crc-at 3'";
    return false;
  }
  const std::array<std::pair<std::string_view, uint32_t*>, 5> counts{{{"bad-crc-at", &badCrcAt},
                                                                      {"bad-crc-from", &badCrcFrom},
                                                                      {"silent-after", &silentAfter},
                                                                      {"next-file-after", &nextFileAfter},
                                                                      {"rate", &rate}}};
  for (size_t i = 0; i < words.size();) {
    const std::string_view key = words[i];
    uint64_t n = 0;
    uint64_t e = 0;
    if (key == "error-at") {
      if (i + 2 >= words.size() || !ProfileReader::ParseNumber(words[i + 1], kMaxCount, n) ||
          !ProfileReader::ParseNumber(words[i + 2], kMaxCount, e) || n == 0) {
        error = "wince: expected 'error-at BLOCK NUMBER'";
        return false;
      }
      errorAt = static_cast<uint32_t>(n);
      errorNumber = static_cast<uint32_t>(e);
      i += 3;
      continue;
    }
    uint32_t* target = nullptr;
    for (const auto& [name, field] : counts) {
      if (key == name) target = field;
    }
    const uint64_t max = key == "rate" ? kMaxRate : kMaxCount;
    if (!target || i + 1 >= words.size() || !ProfileReader::ParseNumber(words[i + 1], max, n) || n == 0) {
      error = "wince: cannot read '" + std::string(key) + (i + 1 < words.size() ? " " + std::string(words[i + 1]) : "") +
              "'";
      return false;
    }
    *target = static_cast<uint32_t>(n);
    i += 2;
  }
  return true;
}

}  // namespace sim
