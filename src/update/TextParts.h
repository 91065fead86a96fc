#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace update {

// True when `part` is not empty and occurs in `text`.
inline bool Contains(std::string_view text, std::string_view part) {
  return !part.empty() && text.find(part) != std::string_view::npos;
}

// At most `capacity` characters of `text`: a record field's room.
inline std::string Clip(std::string_view text, size_t capacity) {
  return std::string(text.substr(0, capacity));
}

// `text` with a..z in upper case; other bytes (Latin-1 letters) unchanged.
inline std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// `text` with the first `marker` replaced by `value` (the X or CODE of a
// message); unchanged without one.
inline std::string ReplaceFirst(std::string_view text, std::string_view marker, std::string_view value) {
  const size_t at = text.find(marker);
  if (at == std::string_view::npos) return std::string(text);
  std::string out(text.substr(0, at));
  out += value;
  out += text.substr(at + marker.size());
  return out;
}

}  // namespace update
