#include "sim/app/SimOptions.h"

#include <charconv>
#include <set>

namespace sim {
namespace {

bool ToInt(const std::string& s, int min, int max, int& out) {
  int v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v < min || v > max) return false;
  out = v;
  return true;
}

}  // namespace

const char* SimOptions::HelpText() {
  return "usage: instrument-sim --ports DIR [--log FILE] [--dump FILE] [--pace] [--profile-dir DIR]\n"
         "                      --com N [--profile NAME|FILE|none] [--silent-from CMD]\n"
         "                              [--garbage CMD[:COUNT]] [--drop-at CMD]  [--com N ...]\n"
         "       instrument-sim --list-profiles | --check-profile FILE | --help\n"
         "\n"
         "Simulated instruments on pseudo-terminals. Each --com N opens a pseudo-terminal\n"
         "and links it as DIR/COMn; point the tool at DIR with INSTRUMENT_UPDATE_PORTS=DIR.\n"
         "Options after --com N apply to that port:\n"
         "  --profile P        instrument profile: a name from the profile folder (default\n"
         "                     ph-meter), a .profile file, or 'none' for a port that never answers\n"
         "  --silent-from CMD  send nothing from command A.CMD on\n"
         "  --garbage CMD[:N]  put N (default 8) garbage bytes before the answer to A.CMD\n"
         "  --drop-at CMD      drop the line (close the pseudo-terminal) at A.CMD\n"
         "Global options:\n"
         "  --ports DIR        folder for the COMn links (created if missing)\n"
         "  --log FILE         traffic log: every chunk in and out with its time in ms\n"
         "  --dump FILE        on exit, write what each instrument was told and programmed\n"
         "                     with (default: at the end of the log)\n"
         "  --pace             send answers at the line rate of the instrument's settings\n"
         "                     (one character time per byte) instead of at once\n"
         "  --profile-dir DIR  where profile names are looked up\n"
         "  --list-profiles    list the profiles of the profile folder\n"
         "  --check-profile F  read a profile file and report its errors\n"
         "A pseudo-terminal stores the tool's baud rate and stop bits but not its parity or\n"
         "word length: the instrument checks the rate, and takes parity and data bits as its own.\n"
         "SIGINT or SIGTERM ends the program after the dump.\n";
}

std::optional<SimOptions> SimOptions::Parse(const std::vector<std::string>& args, std::string& error) {
  SimOptions o;
  std::set<int> coms;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto portOption = [&]() -> Port* {
      if (o.ports.empty()) {
        error = a + " belongs to a port: give --com N before it";
        return nullptr;
      }
      return &o.ports.back();
    };
    auto command = [&](int& out) {
      std::string v;
      if (!value(v)) return false;
      if (!ToInt(v, 1, 99999, out)) {
        error = a + ": '" + v + "' is not a command number";
        return false;
      }
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--list-profiles") {
      o.listProfiles = true;
    } else if (a == "--check-profile") {
      if (!value(o.checkProfile)) return std::nullopt;
    } else if (a == "--pace") {
      o.pace = true;
    } else if (a == "--ports") {
      if (!value(o.portsDir)) return std::nullopt;
    } else if (a == "--log") {
      if (!value(o.logFile)) return std::nullopt;
    } else if (a == "--dump") {
      if (!value(o.dumpFile)) return std::nullopt;
    } else if (a == "--profile-dir") {
      if (!value(o.profileDir)) return std::nullopt;
    } else if (a == "--com") {
      int com = 0;
      if (!value(v)) return std::nullopt;
      if (!ToInt(v, 1, 256, com)) {
        error = "--com: '" + v + "' is not a COM number from 1 to 256";
        return std::nullopt;
      }
      if (!coms.insert(com).second) {
        error = "--com " + v + " given twice";
        return std::nullopt;
      }
      Port port;
      port.com = com;
      o.ports.push_back(port);
    } else if (a == "--profile") {
      Port* p = portOption();
      if (!p || !value(p->profile)) return std::nullopt;
    } else if (a == "--silent-from") {
      Port* p = portOption();
      if (!p || !command(p->faults.silentFrom)) return std::nullopt;
    } else if (a == "--drop-at") {
      Port* p = portOption();
      if (!p || !command(p->faults.dropAt)) return std::nullopt;
    } else if (a == "--garbage") {
      Port* p = portOption();
      if (!p || !value(v)) return std::nullopt;
      const size_t colon = v.find(':');
      int cmd = 0, count = 8;
      if (!ToInt(v.substr(0, colon), 1, 99999, cmd) ||
          (colon != std::string::npos && !ToInt(v.substr(colon + 1), 1, 1000, count))) {
        error = "--garbage: expected CMD or CMD:COUNT (COUNT 1 to 1000), not '" + v + "'";
        return std::nullopt;
      }
      p->faults.garbageBefore = cmd;
      p->faults.garbageCount = static_cast<uint32_t>(count);
    } else {
      error = "unknown option '" + a + "' (see --help)";
      return std::nullopt;
    }
  }
  if (!o.help && !o.listProfiles && o.checkProfile.empty()) {
    if (o.portsDir.empty()) {
      error = "--ports DIR is needed (the folder for the COMn links)";
      return std::nullopt;
    }
    if (o.ports.empty()) {
      error = "no port: give at least one --com N";
      return std::nullopt;
    }
  }
  return o;
}

}  // namespace sim
