#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace update {

// The program settings from Update.ini.
struct UpdateSettings {
  static constexpr size_t kMaxBauds = 16;
  static constexpr size_t kValueCapacity = 255;

  int Language = 0;  // 0 German, 1 English
  std::string Version;
  // BaudTag codes (0 = 1200 ... 9 = 256000 baud) in search order.
  std::array<int, kMaxBauds> BaudList{};
  int BaudCount = 0;
  bool FixedPort = false;
  int FixedPortNumber = 0;  // 0-based: 0 = COM1
  bool NoVersionTest = false;
};

// The greeting and hint texts of ProgDevice.ini; D for German, E for English.
struct PackageTexts {
  static constexpr size_t kCapacity = 511;

  std::string StarttextD;
  std::string StarttextE;
  std::string AbbruchtextD;
  std::string AbbruchtextE;
};

}  // namespace update
