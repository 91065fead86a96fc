// The read loop of the MSP430 loaders' receive-path harnesses: the input
// as reads of any size, each scanned at once, as the port delivers them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "programmers/BslFrames.h"

namespace bslfuzz {

inline constexpr size_t kRxCapacity = 1000;  // the programmers' receive buffer

// The first byte of each read gives its length. `check` gets each scan's
// receipts and the buffer left behind, and aborts on a broken rule; the
// buffer never outgrows the receive buffer.
template <class Scan, class Check>
void FeedInReads(const uint8_t* data, size_t size, Scan scan, Check check) {
  std::vector<uint8_t> buffer;
  size_t at = 0;
  while (at < size) {
    const size_t chunk = 1 + data[at] % 64;
    ++at;
    for (size_t i = 0; i < chunk && at < size; ++i, ++at) {
      if (buffer.size() < kRxCapacity) buffer.push_back(data[at]);
    }
    const std::vector<programmers::BslReceipt> receipts = scan(buffer);
    check(receipts, buffer);
    if (buffer.size() > kRxCapacity) std::abort();
  }
}

}  // namespace bslfuzz
