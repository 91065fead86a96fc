#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "programmers/ProgrammerRecord.h"

namespace update {

// The window's record of the instrument being served: what it told us and
// what the package holds for it. Zeroed when OK starts a run; programmers get
// its ProgrammerRecord part (DeviceNumber, DeviceText and the loader options)
// by reference. Texts are kept within the capacities below (characters,
// without a terminator); longer input is clipped where it is stored.
struct DeviceRecord : programmers::ProgrammerRecord {
  static constexpr size_t kDeviceTextCapacity = 19;
  static constexpr size_t kIdentNumberCapacity = 19;
  static constexpr size_t kVersionTextCapacity = 15;
  static constexpr size_t kFileNameCapacity = 255;
  static constexpr size_t kMaxExtraFiles = 200;
  static constexpr size_t kSerialNumberCapacity = 39;
  static constexpr size_t kDisplayNameCapacity = 119;
  static constexpr size_t kVersionKeyCapacity = 63;
  static constexpr size_t kBootKennCapacity = 79;

  std::string IdentNumber;       // device number the instrument answered
  std::string SoftwareVersion;   // software version text it answered
  std::string FileVersionText;   // slot 1 of ReadFileVersion
  std::string FileVersionText2;  // slot 2
  int32_t DeviceVersion = 0;     // SoftwareVersion in thousandths
  int32_t FileVersion = 0;
  int32_t DeviceVersion2 = 0;  // the part after the first "," of SoftwareVersion
  int32_t FileVersion2 = 0;
  int32_t StartupFileVersion = 0;      // TERMIX start-up file of the package
  std::string MainFile;  // shown for DATEI in messages
  std::string SecondFile;
  std::string FirstFile;
  std::string SerialNumber;
  std::string DisplayName;   // shown for NAME in messages
  char TerminalVariant = 0;  // "0" selects the H image of the terminal
  std::string VersionKey1;
  std::string VersionKey2;
  std::string VersionKey3;
  std::string BootLoadKenn;
  std::string BootloaderId;  // received from an instrument in its boot loader
  std::string ProgDefFile;
};

}  // namespace update
