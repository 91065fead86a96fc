#pragma once

// The firmware files of a demo package, from the package's firmware.list.
// Each line names one file the build writes:
//   FILE VERSION        .TXT TI-TXT, .MOT S-records, .EXE/.DLL a PE program
//                       with a version resource (key "FileVersion")
//   FILE VERSION KEY    .BIN a raw image carrying KEY and the version text
//   FILE - SIZE         SIZE deterministic bytes without a version
// Empty lines and lines starting with # are comments.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace demo {

struct FirmwareLine {
  std::string file;
  std::string version;  // empty for a plain data file
  std::string key;      // the version key of a .BIN image
  uint64_t size = 0;    // the size of a plain data file
};

// The largest plain data file (the biggest file an instrument takes).
inline constexpr uint64_t kMaxDataSize = 3000000;
// What the tool reads: a version text of at most 15 characters, a key of
// at most 63.
inline constexpr size_t kMaxVersionLength = 15;
inline constexpr size_t kMaxKeyLength = 63;
// The size of a raw .BIN image.
inline constexpr size_t kBinImageSize = 4096;

// One list line: nothing for a comment or an empty line; an error text in
// `error` (and nothing) for a line that names no file the generator can write.
std::optional<FirmwareLine> ParseFirmwareLine(std::string_view line, std::string& error);

// `size` bytes that depend on `seed` only.
std::string DeterministicBytes(const std::string& seed, uint64_t size);

// The bytes of the file a line describes.
std::string FirmwareFileBytes(const FirmwareLine& line);

}  // namespace demo
