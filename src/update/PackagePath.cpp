#include "update/PackagePath.h"

#include <algorithm>
#include <system_error>

namespace update {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

}  // namespace

std::filesystem::path ResolvePackagePath(const std::filesystem::path& folder, const std::string& name) {
  std::string slashed = name;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const std::filesystem::path relative(slashed);
  std::filesystem::path current = relative.is_absolute() ? relative.root_path() : folder;
  bool resolving = true;
  for (const auto& part : relative.relative_path()) {
    const std::string wanted = part.string();
    if (wanted.empty() || wanted == "." || wanted == "..") {
      current /= part;
      continue;
    }
    std::error_code ec;
    if (resolving && !std::filesystem::exists(current / part, ec)) {
      std::filesystem::path found;
      for (const auto& entry : std::filesystem::directory_iterator(current, ec)) {
        if (EqualNoCase(entry.path().filename().string(), wanted)) {
          found = entry.path();
          break;
        }
      }
      if (!found.empty()) {
        current = found;
        continue;
      }
      resolving = false;
    }
    current /= part;
  }
  return current;
}

}  // namespace update
