// The ROM loader's receive path: whatever the line delivers, in reads of any
// size, the scan keeps the buffer within its 1000 bytes, hands out only
// frames whose length and checksum hold, and leaves nothing but the start
// of a frame behind (or what followed a frame it took).
#include "BslReceiveFuzz.h"

using programmers::BslReceipt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bslfuzz::FeedInReads(data, size, programmers::ScanRomBsl,
                       [](const std::vector<BslReceipt>& receipts, const std::vector<uint8_t>& buffer) {
                         bool frameTaken = false;
                         for (const auto& r : receipts) {
                           frameTaken = frameTaken || r.kind == BslReceipt::Kind::Frame ||
                                        r.kind == BslReceipt::Kind::BadFrame;
                           if (r.kind == BslReceipt::Kind::Frame) {
                             const auto& f = r.frame;
                             if (f.size() < 6 || f[0] != 0x80 || f.size() != size_t{f[2]} + 6) std::abort();
                             const uint16_t sum = programmers::RomBslChecksum(f.data(), f.size() - 2);
                             if (f[f.size() - 2] != (sum & 0xFF) || f[f.size() - 1] != (sum >> 8))
                               std::abort();
                           }
                         }
                         // What follows a taken frame waits for the next read.
                         if (!frameTaken && !buffer.empty() && buffer[0] != 0x80) std::abort();
                       });
  return 0;
}
