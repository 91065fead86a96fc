// The real instrument-update binary (offscreen) in a copy of the demo
// package, on a ports folder of instrument-sim: it opens the usable ports at
// start, or the one that Update.ini fixes.
#include <gtest/gtest.h>

#include "SimProcess.h"

namespace {

// instrument-update as a child process in `folder`, with the ports folder.
class ToolProcess {
 public:
  ToolProcess(const std::string& folder, const std::string& ports) {
    const std::string portsVariable = "INSTRUMENT_UPDATE_PORTS=" + ports;
    std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen", portsVariable, "HOME=" + folder};
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string tool = IU_INSTRUMENT_UPDATE;
    char* argv[] = {tool.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start instrument-update");
  }
  ~ToolProcess() {
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
  }
  bool Running() { return waitpid(m_pid, nullptr, WNOHANG) == 0; }

 private:
  pid_t m_pid = 0;
};

bool WaitForLog(const std::string& log, const std::vector<std::string>& lines, int ms) {
  for (int waited = 0; waited < ms; waited += 50) {
    const std::string text = simtest::ReadText(log);
    bool all = true;
    for (const auto& line : lines) all = all && text.find(line) != std::string::npos;
    if (all) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string Package(const simtest::TempDir& dir, const std::string& updateIni) {
  const std::string package = dir / "package";
  std::filesystem::create_directories(package);
  std::filesystem::copy(IU_DEMO_DIR, package, std::filesystem::copy_options::recursive);
  std::ofstream(package + "/Update.ini", std::ios::binary) << updateIni;
  return package;
}

TEST(UpdateWindowE2eTest, OpensEveryUsablePortOfTheFolder) {
  simtest::TempDir dir;
  const std::string package = Package(dir, "Language=1\r\nVersion=1.0\r\n");
  simtest::SimProcess sim(
      {"--ports", dir / "ports", "--log", dir / "log", "--com", "1", "--com", "3", "--profile", "none"},
      {dir / "ports/COM1", dir / "ports/COM3"});
  ToolProcess tool(package, dir / "ports");
  EXPECT_TRUE(WaitForLog(dir / "log", {"COM1   port opened", "COM3   port opened"}, 8000))
      << simtest::ReadText(dir / "log");
  EXPECT_TRUE(tool.Running());
  EXPECT_EQ(simtest::ReadText(package + "/Update.ini"), "Language=1\r\nVersion=1.0\r\n")
      << "a start writes nothing";
}

TEST(UpdateWindowE2eTest, AFixedPortIsTheOnlyOneOpened) {
  simtest::TempDir dir;
  const std::string package = Package(dir, "Language=0\r\nCom=3\r\n");
  simtest::SimProcess sim({"--ports", dir / "ports", "--log", dir / "log", "--com", "1", "--com", "3"},
                          {dir / "ports/COM1", dir / "ports/COM3"});
  ToolProcess tool(package, dir / "ports");
  EXPECT_TRUE(WaitForLog(dir / "log", {"COM3   port opened"}, 8000)) << simtest::ReadText(dir / "log");
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ(simtest::ReadText(dir / "log").find("COM1   port opened"), std::string::npos);
}

}  // namespace
