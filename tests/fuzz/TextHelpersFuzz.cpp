// The text helpers take texts read from firmware files and device answers:
// no input may make them read or write outside the text.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/TextHelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint32_t position = data[0];
  const uint8_t count = data[1];
  const size_t split = data[2] % (size - 2);
  const std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  const std::string_view pattern = rest.substr(0, split);
  std::string buffer(rest.substr(split));

  core::StrPos(buffer, pattern, position);
  core::StrInsert(pattern, buffer, position);
  core::StrDelete(buffer, position, count);
  core::HexToInt(buffer);
  core::NarrowText(core::WidenText(buffer));
  return 0;
}
