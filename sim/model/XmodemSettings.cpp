#include "sim/model/XmodemSettings.h"

#include "sim/model/ProfileReader.h"

namespace sim {

bool XmodemSettings::Parse(std::string_view value, std::string& error) {
  const auto words = ProfileReader::Words(value);
  if (words.empty() || words.size() % 2 != 0) {
    error = "xmodem: expected pairs like 'version 1.06 start-ms 200'";
    return false;
  }
  XmodemSettings read;
  for (size_t i = 0; i < words.size(); i += 2) {
    const std::string_view key = words[i];
    const std::string_view v = words[i + 1];
    uint64_t n = 0;
    if (key == "version") {
      // The loader answers it after "#": no blanks, no line end, short.
      if (v.size() > 16) {
        error = "xmodem: version text longer than 16 characters";
        return false;
      }
      read.version = std::string(v);
    } else if (key == "start-ms" && ProfileReader::ParseNumber(v, 60000, n)) {
      read.startMs = static_cast<uint32_t>(n);
    } else {
      error = "xmodem: cannot read '" + std::string(key) + " " + std::string(v) + "'";
      return false;
    }
  }
  *this = read;
  return true;
}

int XmodemSettings::VersionHundredths() const {
  const size_t dot = version.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 3 > version.size()) return -1;
  int major = 0;
  for (size_t i = 0; i < dot; ++i) {
    if (version[i] < '0' || version[i] > '9' || major > 1000) return -1;
    major = major * 10 + (version[i] - '0');
  }
  const char a = version[dot + 1], b = version[dot + 2];
  if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
  return major * 100 + (a - '0') * 10 + (b - '0');
}

}  // namespace sim
