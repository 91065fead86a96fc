// TI-TXT files come from the package folder: no input may make the reader
// write outside a block or break the image's invariants.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  programmers::FirmwareImage16 image(size % 2 ? 20 : 1280);
  const int last = programmers::ReadTiTxt(std::string_view(reinterpret_cast<const char*>(data), size), image);
  if (last != static_cast<int>(image.blocks.size()) - 1 || image.blocks.size() > image.capacity) std::abort();
  // Every address holds one value: a pad may only repeat a byte given elsewhere.
  std::unordered_map<uint32_t, uint8_t> memory;
  for (int i = 0; i <= last; ++i) {
    const auto& b = image.blocks[static_cast<size_t>(i)];
    if (b.IsMarker()) continue;
    if (b.DataLength() == 0 || b.DataLength() % 2 || b.DataLength() > 246) std::abort();
    if (b.address + b.DataLength() > 0x10000) std::abort();
    // Lower blocks behind the upper part are refused; their order says
    // nothing about which blocks are upper.
    if (image.fault != programmers::ImageFault::kNone || image.lowerAfterUpper) continue;
    const bool upper = image.FirstUpper >= 0 && i >= image.FirstUpper && i <= image.LastUpper;
    for (size_t k = 0; k < b.DataLength(); ++k) {
      const auto [at, added] =
          memory.emplace(b.address + static_cast<uint32_t>(k) + (upper ? 0x10000 : 0), b.data[k]);
      if (!added && at->second != b.data[k]) std::abort();
    }
  }
  if (image.FirstUpper > last || image.LastUpper > last) std::abort();
  if ((image.fault == programmers::ImageFault::kNone) != (image.faultLine == 0) &&
      image.fault != programmers::ImageFault::kTooManyBlocks &&
      image.fault != programmers::ImageFault::kOddAtBoundary)
    std::abort();
  if (image.fault == programmers::ImageFault::kNone && image.hasResetVector && !image.lowerAfterUpper &&
      (!memory.contains(0xFFFE) || !memory.contains(0xFFFF)))
    std::abort();
  for (const auto use : {programmers::ImageUse::kFirmware, programmers::ImageUse::kRamProgram}) {
    const programmers::ImageRefusal refusal = programmers::CheckImageForProgramming(image, use);
    if ((refusal == programmers::ImageRefusal::kNone) !=
        programmers::ImageRefusalText(refusal, "F.TXT", 1, image).empty())
      std::abort();
  }
  return 0;
}
