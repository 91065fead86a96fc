#include "platform/posix/ComMap.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace platform::posix {

namespace {

namespace fs = std::filesystem;

// The number after `prefix` in `name` ("ttyUSB12" -> 12), or -1.
long NumberAfter(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
  const std::string digits = name.substr(prefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return -1;
  if (digits.size() > 6) return -1;
  return std::stol(digits);
}

bool HasHardware(const fs::path& entry) {
  std::error_code ec;
  if (!fs::exists(entry / "device", ec)) return false;
  const fs::path real = fs::canonical(entry, ec);
  if (ec) return true;  // a test tree of plain folders
  return real.string().find("/devices/virtual/") == std::string::npos;
}

// A ttyS without a UART reports type 0 (PORT_UNKNOWN).
bool HasUart(const fs::path& entry) {
  std::ifstream in(entry / "type");
  int type = 0;
  if (!(in >> type)) return false;
  return type != 0;
}

}  // namespace

ComMap ComMap::FromEnvironment() {
  const char* folder = std::getenv(kEnvironment);
  if (folder && *folder) return Folder(folder);
  return Default();
}

ComMap ComMap::Folder(std::string folder) {
  ComMap map;
  map.m_folderMode = true;
  map.m_folder = std::move(folder);
  return map;
}

ComMap ComMap::Default(std::string sysClassTty, std::string dev) {
  ComMap map;
  map.m_sysClassTty = std::move(sysClassTty);
  map.m_dev = std::move(dev);
  return map;
}

std::map<uint32_t, std::string> ComMap::DefaultEntries() const {
  std::map<uint32_t, std::string> entries;
  if (m_folderMode) return entries;
  static const char* const kGroups[] = {"ttyS", "ttyUSB", "ttyACM"};
  std::vector<std::pair<long, std::string>> groups[3];
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(m_sysClassTty, ec)) {
    const std::string name = e.path().filename().string();
    for (int g = 0; g < 3; ++g) {
      const long n = NumberAfter(name, kGroups[g]);
      if (n < 0) continue;
      if (!HasHardware(e.path())) break;
      if (g == 0 && !HasUart(e.path())) break;
      groups[g].emplace_back(n, name);
      break;
    }
  }
  uint32_t com = 1;
  for (auto& group : groups) {
    std::sort(group.begin(), group.end());
    for (const auto& [n, name] : group) {
      if (com > 256) return entries;
      entries[com++] = m_dev + "/" + name;
    }
  }
  return entries;
}

std::string ComMap::Path(uint32_t comNumber) const {
  if (comNumber < 1 || comNumber > 256) return {};
  if (m_folderMode) {
    const std::string path = m_folder + "/COM" + std::to_string(comNumber);
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? path : std::string();
  }
  const auto entries = DefaultEntries();
  const auto it = entries.find(comNumber);
  return it == entries.end() ? std::string() : it->second;
}

}  // namespace platform::posix
