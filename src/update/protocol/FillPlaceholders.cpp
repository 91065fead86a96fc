#include "update/protocol/FillPlaceholders.h"

#include "update/RunTexts.h"

namespace update {

std::string FillPlaceholders(std::string_view text, const PlaceholderValues& values) {
  static constexpr std::string_view kFile = "DATEI";
  static constexpr std::string_view kName = "NAME";
  static constexpr std::string_view kCom = "COM X";
  static constexpr std::string_view kBreak = "\\r";

  std::string out;
  out.reserve(text.size() + 64);
  size_t i = 0;
  while (i < text.size()) {
    const std::string_view rest = text.substr(i);
    if (rest.starts_with(kFile)) {
      out += values.mainFile;
      i += kFile.size();
    } else if (rest.starts_with(kName)) {
      out += values.displayName.empty() ? texts::kDefaultDeviceName.In(values.language) : values.displayName;
      i += kName.size();
    } else if (rest.starts_with(kCom)) {
      out += "COM ";
      out += std::to_string(values.deviceComIndex + 1);
      i += kCom.size();
    } else if (rest.starts_with(kBreak)) {
      out += "\r\n";
      i += kBreak.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace update
