#include "programmers/WinCeFileTime.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace programmers {

uint32_t WinCeFileTime::FromLocal(const std::tm& local) {
  const int year = local.tm_year + 1900;
  if (year < kFirstYear) return (1u << 5 | 1u) << 16;  // 1 January 1980, midnight
  if (year > kLastYear)
    return static_cast<uint32_t>((kLastYear - kFirstYear) << 9 | 12 << 5 | 31) << 16 | (23u << 11 | 59u << 5 | 29u);
  const uint32_t date = static_cast<uint32_t>((year - kFirstYear) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  // A leap second (60) still fits the 5 bits of the half seconds.
  const uint32_t time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  return date << 16 | time;
}

std::optional<uint32_t> WinCeFileTime::OfFile(const std::string& path) {
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(path, ec);
  if (ec) return std::nullopt;
  const auto system = std::chrono::file_clock::to_sys(written);
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(system));
  std::tm local{};
  if (!localtime_r(&seconds, &local)) return std::nullopt;
  return FromLocal(local);
}

}  // namespace programmers
