// The 5xx/6xx layout of the TI-TXT reader over arbitrary input.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  programmers::FirmwareImage32 image(size % 2 ? 20 : 1280);
  const int last = programmers::ReadTiTxt(std::string_view(reinterpret_cast<const char*>(data), size), image);
  if (last != static_cast<int>(image.blocks.size()) - 1 || image.blocks.size() > image.capacity) std::abort();
  // Every address holds one value: a pad may only repeat a byte given elsewhere.
  std::unordered_map<uint32_t, uint8_t> memory;
  for (const auto& b : image.blocks) {
    if (b.DataLength() == 0 || b.DataLength() % 2 || b.DataLength() > 246) std::abort();
    if (image.fault != programmers::ImageFault::kNone) continue;
    for (size_t k = 0; k < b.DataLength(); ++k) {
      const auto [at, added] = memory.emplace(b.address + static_cast<uint32_t>(k), b.data[k]);
      if (!added && at->second != b.data[k]) std::abort();
    }
  }
  if (image.FirstVector > last || image.VectorCount > last + 1) std::abort();
  if (image.fault == programmers::ImageFault::kNone && image.hasResetVector &&
      (!memory.contains(0xFFFE) || !memory.contains(0xFFFF)))
    std::abort();
  const programmers::ImageRefusal refusal = programmers::CheckImageForProgramming(image);
  if ((refusal == programmers::ImageRefusal::kNone) !=
      programmers::ImageRefusalText(refusal, "F.TXT", 0, image).empty())
    std::abort();
  return 0;
}
