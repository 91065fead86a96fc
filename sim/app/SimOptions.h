#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/model/FaultPlan.h"

namespace sim {

// The command line of instrument-sim. Options after "--com N" belong to that
// port until the next "--com".
struct SimOptions {
  struct Port {
    int com = 0;
    std::string profile = "ph-meter";  // name, file, or "none" for a silent port
    FaultPlan faults;                  // overrides the profile's where set
  };

  std::string portsDir;
  std::string logFile;
  std::string dumpFile;
  std::string profileDir;
  bool pace = false;
  bool help = false;
  bool listProfiles = false;
  std::string checkProfile;
  std::vector<Port> ports;

  // Parses argv; on a bad command line returns nothing and sets `error`.
  static std::optional<SimOptions> Parse(const std::vector<std::string>& args, std::string& error);
  static const char* HelpText();
};

}  // namespace sim
