#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Event.h"
#include "core/EventQueue.h"
#include "programmers/TProgrammerTyp.h"

namespace programmers {

// Loads a binary image through the instrument's own download commands: the
// faster line, the restart into its loader, the announcement, 128-byte hex
// lines each with its CRC-16, the trailer, the finish and the rate back.
// Everything after Program's start runs in EventHandler, called from the
// window's drains on the GUI thread.
class TEFMV24_Prog : public TProgrammerTyp {
 public:
  // The image area: the file and its fill must fit.
  static constexpr size_t kImageCapacity = 1500000;
  // The largest file whose padded image fits (its fill takes at least one byte).
  static constexpr size_t kFileLimit = 1499897;
  static constexpr size_t kLineBytes = 128;
  static constexpr size_t kLoaderTextMax = 15;
  static constexpr int32_t kGuardMs = 8000;
  static constexpr int32_t kTrailerGuardMs = 20000;  // the instrument programs its flash meanwhile
  static constexpr int32_t kRateSwitchWaitMs = 500;
  static constexpr int32_t kHelloDelayMs = 2000;
  static constexpr int32_t kEndWaitMs = 500;

  TEFMV24_Prog(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
               serial::TComPort& port);
  ~TEFMV24_Prog() override;

  // The file name as the announcement step keeps it; unchanged here.
  virtual std::string MapName(const std::string& name) const { return name; }
  // True when the instrument acknowledged every step to the end. A failure
  // has shown its error box.
  virtual bool Program(const std::string& fileName);
  // Writes the text to the port and logs it. Always true.
  virtual bool SendCommand(const std::string& text);

  // The file's bytes followed by 0xFF fill, so that the image and the
  // 6-byte trailer make whole 128-byte blocks.
  static std::vector<uint8_t> PaddedImage(const std::string& content);
  // "A.1261#n,crc," and the bytes as upper-case hex digits, CR LF.
  static std::string DataLine(const uint8_t* bytes, size_t count);
  // The trailer's time stamp: seconds since 31 December 2002 00:00 local
  // time, for a day number counted from 30 December 1899. 0 before that.
  static uint32_t TimeStamp(double localDayNumber);

  // What the instrument's loader called itself (answer 264), clipped.
  const std::string& LoaderText() const { return m_loaderText; }

 protected:
  void OnConnectionLost() override;

 private:
  using Step = void (TEFMV24_Prog::*)();

  // Where the run stands with the instrument's loader: the loader's answers
  // 264 and 35 count only while they are awaited.
  enum class Phase { kApplication, kAwaitLoader, kAwaitHello, kLoader };

  struct Run {
    bool failed = false;
    bool finished = false;
    bool lineSwitched = false;  // the port left its saved parameters
    // The port follows a rate command: acknowledgements are noted, not acted on.
    bool switching = false;
    bool ackWhileSwitching = false;
    Phase phase = Phase::kApplication;
    int32_t guardSlot = 0;
    int32_t sent = 0;  // image bytes sent in data lines
    Step next = nullptr;
  };

  core::Event EventHandler(core::EventQueue& queue, core::Event event);
  void OnAcknowledged();
  void OnLineError(const char* text);
  void Fail();

  void StepSpeed();
  void StepRestart();
  void StepData();
  void StepTrailer();
  void StepFinish();
  void StepSpeedBack();
  void StepEnd();
  // After a rate command: waits while the instrument switches, switches the
  // port with `change`, then `then` runs on the acknowledgement (at once
  // when it came during the wait).
  template <class Change>
  void SwitchLine(Change change, Step then);
  void SendSpeed(int32_t baudIndex);

  std::vector<uint8_t> m_image;
  int32_t m_imageLength = 0;
  int32_t m_blockCount = 0;
  std::string m_fileName;
  std::string m_mappedName;
  std::string m_loaderText;
  std::string m_lastLine;
  Run m_run;
  bool m_subscribed = false;
};

}  // namespace programmers
