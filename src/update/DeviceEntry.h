#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace update {

// One device block of ProgDevice.ini. Texts are clipped to their capacity
// (characters, without a terminator) when read.
struct DeviceEntry {
  static constexpr size_t kDeviceNrDefCapacity = 11;
  static constexpr size_t kDeviceNrCapacity = 11;
  static constexpr size_t kDeviceNameCapacity = 31;
  static constexpr size_t kProgFile1Capacity = 31;
  static constexpr size_t kProgFile2Capacity = 511;
  static constexpr size_t kProgFile3Capacity = 511;
  static constexpr size_t kSWKennCapacity = 63;
  static constexpr size_t kBootLoadKennCapacity = 63;
  static constexpr size_t kFlashEraseCapacity = 11;
  static constexpr size_t kProgDefFileCapacity = 31;

  std::string DeviceNrDef;
  std::string DeviceNr;
  std::string DeviceName;
  std::string ProgFile1;
  std::string ProgFile2;
  std::string ProgFile3;
  std::string SWKenn1;
  std::string SWKenn2;
  std::string SWKenn3;
  std::string BootLoadKenn;
  std::string FlashErase1;
  std::string FlashErase2;
  std::string FlashErase3;
  std::string ProgDefFile;
  int32_t ProzTyp = 0;
};

}  // namespace update
