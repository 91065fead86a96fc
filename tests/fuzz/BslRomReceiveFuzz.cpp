// The ROM loader's receive path: whatever the line delivers, in reads of any
// size, the scan keeps the buffer within its 1000 bytes, hands out only
// frames whose length and checksum hold, and leaves nothing but the start
// of a frame behind (or what followed a frame it took).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "programmers/BslFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> buffer;
  size_t at = 0;
  while (at < size) {
    // The first byte of each read gives its length (as the port's reads vary).
    const size_t chunk = 1 + data[at] % 64;
    ++at;
    for (size_t i = 0; i < chunk && at < size; ++i, ++at) {
      if (buffer.size() < 1000) buffer.push_back(data[at]);
    }
    bool frameTaken = false;
    for (const auto& r : programmers::ScanRomBsl(buffer)) {
      frameTaken = frameTaken || r.kind == programmers::BslReceipt::Kind::Frame ||
                   r.kind == programmers::BslReceipt::Kind::BadFrame;
      if (r.kind == programmers::BslReceipt::Kind::Frame) {
        const auto& f = r.frame;
        if (f.size() < 6 || f[0] != 0x80 || f.size() != size_t{f[2]} + 6) std::abort();
        const uint16_t sum = programmers::RomBslChecksum(f.data(), f.size() - 2);
        if (f[f.size() - 2] != (sum & 0xFF) || f[f.size() - 1] != (sum >> 8)) std::abort();
      }
    }
    // What follows a taken frame waits for the next read.
    if (buffer.size() > 1000 || (!frameTaken && !buffer.empty() && buffer[0] != 0x80)) std::abort();
  }
  return 0;
}
