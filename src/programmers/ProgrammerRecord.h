#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "programmers/LoaderStateRecord.h"

namespace programmers {

// The part of the window's DeviceRecord that the programmers read and write.
// The window's record contains one of these and hands it to a programmer by
// reference; it outlives the programmer.
struct ProgrammerRecord {
  int32_t DeviceNumber = 0;            // ProzTyp of the matched device entry (21560: 5xx loader)
  std::string DeviceText;              // PCB number the instrument answered
  bool AlreadyInLoader = false;        // skip the request commands, talk to the loader at once
  bool ImageByChipId = false;          // take the firmware file by the chip ID the loader reports
  std::array<bool, 2> KeepSlowRate{};  // per loader mode 0 and 1: stay at 9600 baud
  std::array<int32_t, 2> EraseTop{};   // per loader mode 0 and 1: top segment; <= 0 default
  int32_t ResetVector = 0;             // written by the loaders: the instrument's reset vector
  bool ResetVectorKnown = false;
  LoaderStateRecord LoaderState;       // written by the loaders: what a loader left behind holds
  bool SyncFirst = false;              // enter the loader with a synchronisation
  bool AskResetVector = false;         // ask the instrument for its reset vector first
  bool RestoreSlowParameters = false;  // leave the port at 9600 2 stop bits, no parity after success
  int32_t LoaderMode = 0;              // 0, 1 or 2

  // What the Windows CE programmer reads besides the main file.
  uint8_t SameVersionAccepted = 0;     // the user accepted loading the version the instrument has
  int32_t StartupVersionInDevice = 0;  // the instrument's start-up program (only for LoaderKind 2)
  int32_t ExtraFileCount = 0;
  std::vector<std::string> ExtraFiles;  // ExtraFileCount names
};

}  // namespace programmers
