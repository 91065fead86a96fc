#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "update/UpdateEnvironment.h"

namespace testing_support {

// A fresh temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "iu-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

  // Writes `bytes` to the relative path, creating folders on the way.
  std::filesystem::path Write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path path = m_path / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Read(const std::string& relative) const { return ReadFile(m_path / relative); }

  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path m_path;
};

// An environment with a chosen working directory and variables.
inline update::UpdateEnvironment MakeEnvironment(const std::filesystem::path& working,
                                                 std::map<std::string, std::string> variables = {}) {
  update::UpdateEnvironment environment;
  environment.workingDirectory = working;
  environment.getEnv = [variables =
                            std::move(variables)](const std::string& name) -> std::optional<std::string> {
    auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  };
  return environment;
}

}  // namespace testing_support
