#pragma once

// Shared body of the version-reading harnesses: the first byte gives the key
// length, then the key, then the file's content. The content goes through
// the same window and scan as ReadFileVersion, without the file system.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/BinScanReference.h"
#include "update/versions/FileVersionScan.h"
#include "update/versions/VersionNumber.h"

inline int FuzzFileVersion(update::FileKind kind, const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t keyLength = std::min<size_t>(data[0] % 24, size - 1);
  const std::string_view key(reinterpret_cast<const char*>(data + 1), keyLength);
  const std::string_view file(reinterpret_cast<const char*>(data + 1 + keyLength), size - 1 - keyLength);
  const update::ReadWindow window = update::WindowOf(kind, file.size());
  if (window.offset + window.count != file.size() && window.offset != 0) std::abort();
  const std::string_view read = file.substr(window.offset, window.count);
  const std::string version = update::VersionFromData(kind, key, read);
  if (version.size() > update::kVersionTextMax) std::abort();
  update::VersionThousandths(version);
  // Small inputs: the binary scan must agree with the search as worded.
  if (kind == update::FileKind::kBin && read.size() <= 2048 &&
      version != reference::BinVersionAsWorded(key, read)) {
    std::abort();
  }
  return 0;
}
