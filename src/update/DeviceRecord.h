#pragma once

#include <string>

namespace update {

// The window's record of the instrument being served: what it told us and
// what the package holds for it. Zeroed when OK starts a run; programmers get
// it by address. Later stages add their fields here.
struct DeviceRecord {
  std::string DeviceText;   // DeviceNrDef of the matched entry
  std::string IdentNumber;  // DeviceNr of the matched entry
  std::string DisplayName;  // shown for NAME in messages
  std::string MainFile;     // shown for DATEI in messages
  std::string FirstFile;
  std::string SecondFile;
  std::string ProgDefFile;
  int AlreadyInLoader = 0;
};

}  // namespace update
