#include "sim/model/EfmSettings.h"

#include "sim/model/ProfileReader.h"

namespace sim {

bool EfmSettings::Parse(std::string_view value, std::string& error) {
  const auto words = ProfileReader::Words(value);
  if (words.empty() || words.size() % 2 != 0) {
    error = "efm: expected pairs like 'text EFM-LDR-2.04 restart-ms 400 program-ms 1500'";
    return false;
  }
  for (size_t i = 0; i < words.size(); i += 2) {
    const std::string_view key = words[i];
    const std::string_view v = words[i + 1];
    uint64_t n = 0;
    if (key == "text") {
      if (v.size() > kMaxText) {
        error = "efm: text longer than " + std::to_string(kMaxText) + " characters";
        return false;
      }
      text = std::string(v);
    } else if ((key == "restart-ms" || key == "program-ms") && ProfileReader::ParseNumber(v, 60000, n)) {
      (key == "restart-ms" ? restartMs : programMs) = static_cast<uint32_t>(n);
    } else {
      error = "efm: cannot read '" + std::string(key) + " " + std::string(v) +
              "' (text WORD, restart-ms 0..60000, program-ms 0..60000)";
      return false;
    }
  }
  return true;
}

}  // namespace sim
