// instrument-sim: simulated instruments on pseudo-terminals, for trying the
// tool without hardware and for the end-to-end tests.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "sim/app/RealTimeRunner.h"
#include "sim/app/SimOptions.h"
#include "sim/model/ProfileReader.h"
#include "sim/model/ShippedProfiles.h"

namespace {

namespace fs = std::filesystem;

std::string ProfileDir(const sim::SimOptions& options) {
  if (!options.profileDir.empty()) return options.profileDir;
  return sim::ShippedProfileDir();
}

// A name from the profile folder, or a file.
std::string ProfilePath(const std::string& profile, const std::string& dir) {
  if (profile.find('/') != std::string::npos || profile.ends_with(".profile")) return profile;
  return (fs::path(dir) / (profile + ".profile")).string();
}

int ListProfiles(const std::string& dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.path().extension() == ".profile") files.push_back(entry.path());
  }
  if (ec) {
    std::cerr << "instrument-sim: cannot list " << dir << ": " << ec.message() << "\n";
    return 1;
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    const auto r = sim::ProfileReader::ReadFile(f.string());
    std::printf("%-24s %s\n", f.stem().c_str(),
                r.Ok() ? r.profile.description.c_str() : "(does not read; see --check-profile)");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto parsed = sim::SimOptions::Parse(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!parsed) {
    std::cerr << "instrument-sim: " << error << "\n";
    return 2;
  }
  const sim::SimOptions& options = *parsed;
  if (options.help) {
    std::cout << sim::SimOptions::HelpText();
    return 0;
  }
  const std::string dir = ProfileDir(options);
  if (options.listProfiles) return ListProfiles(dir);
  if (!options.checkProfile.empty()) {
    const auto r = sim::ProfileReader::ReadFile(options.checkProfile);
    if (r.Ok()) {
      std::cout << options.checkProfile << ": ok\n";
      return 0;
    }
    std::cerr << r.ErrorText(options.checkProfile);
    return 1;
  }

  // SIGINT, SIGTERM and SIGHUP end the run through a signalfd, so the dump is
  // written and the links removed. SIGPIPE would only hide a failed write.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (stopFd < 0) {
    std::perror("instrument-sim: signalfd");
    return 1;
  }

  sim::TrafficLog log(options.logFile);
  if (log.Failed()) {
    std::cerr << "instrument-sim: cannot write the log " << options.logFile << "\n";
    return 1;
  }
  const auto registry = sim::ModelRegistry::WithBuiltins();
  std::vector<sim::RealTimeRunner::Port> ports;
  try {
    for (const auto& p : options.ports) {
      sim::RealTimeRunner::Port port;
      port.com = p.com;
      if (p.profile != "none") {
        const std::string path = ProfilePath(p.profile, dir);
        auto r = sim::ProfileReader::ReadFile(path);
        if (!r.Ok()) {
          std::cerr << "instrument-sim: profile for COM" << p.com << ":\n" << r.ErrorText(path);
          return 1;
        }
        sim::InstrumentProfile profile = r.profile;
        if (p.faults.silentFrom) profile.faults.silentFrom = p.faults.silentFrom;
        if (p.faults.garbageBefore) {
          profile.faults.garbageBefore = p.faults.garbageBefore;
          profile.faults.garbageCount = p.faults.garbageCount;
        }
        if (p.faults.dropAt) profile.faults.dropAt = p.faults.dropAt;
        port.instrument = std::make_unique<sim::Instrument>(std::move(profile), registry);
      }
      port.pty = std::make_unique<sim::PtyPort>(options.portsDir, p.com);
      log.Event(0, p.com,
                "linked " + port.pty->LinkPath() + " -> " + port.pty->SlavePath() + ", instrument " +
                    (port.instrument ? port.instrument->Profile().name : std::string("none")));
      std::cerr << "instrument-sim: COM" << p.com << " = " << port.pty->SlavePath() << " ("
                << (port.instrument ? port.instrument->Profile().name : std::string("silent")) << ")\n";
      ports.push_back(std::move(port));
    }
  } catch (const std::exception& e) {
    std::cerr << "instrument-sim: " << e.what() << "\n";
    return 1;
  }

  sim::RealTimeRunner runner(std::move(ports), log, options.pace);
  runner.Run(stopFd);

  if (!options.dumpFile.empty()) {
    std::ofstream dump(options.dumpFile, std::ios::out | std::ios::trunc);
    runner.Dump(dump);
    if (!dump) std::cerr << "instrument-sim: cannot write the dump " << options.dumpFile << "\n";
  } else if (log.Enabled()) {
    log.Stream() << "---- dump ----\n";
    runner.Dump(log.Stream());
  }
  return 0;
}
