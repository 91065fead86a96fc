#pragma once

#include <filesystem>
#include <string_view>

namespace update {

// A file name as the package configuration writes it (made for a
// case-insensitive file system, backslashes as folder separators) turned
// into a path. Relative names start at `folder` (the working directory when
// it is empty). Each component is taken as it is when it exists, otherwise
// the first entry whose name equals it ignoring case (ASCII and Latin-1
// letters). A name that resolves to nothing comes back joined as given, so
// the caller's open fails as it should.
std::filesystem::path ResolvePackagePath(const std::filesystem::path& folder, std::string_view name);

// The same, relative to the working directory.
inline std::filesystem::path ResolvePackagePath(std::string_view name) { return ResolvePackagePath({}, name); }

}  // namespace update
