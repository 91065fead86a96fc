#pragma once

#include <cstdint>
#include <string>

#include "core/BilingualText.h"
#include "core/Event.h"
#include "core/EventQueue.h"
#include "programmers/TProgrammerTyp.h"

namespace programmers {

// Transfers the main file and then every extra file of the record to an
// instrument running a Windows CE image, in binary blocks of up to 2000
// bytes with a CRC-8 each, at 38400 baud.
//
// hello [ack] rate 38400, port to 38400 [ack] announce [ack] block [ack] ...
// end of file [ack] (the next file's announcement ...) end of transfer [ack]
// rate back, port restored [ack]. Everything after Program's start runs in
// EventHandler, called from the window's drains on the GUI thread.
class TWinCEProg : public TProgrammerTyp {
 public:
  static constexpr uint32_t kGuardMs = 8000;
  static constexpr int32_t kBlockSize = 2000;
  static constexpr size_t kFileLimit = 3000000;
  static constexpr uint32_t kTransferRate = 38400;
  static constexpr int32_t kRateSwitchWaitMs = 2000;
  static constexpr int32_t kRateBackWaitMs = 1500;
  static constexpr int32_t kEndWaitMs = 500;
  // The error number of answer 261 that asks for the last block again.
  static constexpr int32_t kSendAgain = 2;
  // The announcement: kFirstTransfer for an instrument whose start-up
  // program knows it (from kFirstTransferStartup on) and a version not
  // accepted as the same; kAcceptedTransfer otherwise.
  static constexpr const char* kFirstTransfer = "A.1201#";
  static constexpr const char* kAcceptedTransfer = "A.1205#";
  static constexpr int32_t kFirstTransferStartup = 106;

  static constexpr core::BilingualText kNoAnswerText{
      "Das Ger\xE4t antwortet nicht. Die \xDC"
      "bertragung wurde abgebrochen.",
      "The instrument does not answer. The transfer was aborted."};
  // "%1" is the instrument's error number.
  static constexpr core::BilingualText kErrorNumberText{
      "Das Ger\xE4t meldet den Fehler %1. Die \xDC"
      "bertragung wurde abgebrochen.",
      "The instrument reports error %1. The transfer was aborted."};
  static constexpr core::BilingualText kEscapeText{
      "Die \xDC"
      "bertragung wurde mit Esc abgebrochen.",
      "The transfer was aborted with Esc."};

  TWinCEProg(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
             serial::TComPort& port);
  ~TWinCEProg() override;

  // The name the instrument is told for a file (as configured).
  virtual std::string MapName(const std::string& name);
  // True when the instrument acknowledged every file to the end. Every
  // failure ends with one error box.
  virtual bool Program(const std::string& fileName);
  // Writes the text to the port and logs it. Always true.
  virtual bool SendCommand(const std::string& text);

  // The header character of a block (for tests): "D.n,c#".
  static std::string BlockHeader(const std::string& bytes);
  // The announcement prefix for this record's options.
  static const char* AnnouncePrefix(uint8_t versionChoice, int32_t startupVersionInDevice);

 protected:
  void OnConnectionLost() override;

 private:
  using Step = void (TWinCEProg::*)();

  enum class Failure { kNone, kNoAnswer, kErrorNumber, kEscape, kFile, kLineLost };

  // The file being sent.
  struct CurrentFile {
    std::string name;  // as configured
    std::string data;
    uint32_t dosTime = 0;
    int32_t size = 0;
    int32_t sent = 0;
  };

  struct RunState {
    bool failed = false;
    bool finished = false;
    bool lineSwitched = false;  // the port runs at the transfer rate
    // Files are under way: from the first announcement to the end of transfer.
    bool transferOpen = false;
    // The instrument acknowledged the rate command during its wait.
    bool rateAcknowledged = false;
    uint8_t versionChoice = 0;
    int32_t guardSlot = 0;
    uint32_t guardStartTick = 0;  // when the guard was last (re)started
    int32_t fileIndex = 0;  // extra files started
    uint32_t previousRate = 0;
    Step nextStep = nullptr;
    Step questionStep = nullptr;  // never set: a "?" is swallowed
    Failure failure = Failure::kNone;
    std::string failureText;  // kFile: the file's error; kErrorNumber: the number
  };

  core::Event EventHandler(core::EventQueue& queue, core::Event event);
  // Loads a package file into m_file; false (and the run failed) when it
  // cannot be used.
  bool LoadFile(const std::string& name);
  void Fail(Failure failure, std::string text = {});
  void RestartGuard();
  // The guard's time since its last restart is over.
  bool GuardRunOut() const;
  void ShowFailure();
  bool Stopped() const { return m_run.finished || LineLost(); }
  void Wait(int32_t ms, bool processMessages) { m_delay.DelayTime(ms, processMessages); }

  void RateStep();
  void AnnounceStep();
  void DataStep();
  void EndOfFileStep();
  void NextFileStep();
  void EndOfTransferStep();
  void RateBackStep();
  void EndStep();
  // What an acknowledgement of a rate command does while its wait runs.
  void NoteRateAcknowledged();
  void SendLastBlockAgain();

  CurrentFile m_file;
  RunState m_run;
  std::string m_lastBlock;  // header and bytes, as written
  bool m_subscribed = false;
};

}  // namespace programmers
