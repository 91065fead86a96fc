// The 5xx loader's receive path: reads of any size; the scan keeps the
// buffer bounded, hands out only frames whose CRC holds, and leaves at most
// the start of one frame.
#include "BslReceiveFuzz.h"

using programmers::BslReceipt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bslfuzz::FeedInReads(data, size, programmers::ScanBsl5xx,
                       [](const std::vector<BslReceipt>& receipts, const std::vector<uint8_t>& buffer) {
                         for (const auto& r : receipts) {
                           if (r.kind != BslReceipt::Kind::Frame) continue;
                           const auto& f = r.frame;
                           if (f.size() < 6 || f[0] != 0x80) std::abort();
                           const size_t n = f[1] | (size_t{f[2]} << 8);
                           if (f.size() != n + 5) std::abort();
                           const uint16_t crc = programmers::Bsl5xxCrc(f.data() + 3, n);
                           if (f[n + 3] != (crc & 0xFF) || f[n + 4] != (crc >> 8)) std::abort();
                         }
                         if (!buffer.empty() && buffer[0] != 0x80) std::abort();
                       });
  return 0;
}
