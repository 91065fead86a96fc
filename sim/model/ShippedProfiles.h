#pragma once

#include <string>

#include "sim/model/InstrumentProfile.h"

namespace sim {

// The profiles shipped in sim/profiles (the folder is fixed at build time;
// INSTRUMENT_SIM_PROFILES overrides it).
std::string ShippedProfileDir();
// Reads <dir>/<name>.profile; throws std::runtime_error with the reader's
// errors when it cannot.
InstrumentProfile LoadShippedProfile(const std::string& name);

}  // namespace sim
