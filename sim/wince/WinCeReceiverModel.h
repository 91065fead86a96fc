#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/model/InstrumentModel.h"
#include "sim/model/ModelContext.h"
#include "sim/model/WinCeSettings.h"

namespace sim {

// The file receiver of an instrument running a Windows CE image. Its
// application (the ASCII model) acknowledges "A.1300#38400" at the old rate
// and hands the line over; from then on it listens at the transfer rate
// (8 data bits, no parity) and takes:
//  - "A.1201#name,time,size" and "A.1205#..." (the file that follows;
//    acknowledged "A.1201!" / "A.1205!"; a file still open is abandoned);
//  - blocks "D.n,c#" followed by n bytes, c the CRC-8 character: "D.n!"
//    when intact, "I.261#2" for a wrong check character or a damaged byte
//    (send again), "I.261#3" for a block longer than 2000 bytes, "I.261#4"
//    for a block outside a file, "I.261#5" for a file that outgrows 3 MB;
//  - "A.1202": the file is closed and kept (a size other than announced is
//    noted as bad); "A.1203": the transfer is over; "A.1000": acknowledged;
//  - "A.1300#rate": acknowledged at the transfer rate, then the application
//    takes the line again at the profile's line settings.
// A fault planted with `error-at` is the instrument's own: after its error
// number (unless 2) it gives the transfer up and the application takes the
// line back.
// Other commands are refused ("A.<number>?"), other lines ignored.
class WinCeReceiverModel final : public InstrumentModel {
 public:
  static constexpr uint32_t kMaxBlock = 2000;
  static constexpr size_t kMaxFileSize = 3000000;
  static constexpr size_t kMaxFiles = 64;
  static constexpr uint32_t kSendAgain = 2;
  static constexpr uint32_t kBlockTooLong = 3;
  static constexpr uint32_t kNoFileOpen = 4;
  static constexpr uint32_t kFileTooLarge = 5;

  enum class FileState { kOpen, kStored, kSizeDiffers, kSkipped, kAbandoned };

  struct ReceivedFile {
    std::string name;
    int announcedBy = 0;  // 1201 or 1205
    uint32_t dosTime = 0;
    uint32_t announcedSize = 0;
    std::vector<uint8_t> bytes;
    FileState state = FileState::kOpen;
  };
  // Every block taken, with what it was answered.
  struct Block {
    int file = -1;  // index into Files(), -1 outside a file
    uint32_t offset = 0;
    uint32_t length = 0;
    std::string answer;  // "D.n!", "I.261#2", ..., "" when silent
  };

  explicit WinCeReceiverModel(ModelContext& context);

  std::string_view Name() const override { return "wince-receiver"; }
  platform::sim::LineFormat Format() const override;
  void Receive(const ModelInput& input, uint64_t nowMicros) override;
  void OnPortOpen(bool open, uint64_t nowMicros) override;
  void Dump(std::ostream& out) const override;

  // The faults, as the profile set them; a test may change them before the
  // blocks come.
  WinCeSettings& Faults() { return m_faults; }
  // Answers nothing from now on.
  void GoSilent() { m_silent = true; }

  const std::vector<ReceivedFile>& Files() const { return m_files; }
  const std::vector<Block>& Blocks() const { return m_blocks; }
  const std::vector<std::string>& Commands() const { return m_commands; }
  bool TransferEnded() const { return m_transferEnded; }
  // The rate the tool told at the end (A.1300#rate), if it did.
  std::optional<uint32_t> RateBack() const { return m_rateBack; }

  // The instrument's own CRC-8 of a block (polynomial 0x1D, start 0xFF) and
  // the character it expects in the header for it.
  static uint8_t ExpectedCheck(const uint8_t* bytes, size_t count);

 private:
  static constexpr size_t kMaxLine = 300;
  static constexpr size_t kMaxRecorded = 10000;
  static constexpr size_t kMaxLengthDigits = 5;

  enum class Input { kLine, kHeaderLength, kHeaderCheck, kHeaderEnd, kData };

  void ResetInput();
  void OnLine(const std::string& line);
  void Announce(int command, const std::string& parameter);
  void OnBlock();
  void Answer(const std::string& text);
  // The application takes the line again at the profile's line settings.
  void BackToApplication(const std::string& after);
  ReceivedFile* OpenFile();
  void Record(std::string text);

  ModelContext& m_context;
  WinCeSettings m_faults;

  Input m_input = Input::kLine;
  std::string m_line;
  bool m_garbled = false;
  // The block being received.
  uint32_t m_blockLength = 0;
  uint32_t m_blockLeft = 0;
  uint8_t m_blockCheck = 0;
  bool m_blockDamaged = false;
  std::vector<uint8_t> m_block;

  bool m_silent = false;
  bool m_transferEnded = false;
  std::optional<uint32_t> m_rateBack;
  uint32_t m_blocksTaken = 0;
  std::vector<ReceivedFile> m_files;
  std::vector<Block> m_blocks;
  std::vector<std::string> m_commands;
};

}  // namespace sim
