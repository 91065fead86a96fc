// The 5xx loader's receive path: reads of any size; the scan keeps the
// buffer bounded, hands out only frames whose CRC holds, and leaves at most
// the start of one frame.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "programmers/BslFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> buffer;
  size_t at = 0;
  while (at < size) {
    const size_t chunk = 1 + data[at] % 64;
    ++at;
    for (size_t i = 0; i < chunk && at < size; ++i, ++at) {
      if (buffer.size() < 1000) buffer.push_back(data[at]);
    }
    for (const auto& r : programmers::ScanBsl5xx(buffer)) {
      if (r.kind == programmers::BslReceipt::Kind::Frame) {
        const auto& f = r.frame;
        if (f.size() < 6 || f[0] != 0x80) std::abort();
        const size_t n = f[1] | (size_t{f[2]} << 8);
        if (f.size() != n + 5) std::abort();
        const uint16_t crc = programmers::Bsl5xxCrc(f.data() + 3, n);
        if (f[n + 3] != (crc & 0xFF) || f[n + 4] != (crc >> 8)) std::abort();
      }
    }
    if (buffer.size() > 1000 || (!buffer.empty() && buffer[0] != 0x80)) std::abort();
  }
  return 0;
}
