#pragma once

#include <string>
#include <string_view>

namespace update {

// What the markers of the message texts stand for in the current run.
struct PlaceholderValues {
  std::string mainFile;     // DATEI
  std::string displayName;  // NAME; empty: texts::kDefaultDeviceName
  int language = 0;         // 1 English, else German
  int deviceComIndex = 0;   // COM X shows this + 1
};

// Replaces in one pass over `text`: "DATEI" by the main file, "NAME" by the
// display name, the "X" of "COM X" by the COM number, and the two
// characters backslash and "r" by carriage return and line feed. Each
// occurrence in the text is replaced once; what a replacement brings in is
// never scanned again (a display name that contains "NAME", or a file path
// with "\r" in it, stays as it is).
std::string FillPlaceholders(std::string_view text, const PlaceholderValues& values);

}  // namespace update
