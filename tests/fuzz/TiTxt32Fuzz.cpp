// The 5xx/6xx layout of the TI-TXT reader over arbitrary input.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  programmers::FirmwareImage32 image(size % 2 ? 20 : 1280);
  const int last = programmers::ReadTiTxt(std::string_view(reinterpret_cast<const char*>(data), size), image);
  if (last != static_cast<int>(image.blocks.size()) - 1 || image.blocks.size() > image.capacity) std::abort();
  for (const auto& b : image.blocks) {
    if (b.DataLength() == 0 || b.DataLength() % 2 || b.DataLength() > 246) std::abort();
  }
  if (image.FirstVector > last || image.VectorCount > last + 1) std::abort();
  programmers::CheckImageForProgramming(image);
  return 0;
}
