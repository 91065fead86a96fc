#pragma once

#include <cstdint>
#include <string>

#include "core/EventQueue.h"
#include "core/TimerSlots.h"
#include "platform/MessagePump.h"

namespace programmers {

// The commands of ReportProgress.
namespace progress {
inline constexpr uint32_t kReset = 0;      // bar position (0 at the start)
inline constexpr uint32_t kPosition = 1;   // bar position
inline constexpr uint32_t kMaximum = 2;    // bar maximum
inline constexpr uint32_t kStep = 3;       // bar + value, percentage in the title
inline constexpr uint32_t kPercent = 10;   // the title's percentage (-1: none, 100: done)
inline constexpr uint32_t kAdvance = 20;   // bar + value, title unchanged
}  // namespace progress

// What a programmer needs from the main window. The window implements it
// and outlives every programmer it creates. GUI thread only.
class ProgrammerHost {
 public:
  virtual ~ProgrammerHost() = default;

  // The progress commands of the window (progress::k...).
  virtual void ReportProgress(uint32_t command, int32_t value) = 0;
  // The debug log (commands sent, lines received).
  virtual void LogLine(const std::string& text) = 0;
  // Dispatches every queued Event (the window's DrainEvents).
  virtual void DrainEvents() = 0;
  virtual core::EventQueue& Events() = 0;
  virtual core::TimerSlots& Slots() = 0;
  virtual platform::MessagePump& Pump() = 0;

  // The ProgDefFile of the first device entry whose ProzTyp equals
  // `prozTyp`; empty when none matches. Serves the chip-ID file choice.
  virtual std::string FindProgDefFile(int32_t prozTyp) = 0;
  // The loader error text for an error step, in the user's language.
  virtual std::string ErrorText(int32_t errorStep) = 0;
  // A modal box with the error icon and OK. Latin-1 texts.
  virtual void ShowErrorBox(const std::string& text, const std::string& caption) = 0;
  // The package folder: firmware files and "Patch.TXT" are looked up here,
  // case-insensitively.
  virtual std::string PackageFolder() = 0;
  // 0 German, 1 English.
  virtual int32_t Language() = 0;
  // Appends `text` to the software-version field of the device group (the
  // XMODEM loader shows its own version there).
  virtual void AppendToVersionField(const std::string& text) = 0;
  // The local date and time as a day number (days since 30 December 1899,
  // the fraction being the time of day).
  virtual double LocalDayNumber() = 0;
};

}  // namespace programmers
