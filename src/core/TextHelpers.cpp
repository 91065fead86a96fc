#include "core/TextHelpers.h"

#include <cctype>

namespace core {

std::string& StrInsert(std::string_view text, std::string& buffer, uint32_t position) {
  if (position < 1 || position > buffer.size() + 1) return buffer;
  buffer.insert(position - 1, text);
  return buffer;
}

std::string& StrDelete(std::string& buffer, uint32_t position, uint8_t count) {
  if (count == 0 || position < 1) return buffer;
  const uint64_t last = static_cast<uint64_t>(position) + count - 1;
  if (last > buffer.size()) return buffer;
  buffer.erase(position - 1, count);
  return buffer;
}

uint32_t StrPos(std::string_view text, std::string_view pattern, uint32_t start) {
  if (text.empty() || pattern.empty()) return 0;
  const size_t from = start > 1 ? start - 1 : 0;
  if (from >= text.size()) return 0;
  const size_t found = text.find(pattern, from);
  return found == std::string_view::npos ? 0 : static_cast<uint32_t>(found + 1);
}

int HexToInt(std::string_view text) {
  static constexpr int kWeights[4] = {4096, 256, 16, 1};
  if (text.size() > 4) text = text.substr(0, 4);
  const size_t first = 4 - text.size();
  int value = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int digit = c <= '9' ? c - '0' : std::toupper(c) - 55;
    value += digit * kWeights[first + i];
  }
  return value;
}

std::u16string WidenText(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char c : text) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return wide;
}

std::string NarrowText(std::u16string_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (char16_t c : text) narrow.push_back(static_cast<char>(c & 0xFF));
  return narrow;
}

}  // namespace core
