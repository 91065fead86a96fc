#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/EventCodes.h"
#include "platform/sim/LineFormat.h"
#include "sim/model/BslSettings.h"
#include "sim/model/EfmSettings.h"
#include "sim/model/FaultPlan.h"
#include "sim/model/FlashMemory.h"
#include "sim/model/SpecialAnswer.h"
#include "sim/model/WinCeSettings.h"
#include "sim/model/XmodemSettings.h"

namespace sim {

// How an instrument that sits in its boot loader makes itself known.
enum class BootAnnounce {
  None,       // runs its application: the ASCII command protocol
  FrameH00h,  // a frame 68 30 30 68 .. 1D body 0C .. 16 on a wake-up frame
  FrameH11h,  // 68 31 31 68 .. 1E body 0A .. 16
  FrameHcc,   // 68 2C 2C 68 .. 19 body 0C .. 16 ("h,,h")
  Byte90,     // 0x90 for the sync byte 0x80 (ROM bootstrap loader)
  LetterQ,    // "Q" (0x51, header error) for a packet not starting with 0x80
};

// The commands every instrument running its application takes: the connect
// command, the closing commands, the download start, the clock, and the
// identification queries (PCB, device number, version, serial number).
inline constexpr std::array<int, 9> kBuiltinCommands{1000, 1111, 1121, 1200, 1600, 2003, 2000, 2001, 4001};
// With "accept = 12000" an instrument takes files: a name, packets, the end.
inline constexpr int kFileStartCommand = 12000;
inline constexpr int kFileEndCommand = 12030;
// The reset-vector queries of an instrument with a loader.
inline constexpr int kVectorQuery = 5577;
inline constexpr int kVectorQuery2 = 5555;

// One simulated instrument: what it answers and how it listens.
struct InstrumentProfile {
  std::string name;
  std::string description;
  // The command set of a device family (the tool's StartMode 0..5); it picks
  // the search command the instrument acknowledges.
  int family = 0;
  platform::sim::LineFormat line{4800, 8, platform::sim::Parity::None, platform::sim::StopBits::One};

  std::string pcb;             // answered to A.2003
  std::string device;          // answered to A.2000
  std::string version;         // answered to A.2001
  std::string serial;          // answered to A.4001
  std::string startupVersion;  // when set, A.2001 is answered with I.2011 first
  // Answer codes for PCB, device, version and serial number.
  std::array<int, 4> identCodes{core::codes::kAnswerPcbNumber, core::codes::kAnswerIdentNumber,
                                core::codes::kAnswerSoftwareVersion, core::codes::kAnswerSerialNumber};
  uint32_t replyDelayMs = 10;  // from the command's line end to the answer

  std::vector<SpecialAnswer> specials;
  std::vector<int> accepted;  // further commands acknowledged with "!"

  BootAnnounce bootLoader = BootAnnounce::None;
  std::string bootBody;  // body of the announcement frame

  // A model of the registry that takes the line after `loaderAfter` is
  // acknowledged (from the ASCII model) or after the announcement.
  std::string loader;
  int loaderAfter = 1200;
  // Further commands that hand over to the same loader: an instrument whose
  // second processor is programmed through it ("after 5588 5566").
  std::vector<int> loaderAlsoAfter;

  // True for a command that hands the line over to `loader`.
  bool HandsOverToLoader(int command) const;
  // True for a command the instrument answers in its command protocol
  // (acknowledged, or answered as the identification queries and the vector
  // query are): the family's search command, kBuiltinCommands, the file
  // commands when it takes files, the vector queries and the hand-over
  // commands when it has a loader, and `accepted`.
  bool Takes(int command) const;
  bool TakesFiles() const;

  std::vector<FlashMemory::Region> flash;
  // The MSP430 bootstrap loader and the old firmware (models rom-bsl, bsl-5xx).
  BslSettings bsl;
  // The settings of the binary-image loaders (models xmodem-loader,
  // efm-loader, wince-receiver), one line each.
  XmodemSettings xmodem;

  EfmSettings efm;

  WinCeSettings wince;

  FaultPlan faults;

  // The search command of the family (its number).
  int SearchCommand() const;
};

}  // namespace sim
