#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/procedures/AirPressureTable.h"

namespace update {

// Everything an update run keeps between its Events, in one place. The form
// owns one; OK (KeyEvent kReturn) starts a run and resets what a run must not
// inherit from the one before. The instrument's own data are in DeviceRecord.
struct RunState {
  // --- the device search
  int RunSlot = 0;             // timer slot of the run's time-out; 0: none running
  int BaudIndex = -1;          // position in Update.ini's baud list; its length: the boot-loader phase
  int CurrentBaud = 2;         // BaudTag being searched at
  int BootStage = 0;           // 3: loader wake-up sent, 4: its second sequence sent
  bool PortErrorSeen = false;  // a framing error came: a time-out tries the same rate again
  int ErrorRateRepeats = 0;    // time-outs that repeated the rate since the last framing error
  int SearchFailures = 0;      // failed searches; the second one ends the program
  bool BslHintShown = false;   // the ROM loader's hint box was shown in this search
  int DevicePort = -1;         // PortTable index where the instrument answered; -1: none
  int DeviceComIndex = 0;      // COM number - 1 of that port

  // --- the identification
  int IdentStep = 0;                      // what the next acknowledgement does; 8: the download is over
  int IdentCmd = 0;                       // the identification query that goes out next
  bool RunClosed = false;                 // the run has ended: late answers must not carry it on
  std::string NextCommand;                // the command that starts the instrument's own download
  bool VersionUnknown = false;            // the instrument reported its version as "X.XX"
  uint8_t LabKey = 0;                     // the boot-loader byte (0x90 or "Q") an instrument answered with
  bool SensorIdModule = false;            // the instrument has a sensor-identification module (answer 262)
  int AirPressureIndex = kNoAirPressure;  // table row, kDefaultAirPressure, kAirPressureSent or none

  // --- the download decision (PrepareDownload)
  bool SameVersionConfirmed = false;  // the user chose to load the version the instrument has
  bool SensorPresent = true;          // false: a sensor-mode run found no digital sensor
  int SensorMode = 0;                 // the loader mode handed to the programmers
  int StartupFilePosition = 0;        // index of the start-up program among the extra files; 0: none
  int ExtraRunEnd = 0;                // index of the last extra file that belongs to the start-up program

  // --- the download
  bool FirstLoadDone = false;       // an outside loader wrote FirstFile in this run
  bool WinCeHandOver = false;       // a Windows CE image was handed over since the program started
  bool ProgrammerOwnsPort = false;  // a programmer owns the device port: its bytes are its own
  float TitleTicks = 0;             // title-timer ticks since the outside loader started
  float TitleTickBasis = 0;         // the ticks the whole transfer is expected to take

  // --- the extra-file transfer
  bool ExtraTransferActive = false;  // its handler is subscribed
  int ExtraFileIndex = 0;            // index of the next ExtraFiles name to send
  std::string ExtraFileData;         // the file being sent, read whole
  size_t ExtraFileSent = 0;          // bytes of it already sent
  bool ExtraSending = false;         // a file's contents are being sent (not between files)
  int ExtraGuardSlot = 0;            // timer slot of the wait for the instrument's acknowledgement

  // The next download methods add their state here (the terminal's loader
  // stage, ...).
};

// The service switches of the hidden keys.
struct ServiceFlags {
  bool DebugMode = false;    // LogLine writes the command traffic to the log
  int VersionCheck = 1;      // 0: versions are not compared
  int AnyFileMode = 0;       // 1: ChosenFile replaces MainFile, versions are not compared
  std::string ChosenFile{};  // the file the user picked for AnyFileMode
};

}  // namespace update
