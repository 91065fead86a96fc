#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace programmers {

// File times as the Windows CE transfer announces them: MS-DOS date in the
// upper 16 bits (years from 1980, month, day), time in the lower 16 (hours,
// minutes, seconds / 2).
struct WinCeFileTime {
  static constexpr int kFirstYear = 1980;
  static constexpr int kLastYear = 2107;

  // `local` as broken down by localtime; dates outside 1980..2107 are
  // clamped to the first or last moment the format holds.
  static uint32_t FromLocal(const std::tm& local);
  // The last-write time of the file at `path`, in local time; empty when it
  // cannot be read.
  static std::optional<uint32_t> OfFile(const std::string& path);
};

}  // namespace programmers
