#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/model/InstrumentModel.h"
#include "sim/model/ModelContext.h"
#include "sim/model/XmodemSettings.h"

namespace sim {

// An instrument's loader that takes a firmware image by XMODEM with CRC.
//
// It is entered from the instrument's program by "A.1250#d" or "A.1255#d"
// (the instrument's or its sensor module's loader; d is the rate code, 7 =
// 115200, 3 = 9600) once the acknowledgement has gone out, or by "A.1256#d"
// (the sensor behind the instrument): then the line reaches the sensor's
// program at 9600, which acknowledges its own "A.1250#d" and enters its
// loader at rate d. In the loader, all at 8N1:
//  - "A.2051": "B.251#<version>"; "A.1250#d": "A.1250!", then rate d;
//  - "u": asks for the image with "C" (again every 3 s until a packet comes);
//    a packet with the expected block number, its complement and a good
//    CRC-16 is ACKed and kept, the previous one again is ACKed and dropped,
//    any other is NAKed, as is a packet cut off for 1 s; EOT is ACKed;
//  - "c": "B.1205#HHHH", the CRC of the bytes the 6-byte trailer covers;
//  - "r": starts the new firmware when the trailer's length and CRC match
//    what arrived (its command line then answers at the profile's line).
// After 20 s without a byte it returns to the instrument's old program.
// From version 1.06 on a command letter counts only with the code
// "8934\r\n" and a NUL after it. Anything else is ignored, as are lines
// that are not commands.
class XmodemLoaderModel final : public InstrumentModel {
 public:
  static constexpr uint64_t kAnswerMicros = 1000;
  static constexpr uint64_t kCrcRequestMicros = 3'000'000;  // "C" again without a packet
  static constexpr int kCrcRequests = 10;
  static constexpr uint64_t kPacketGapMicros = 1'000'000;  // a cut-off packet is NAKed
  static constexpr size_t kCapacity = 1500000;             // the image store
  // Nothing for this long: the loader gives up and the instrument's old
  // program runs again (an image is kept apart until "r" starts it).
  static constexpr uint64_t kIdleMicros = 20'000'000;

  explicit XmodemLoaderModel(ModelContext& context);

  std::string_view Name() const override { return "xmodem-loader"; }
  platform::sim::LineFormat Format() const override;
  void Receive(const ModelInput& input, uint64_t nowMicros) override;
  void Tick(uint64_t nowMicros) override;
  std::optional<uint64_t> NextTick() const override;
  void TakeHandOver(int command, const std::string& parameter) override;
  void Dump(std::ostream& out) const override;

  // What arrived: the image with its fill and trailer, as stored.
  const std::vector<uint8_t>& Image() const { return m_image; }
  // How often each packet (by its place in the image) was ACKed.
  const std::vector<int>& AckCounts() const { return m_ackCounts; }
  int NakCount() const { return m_naks; }
  bool EndAcknowledged() const { return m_endAcknowledged; }
  // The trailer's length and CRC match what arrived.
  bool ImageValid() const;
  bool Started() const { return m_started; }
  uint32_t Baud() const { return m_baud; }

  // Faults for tests: NAK every packet; report a CRC that differs from the
  // image's; answer nothing after `count` packets were taken; or at all.
  void NakEveryPacket() { m_nakAll = true; }
  void ReportWrongCrc() { m_wrongCrc = true; }
  void SilentAfterPackets(int count) { m_silentAfter = count; }
  void GoSilent() { m_silent = true; }

 private:
  enum class State { kSensorProgram, kCommands, kReceiving, kStarted };

  void OnCommandByte(uint8_t byte, uint64_t now);
  void OnLine(const std::string& line, uint64_t now);
  void OnLetter(uint8_t letter, uint64_t now);
  void OnTransferByte(uint8_t byte, uint64_t now);
  void OnPacket(uint64_t now);
  void RequestImage(uint64_t now);
  void ReportCrc();
  // The instrument's program takes the line (the new firmware, or the old one).
  void RunProgram();
  void Answer(std::vector<uint8_t> bytes);
  void Answer(const std::string& text);
  // The rate of a rate code, 0 for none.
  static uint32_t RateOf(const std::string& code);
  void SwitchAfterAnswer(uint32_t baud, size_t answerLength, uint64_t now);
  uint16_t CoveredCrc() const;
  size_t CoveredLength() const;

  ModelContext& m_context;
  const XmodemSettings& m_settings;
  const bool m_wantsCode;
  State m_state = State::kCommands;
  uint32_t m_baud = 115200;
  uint32_t m_nextBaud = 0;
  std::optional<uint64_t> m_switchAt;

  std::string m_line;
  bool m_lineBad = false;
  // A command letter waits for its code; the code's next byte.
  uint8_t m_letter = 0;
  size_t m_codeAt = 0;

  std::vector<uint8_t> m_packet;  // from SOH on
  std::optional<uint64_t> m_packetDeadline;
  std::optional<uint64_t> m_crcRequestAt;
  int m_crcRequestsLeft = 0;
  bool m_packetSeen = false;

  std::vector<uint8_t> m_image;
  std::vector<int> m_ackCounts;
  int m_naks = 0;
  int m_packetsTaken = 0;
  bool m_endAcknowledged = false;
  std::optional<uint16_t> m_reportedCrc;
  bool m_started = false;
  std::optional<uint64_t> m_startAt;
  std::optional<uint64_t> m_idleAt;

  bool m_silent = false;
  bool m_nakAll = false;
  bool m_wrongCrc = false;
  int m_silentAfter = -1;
  uint32_t m_garbageState = 0x1F2E3D4Cu;
};

}  // namespace sim
