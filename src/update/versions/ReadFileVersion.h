#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "update/versions/FileVersionScan.h"

namespace update {

struct FileVersionResult {
  std::string text;  // the version; "0" when the file could not be read
  int32_t thousandths = 0;
  FileKind kind = FileKind::kText;
  bool readable = false;  // the file was opened and read
  std::string error;      // for the error box; empty unless the file failed
};

// The version that a package file carries for `key`. A file that is no
// regular file (never opened then) or cannot be read gives "0" with `error` set; the caller shows the error
// box and goes on with 0. An ambiguous kind reads nothing and gives "" without an error. Runs in the caller's
// thread; it reads at most 250000 bytes.
FileVersionResult ReadFileVersion(std::string_view key, std::string_view fileName);
// The same with a relative name looked up in `folder` (the package folder).
FileVersionResult ReadFileVersion(std::string_view key, std::string_view fileName,
                                  const std::filesystem::path& folder);

// The two version slots of the device record.
struct VersionSlot {
  std::string text;  // at most kVersionTextMax characters
  int32_t thousandths = 0;
};

// Puts a read version into slot 1 when the kind is TEXT, PE or BIN and slot
// 1 is still empty, else into slot 2. An unreadable file or an ambiguous
// kind leaves both untouched. Returns the slot filled: 1, 2 or 0.
int StoreFileVersion(const FileVersionResult& result, VersionSlot& slot1, VersionSlot& slot2);

}  // namespace update
