#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/RegularFile.h"

namespace update {

// A configuration file as lines of Latin-1 text, and the key lookup of the
// package's INI files: the value of `key` is the text after the first "=" on
// the first line whose part before that "=" equals the key, ignoring case.
// No blanks are trimmed, so "Language = 1" does not define Language. Section
// lines are ordinary lines.
class IniLines {
 public:
  // Files above this size are not configuration files; loading refuses them.
  static constexpr std::uintmax_t kMaxFileBytes = 4u * 1024 * 1024;

  IniLines() = default;
  explicit IniLines(std::vector<std::string> lines) : m_lines(std::move(lines)) {}

  // Nothing when the file is no regular file of at most kMaxFileBytes or
  // cannot be read; `fault` says why.
  static std::optional<IniLines> Load(const std::filesystem::path& path, core::FileFault* fault = nullptr);
  // Splits bytes at CR LF, LF or CR. A UTF-8 byte-order mark makes the rest
  // be read as UTF-8 and narrowed to Latin-1 ('?' for what Latin-1 lacks);
  // without one every byte is one character.
  static IniLines Parse(std::string_view bytes);

  const std::vector<std::string>& Lines() const { return m_lines; }

  // Empty when the key is missing. At most `capacity` characters.
  std::string Value(std::string_view key, size_t capacity) const;
  // The same lookup over lines [first, first + count).
  static std::string ValueIn(const std::vector<std::string>& lines, size_t first, size_t count,
                             std::string_view key, size_t capacity);

 private:
  std::vector<std::string> m_lines;
};

}  // namespace update
