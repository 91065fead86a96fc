#include "update/UpdateEnvironment.h"

#include <cstdlib>
#include <system_error>

namespace update {

UpdateEnvironment UpdateEnvironment::FromProcess() {
  UpdateEnvironment environment;
  std::error_code ec;
  environment.workingDirectory = std::filesystem::current_path(ec);
  environment.getEnv = [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  };
  return environment;
}

}  // namespace update
