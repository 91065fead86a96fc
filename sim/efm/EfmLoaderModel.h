#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/model/InstrumentModel.h"
#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelContext.h"

namespace sim {

// An instrument with an EFM processor, from the moment its application has
// acknowledged the download request (A.5004) to the moment it runs its
// (new) application again.
//
// In the application: "A.1301#n" (n a rate index 0..9, 1200 .. 256000
// baud) is acknowledged at the old rate, and the line switches once the
// acknowledgement is out; "A.9000" restarts into the loader, which answers
// "I.264#<text>" after the restart time, at the rate in force. In the
// loader: "A.1000" is answered "I.35"; the announcement
// "A.1260#...of!<L> bytes,<text>" is acknowledged when L + 6 is a whole
// number of 128-byte blocks and the text is the loader's (as far as the
// tool keeps it, 15 characters); each data line "A.1261#n,crc,HEX" is
// checked (n bytes, 1..128, within L, CRC-16 over them) and acknowledged,
// or answered "I.263#2" when damaged and "I.263#3" when it does not fit the
// announced image; the trailer "A.1262#QT48,L,crc,time" is acknowledged
// when the whole image has come and its CRC-16 matches, else "I.263#4";
// "A.1263" programs the image and is acknowledged after the programming
// time. "A.1301#n" after that is acknowledged at the fast rate, and the
// application takes the line at its own settings. Any other command is
// refused ("A.<n>?"), except in the application before the restart: there
// any other command ends the download preparation, and the application's
// command protocol takes the line and answers it. Lines that are no
// command, or that came at another rate, are ignored.
class EfmLoaderModel final : public InstrumentModel {
 public:
  static constexpr size_t kImageCapacity = 1500000;
  static constexpr size_t kMaxLineBytes = 128;
  static constexpr size_t kShownText = 15;  // what the tool keeps of the loader's text
  static constexpr int kDamaged = 2;        // answer 263: send the line again
  static constexpr int kOutOfPlace = 3;     // answer 263: more than announced, or no announcement
  static constexpr int kBadTrailer = 4;     // answer 263: the image is incomplete or its CRC wrong

  enum class Stage { kApplication, kRestarting, kLoader, kProgrammed };

  // One data line as the loader took it.
  struct DataLine {
    size_t offset = 0;  // where its bytes went (or would have gone)
    size_t length = 0;
    int answer = 0;     // 0 acknowledged, else the number answered with 263
    uint32_t baud = 0;  // the rate it came at
  };

  explicit EfmLoaderModel(ModelContext& context);

  std::string_view Name() const override { return "efm-loader"; }
  platform::sim::LineFormat Format() const override;
  void Receive(const ModelInput& input, uint64_t nowMicros) override;
  void Tick(uint64_t nowMicros) override;
  std::optional<uint64_t> NextTick() const override;
  void Dump(std::ostream& out) const override;

  // Faults for tests. Line numbers count data lines from 1, copies included.
  // Answer `count` lines from this one with 263 and `number` instead of
  // taking them.
  void AnswerLineWith(int line, int number, int count = 1) { m_lineFault = {line, number, count}; }
  void DamageLine(int line) { AnswerLineWith(line, kDamaged); }
  // From the `occurrence`th receipt of this command on, nothing is answered.
  void GoSilentAt(int command, int occurrence = 1) { m_silentAt = {command, occurrence}; }
  // The next receipt of this command goes unanswered and has no effect.
  void IgnoreOnce(int command) { m_ignoreOnce = command; }
  // The trailer's CRC-16 is taken as wrong.
  void CorruptTrailerCheck() { m_corruptTrailer = true; }

  Stage CurrentStage() const { return m_stage; }
  uint32_t Baud() const { return m_baud; }
  // The image as received: the acknowledged lines' bytes in order.
  const std::vector<uint8_t>& Image() const { return m_image; }
  size_t AnnouncedLength() const { return m_announced; }
  bool Programmed() const { return m_stage == Stage::kProgrammed; }
  std::optional<uint32_t> TimeStamp() const { return m_timeStamp; }
  const std::vector<DataLine>& Lines() const { return m_lines; }
  // Every command head ("A.1301#7", "A.1261" for data lines) with its rate.
  const std::vector<std::pair<std::string, uint32_t>>& Commands() const { return m_commands; }

 private:
  static constexpr size_t kMaxLine = 600;  // longer lines are dropped
  static constexpr size_t kMaxRecorded = 20000;
  static constexpr size_t kMaxLines = 100000;  // data lines kept for tests and the dump

  struct LineFault {
    int line = 0;
    int number = 0;
    int count = 0;
  };
  struct SilentAt {
    int command = 0;
    int occurrence = 0;
  };

  void OnLine(const std::string& line, uint64_t nowMicros);
  void Execute(int command, const std::string& parameter, uint64_t nowMicros);
  void OnRate(const std::string& parameter, uint64_t nowMicros);
  void OnAnnouncement(const std::string& parameter);
  void OnDataLine(const std::string& parameter);
  void OnTrailer(const std::string& parameter);
  // The application's command protocol takes the line, starting with `line`.
  void BackToApplication(const std::string& line, uint64_t nowMicros);
  void Answer(const std::string& text, uint64_t extraMicros = 0);
  uint64_t ReplyMicros() const;

  ModelContext& m_context;
  const EfmSettings& m_settings;
  Stage m_stage = Stage::kApplication;
  uint32_t m_baud;
  std::string m_line;
  bool m_garbled = false;
  bool m_overflow = false;
  bool m_silent = false;

  // A rate change, or the loader's start, waiting for its time.
  std::optional<uint64_t> m_eventAt;
  uint32_t m_nextBaud = 0;

  size_t m_announced = 0;
  bool m_trailerTaken = false;
  std::vector<uint8_t> m_image;
  std::optional<uint32_t> m_timeStamp;
  std::vector<DataLine> m_lines;
  uint64_t m_lineCount = 0;
  std::vector<std::pair<std::string, uint32_t>> m_commands;
  std::vector<std::pair<int, int>> m_receipts;  // command, times received

  LineFault m_lineFault;
  SilentAt m_silentAt;
  bool m_corruptTrailer = false;
  int m_ignoreOnce = 0;
};

}  // namespace sim
