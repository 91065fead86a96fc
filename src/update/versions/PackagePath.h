#pragma once

#include <filesystem>
#include <string_view>

namespace update {

// A file name as the package configuration writes it (made for a
// case-insensitive file system, backslashes as folder separators) turned
// into an existing path when one matches regardless of case; otherwise the
// name with its separators converted. Relative names start at the working
// directory.
std::filesystem::path ResolvePackagePath(std::string_view name);

}  // namespace update
