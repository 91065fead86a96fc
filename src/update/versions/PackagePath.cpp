#include "update/versions/PackagePath.h"

#include <string>
#include <system_error>

namespace update {
namespace {

namespace fs = std::filesystem;

// ASCII and Latin-1 letters; the package names are 8-bit texts.
std::string Folded(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) c = static_cast<char>(u + 32);
  }
  return folded;
}

}  // namespace

fs::path ResolvePackagePath(const fs::path& folder, std::string_view name) {
  std::string text(name);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  const fs::path path(text);
  const fs::path given = path.is_absolute() ? path : folder / path;
  std::error_code ec;
  if (text.empty() || fs::exists(given, ec)) return given;

  fs::path resolved = path.is_absolute() ? path.root_path() : folder;
  bool resolving = true;
  for (const fs::path& part : path.relative_path()) {
    const fs::path exact = resolved / part;
    if (!resolving || part == "." || part == ".." || fs::exists(exact, ec)) {
      resolved = exact;
      continue;
    }
    const std::string wanted = Folded(part.string());
    bool found = false;
    const fs::path searched = resolved.empty() ? fs::path(".") : resolved;
    for (fs::directory_iterator it(searched, ec), end; !ec && it != end; it.increment(ec)) {
      if (Folded(it->path().filename().string()) == wanted) {
        resolved /= it->path().filename();
        found = true;
        break;
      }
    }
    if (!found) {
      resolving = false;
      resolved = exact;
    }
  }
  return resolved;
}

}  // namespace update
