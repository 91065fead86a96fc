#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace simtest {

// A private folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "iu-sim-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::string& Path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// instrument-sim as a child process; SIGTERM and wait on destruction.
class SimProcess {
 public:
  SimProcess(const std::vector<std::string>& args, const std::vector<std::string>& waitFor) {
    std::vector<std::string> all{IU_INSTRUMENT_SIM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("cannot start instrument-sim");
    }
    for (const auto& path : waitFor) {
      for (int i = 0; i < 200 && !std::filesystem::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (!std::filesystem::exists(path)) throw std::runtime_error(path + " did not appear");
    }
  }
  ~SimProcess() { Stop(); }
  // Ends the simulator as a user would; returns its exit status.
  int Stop() {
    if (m_pid <= 0) return m_status;
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = 0;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m_status;
  }

 private:
  pid_t m_pid = 0;
  int m_status = -1;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace simtest
