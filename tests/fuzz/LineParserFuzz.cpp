// Bytes from an instrument (or from line noise at the wrong baud rate) in
// chunks of any size: the parser must never read or write outside its
// buffers, and every posted text must be a valid, bounded string.
#include <cstdint>
#include <algorithm>
#include <cstring>

#include "core/EventQueue.h"
#include "update/protocol/LineParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  core::EventQueue queue;
  update::LineParser parser;
  size_t at = 0;
  while (at < size) {
    // The first byte of each chunk gives its length.
    const size_t begin = at + 1;
    const size_t end = std::min(size, begin + 1 + data[at] % 64);
    parser.Feed(data + begin, end - begin, queue, nullptr);
    at = end;
    for (core::Event e = queue.FetchEvent(); e.kind != 0; e = queue.FetchEvent()) {
      if (const char* text = e.text.Text()) {
        if (std::strlen(text) > update::LineParser::kLineCapacity) __builtin_trap();
      }
      if (float* value = e.text.Float()) (void)*value;
    }
    if (parser.AccumulatedCount() > update::LineParser::kAccumulatorCapacity) __builtin_trap();
  }
  return 0;
}
