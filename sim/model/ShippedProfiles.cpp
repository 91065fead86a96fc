#include "sim/model/ShippedProfiles.h"

#include <cstdlib>
#include <stdexcept>

#include "sim/model/ProfileReader.h"

namespace sim {

std::string ShippedProfileDir() {
  if (const char* env = std::getenv("INSTRUMENT_SIM_PROFILES"); env && *env) return env;
  return IU_SIM_PROFILE_DIR;
}

InstrumentProfile LoadShippedProfile(const std::string& name) {
  const std::string path = ShippedProfileDir() + "/" + name + ".profile";
  auto result = ProfileReader::ReadFile(path);
  if (!result.Ok()) throw std::runtime_error(result.ErrorText(path));
  return result.profile;
}

}  // namespace sim
