// Version reading of binary package files over arbitrary content and keys.
#include "FileVersionFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzFileVersion(update::FileKind::kBin, data, size);
}
