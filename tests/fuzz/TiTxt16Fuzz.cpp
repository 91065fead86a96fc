// TI-TXT files come from the package folder: no input may make the reader
// write outside a block or break the image's invariants.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  programmers::FirmwareImage16 image(size % 2 ? 20 : 1280);
  const int last = programmers::ReadTiTxt(std::string_view(reinterpret_cast<const char*>(data), size), image);
  if (last != static_cast<int>(image.blocks.size()) - 1 || image.blocks.size() > image.capacity) std::abort();
  for (const auto& b : image.blocks) {
    if (b.IsMarker()) continue;
    if (b.DataLength() == 0 || b.DataLength() % 2 || b.DataLength() > 246) std::abort();
    if (b.address + b.DataLength() > 0x10000) std::abort();
  }
  if (image.FirstUpper > last || image.LastUpper > last) std::abort();
  programmers::CheckImageForProgramming(image);
  return 0;
}
