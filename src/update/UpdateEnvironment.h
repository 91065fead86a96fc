#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace update {

// Where the program runs: the package folder (the working directory it was
// started in; the package files lie there, the program binary may not) and
// the environment variables. Tests give their own.
struct UpdateEnvironment {
  using GetEnvFunction = std::function<std::optional<std::string>(const std::string& name)>;

  std::filesystem::path workingDirectory;
  GetEnvFunction getEnv;
  // The local date and time as a day number (days since 30 December 1899,
  // the fraction the time of day); the system clock when empty.
  std::function<double()> localDayNumber;

  // The current directory and the process environment.
  static UpdateEnvironment FromProcess();
};

}  // namespace update
