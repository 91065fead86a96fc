#pragma once

// The demo packages below a root folder as the tests see them: one folder
// per package with its configuration, its `profiles` ("PROFILE [RUN_MS]",
// "description TEXT", # comments) and its `firmware.list` ("FILE VERSION
// [KEY]" or "FILE - SIZE").

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

struct DemoProfile {
  std::string name;
  int runMs = 0;  // 0 when the line gives none
};

struct DemoPackage {
  std::string name;
  std::filesystem::path folder;
  std::vector<DemoProfile> profiles;
  std::map<std::string, std::string> versions;  // generated file -> version, "-" for data
};

inline std::vector<std::vector<std::string>> DemoListLines(const std::filesystem::path& file) {
  std::vector<std::vector<std::string>> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string word; fields >> word;) words.push_back(word);
    if (!words.empty() && words[0][0] != '#') lines.push_back(words);
  }
  return lines;
}

inline std::vector<DemoPackage> DemoPackages(const std::filesystem::path& root) {
  std::vector<DemoPackage> packages;
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    if (!entry.is_directory()) continue;
    DemoPackage package;
    package.name = entry.path().filename().string();
    package.folder = entry.path();
    for (const auto& words : DemoListLines(entry.path() / "profiles")) {
      if (words[0] == "description") continue;
      package.profiles.push_back({words[0], words.size() > 1 ? std::atoi(words[1].c_str()) : 0});
    }
    for (const auto& words : DemoListLines(entry.path() / "firmware.list")) {
      package.versions[words[0]] = words.size() > 1 ? words[1] : "";
    }
    packages.push_back(std::move(package));
  }
  std::sort(packages.begin(), packages.end(),
            [](const DemoPackage& a, const DemoPackage& b) { return a.name < b.name; });
  return packages;
}

inline std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace testing_support
