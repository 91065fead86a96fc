#include "core/DebugLog.h"

#include <cstdio>
#include <mutex>

namespace core {

namespace {
std::mutex g_lock;
DebugLogSink g_sink;
}  // namespace

void SetDebugLogSink(DebugLogSink sink) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_sink = std::move(sink);
}

void DebugLog(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_sink) {
    g_sink(line);
  } else {
    std::fprintf(stderr, "instrument-update: %s\n", line.c_str());
  }
}

}  // namespace core
