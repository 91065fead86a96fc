#pragma once

#include <functional>
#include <string>

namespace core {

// Developer diagnostics that are not part of the user's log area (that is
// the window's LogLine). Goes to standard error unless a sink is set.
using DebugLogSink = std::function<void(const std::string&)>;

void SetDebugLogSink(DebugLogSink sink);
void DebugLog(const std::string& line);

}  // namespace core
