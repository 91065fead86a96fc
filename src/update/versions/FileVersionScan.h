#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace update {

// How a version is found inside a package file.
enum class FileKind {
  kText,       // key, then hex pairs, in the first 1000 bytes
  kSrec,       // the same in the last 1000 bytes (key contains "S1094000")
  kPe,         // UTF-16 version resource in the last 64000 bytes (EXE, DLL)
  kBin,        // key, then a zero-terminated text, in the last 250000 bytes
  kAmbiguous,  // more than one of SREC, PE, BIN applies: nothing is read
};

// Room of a version text in the device record (16 chars with the zero).
inline constexpr size_t kVersionTextMax = 15;

// The kind from the key and the file name (exact case).
FileKind FileKindOf(std::string_view key, std::string_view fileName);

// Which bytes of a file of `fileSize` bytes the kind reads.
struct ReadWindow {
  uint64_t offset = 0;
  uint64_t count = 0;
};
ReadWindow WindowOf(FileKind kind, uint64_t fileSize);

// The version in the bytes read for `kind` (the window above); empty when
// the key is not found. The key ends at its first zero byte, if any. The
// result is at most kVersionTextMax characters.
std::string VersionFromData(FileKind kind, std::string_view key, std::string_view data);

}  // namespace update
