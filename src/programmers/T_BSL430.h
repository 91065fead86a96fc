#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Event.h"
#include "core/EventQueue.h"
#include "programmers/BslFrames.h"
#include "programmers/FirmwareImage.h"
#include "programmers/ImageCheck.h"
#include "programmers/LoaderHandOver.h"
#include "programmers/LoaderSteps.h"
#include "programmers/TProgrammerTyp.h"

namespace programmers {

// Programs an MSP430 of the 1xx/2xx/4xx families through its ROM bootstrap
// loader. First the request over the instrument's ASCII line (reset vector,
// hand-over), then the loader protocol at 9600 8E1: version, password,
// optional 38400 baud, segment erase from the top down, block writes, read
// back, Load PC. Everything after Program's start runs in EventHandler,
// called from the window's drains on the GUI thread.
class T_BSL430 : public TProgrammerTyp, private LoaderHandOver::Client {
 public:
  // Reset vectors assumed when the instrument does not report its own. The
  // loader password is the vector table 0xFFE0..0xFFFF, and its last word
  // (0xFFFE) is the reset vector, the start of the firmware. The
  // instruments' firmware is linked to start at 0xC000, the bottom of the
  // top 16 KiB, which is main flash on every 1xx/2xx/4xx part of 16 KiB and
  // more and on the 5xx/6xx (whose path without asking takes this first
  // vector too); the large 2xx parts whose flash runs above 0xFFFF start at
  // 0x3100, the bottom of their flash (0x1100..0x30FF is RAM there). Four
  // digits: no main-flash address of these families fits in three.
  static constexpr const char* kDefaultVector1 = "0xC000";
  static constexpr const char* kDefaultVector2 = "0x3100";
  // Every other vector of the table is taken as erased flash (0xFFFF): the
  // instruments' firmware uses the reset vector only and leaves the other
  // fifteen words unprogrammed, so they read back as erased cells.
  static constexpr uint8_t kPasswordFill = 0xFF;

  static constexpr uint32_t kGuardMs = 15000;
  static constexpr uint32_t kLoaderSlotMs = 5000;
  static constexpr size_t kFileLimit = 400000;
  static constexpr size_t kPatchLimit = 2000;
  static constexpr size_t kRxCapacity = 1000;

  T_BSL430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
           serial::TComPort& port);
  ~T_BSL430() override;

  // Runs the whole download; true on success. Shows the error box on failure.
  virtual bool Program(const std::string& fileName);
  // Writes the text to the port and logs it. Always true.
  bool SendCommand(const std::string& text) override;
  virtual void ShowError();
  virtual int32_t LastError() const { return m_errorStepSaved; }

  // The receive path of the loader protocol: takes what has been read from
  // the port (at most the buffer's 1000 bytes are kept) and acts on it.
  void ReceiveBytes(const uint8_t* bytes, size_t count);

  // For tests and the window.
  int32_t ErrorStep() const { return m_errorStep; }
  int32_t LoaderVersion() const { return m_loaderVersion; }
  int32_t ChipId() const { return m_chipId; }

 protected:
  // What a loader family sets apart from the ROM loader's run (ms, bytes).
  struct RunConstants {
    size_t fileLimit;
    LoaderPort::Waits waits;
  };
  T_BSL430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
           serial::TComPort& port, const RunConstants& constants);

  // The hooks of Program, of the hand-over and of the receive path; the ROM
  // loader's by default.
  // Reads the image of `fileName`, sets m_lastBlock; false after the error box.
  virtual bool ReadImage(const std::string& fileName);
  // The instrument waits in its loader already: the password, then the loader.
  virtual void StartInLoader();
  const char* DefaultVectorText() const override;
  bool ChipIdImageSkipsQuestion() const override { return true; }
  int32_t TakeVectorText(const char* text) override;
  // The first step once the loader has been entered.
  virtual void StartLoaderProtocol(bool sync);
  virtual std::vector<BslReceipt> ScanReceived(std::vector<uint8_t>& buffer);
  virtual void OnFrame(const std::vector<uint8_t>& frame);
  virtual void OnAck();
  // A NAK, or the loader's slot ran out (`timeOut`).
  virtual void RetryRule(bool timeOut);

  void OnConnectionLost() override;
  void EnterLoader(bool sync) override;
  void RequestRefused() override;
  void Wait(int32_t ms) { m_delay.DelayTime(ms, false); }
  void Fail() {
    m_failed = true;
    m_finished = true;
  }
  // The retry history is full: the run ends.
  void RetriesExhausted();
  // Reads a TI-TXT package file into `image`; false after the error box.
  bool LoadImage(const std::string& fileName, FirmwareImage16& image, size_t limit,
                 ImageUse use = ImageUse::kFirmware);
  bool LoadImage(const std::string& fileName, FirmwareImage32& image, size_t limit,
                 ImageUse use = ImageUse::kFirmware);
  static int32_t ReadHexWord(const char* text);
  // Progress steps: every command counts twice, for its synchronisation or
  // acknowledgement and for its answer.
  static constexpr int32_t kStepsPerCommand = 2;
  // The steps of a run without retries, rate change and erase.
  int32_t ImageSteps() const;
  // The erase starts at the record's top segment (0xFC00 by default) and
  // goes down to the image's second block at `lowest`; the progress
  // maximum grows by the segments.
  void StartErase(int32_t lowest);
  // The start command was acknowledged: the firmware runs.
  void Done();
  // Whether a read-back frame carries `n` data bytes, from its fifth byte on,
  // that equal the whole of the block's data.
  template <class Block>
  static bool ReadBackMatches(const std::vector<uint8_t>& frame, size_t n, const Block& block) {
    return n == block.DataLength() && frame.size() >= n + 6 &&
           std::equal(frame.begin() + 4, frame.begin() + 4 + static_cast<std::ptrdiff_t>(n),
                      block.data.begin());
  }

  bool m_failed = false;
  bool m_finished = false;
  bool m_loaderActive = false;
  bool m_vectorSegmentErased = false;
  int32_t m_timerSlot = 0;
  int32_t m_errorStep = 0;
  int32_t m_errorStepSaved = 0;
  int32_t m_progressMax = 0;
  int32_t m_blockIndex = 0;
  int32_t m_lastBlock = -1;
  int32_t m_eraseAddress = 0;  // the next segment to erase
  std::vector<uint8_t> m_rx;   // RxBuffer; at most kRxCapacity bytes
  const RunConstants m_run;
  LoaderHandOver m_handOver;

 private:
  using RomSteps = LoaderSteps<T_BSL430, RomBslCode>;
  using Action = RomSteps::Action;
  struct RomProtocol;
  static const RomProtocol kRomProtocol;
  using PasswordTable = std::array<uint8_t, LoaderStateRecord::kTableSize>;

  core::Event EventHandler(core::EventQueue& queue, core::Event event);
  // Reads what fits into the receive buffer and hands it to ReceiveBytes.
  void ReadPort();
  template <class Image>
  bool LoadAnyImage(const std::string& fileName, Image& image, size_t limit, ImageUse use);

  // Arms the step and sends its command with `payload` (the sync byte alone).
  void Send(const RomSteps::Step& step, const std::vector<uint8_t>& payload = {});
  // Loader steps (error step numbers in brackets).
  void SyncThen(Action step);  // [1]
  void SyncAgain();            // [1]
  void StepVersion();          // [2]
  void StepVersionFallback();
  void StepBaudRate();       // [3]
  void StepPassword();       // [4]
  void StepErase();          // [5]
  void StepVectorErase();    // [6]
  void StepWrite();          // [8]
  void StepReadBack();       // [9]
  void StepStart();          // [10]
  void StepRestartLoader();  // [11]
  void StepRunPatch();       // [12]
  void StepWritePatch();     // [13]
  void StepReadBackPatch();  // [14]
  void StepOffset();         // [15]
  void StepPatchPassword();

  void OnVersionAnswer(const std::vector<uint8_t>& frame);
  void AfterPassword();
  void SwitchTo38400();
  void NextSegment();
  void VectorSegmentErased();
  void NextBlock();
  void Compare(const std::vector<uint8_t>& frame);
  void AfterOffset();
  void AfterRestart();
  void AfterPatchPassword();
  void NextPatchBlock();
  void ComparePatch(const std::vector<uint8_t>& frame);
  void AfterRunPatch();

  void Continue(Action step);  // SyncThen, or the patch prelude once the patch is loaded
  void RequestOffset(int32_t offset, Action then);
  void LoadPatch();
  void TakeImage(const FirmwareImage16& image);
  void SetPasswordFromVector(int32_t word);
  std::vector<uint8_t> PasswordPayload() const;
  // Tells the record what an acknowledged frame did to the vector table.
  void NoteAcknowledged();
  int32_t SecondBlockAddress() const;
  uint16_t StartWord() const;

  // A loader entered without the hand-over listens at the rate the record
  // believes (the failed run's), or at 9600 if the instrument was switched
  // off and on into it: until it answers, each time-out tries the other.
  bool m_rateUnsure = false;
  FirmwareImage16 m_image;
  FirmwareImage16 m_patchImage{20};
  int32_t m_patchIndex = 0;
  int32_t m_patchLast = -1;
  int32_t m_firstUpper = -1;
  int32_t m_lastUpper = -1;
  int32_t m_chipId = 0;
  std::string m_versionText;
  int32_t m_loaderVersion = 0;
  int32_t m_vectorWord = 0;
  // The vector table 0xFFE0..0xFFFF to send as the password, and in the
  // loader-only run the one to alternate with when the loader refuses it.
  PasswordTable m_passwordTable{};
  PasswordTable m_otherPasswordTable{};
  bool m_hasOtherPassword = false;
  bool m_passwordFromRecord = false;
  // The last frame sent, until its ACK has been noted (kSync: none).
  RomBslCode m_sentCommand = RomBslCode::kSync;
  std::vector<uint8_t> m_sentPayload;
  int32_t m_requestedOffset = 0;
  bool m_offsetActive = false;
  bool m_passwordAccepted = false;
  bool m_versionKnown = false;
  bool m_patchLoaded = false;

  RomSteps m_romSteps;
  Action m_savedStep = nullptr;
  Action m_afterOffset = nullptr;
  bool m_subscribed = false;
};

}  // namespace programmers
