#pragma once

#include <filesystem>
#include <string>

namespace update {

// The package was made for a case-insensitive file system with backslashes
// as separators. `name` (relative to `folder`, or absolute) is resolved
// component by component: an exact match first, otherwise the first entry
// whose name equals it ignoring ASCII case. A name that resolves to nothing
// comes back joined as given, so the caller's open fails as it should.
std::filesystem::path ResolvePackagePath(const std::filesystem::path& folder, const std::string& name);

}  // namespace update
