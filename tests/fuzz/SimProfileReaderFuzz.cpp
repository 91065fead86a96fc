// Profiles come from files the user names: no input may crash the reader,
// and a profile it accepts must build an instrument.
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "sim/model/Instrument.h"
#include "sim/model/ProfileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto result = sim::ProfileReader::Parse(text, "fuzz");
  (void)result.ErrorText("fuzz.profile");
  if (!result.Ok()) return 0;
  // Flash regions may be large; only build instruments of a sane size here.
  uint64_t flashBytes = 0;
  for (const auto& r : result.profile.flash) flashBytes += r.size;
  if (flashBytes > (1u << 20)) return 0;
  const auto registry = sim::ModelRegistry::WithBuiltins();
  sim::Instrument instrument(result.profile, registry);
  return 0;
}
