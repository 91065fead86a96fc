#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/model/InstrumentModel.h"
#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelContext.h"

namespace sim {

// An instrument running its application: the ASCII command protocol.
//
// Commands are "A.<number>[#parameter]" ended by carriage return and line
// feed, read only at the profile's line settings (a character sent at other
// settings garbles the line it falls into, which is then dropped). Answers:
//  - the family's search command, "A.1000", the closing commands and the
//    other commands it takes: "A.<number>!" (acknowledgement);
//  - "A.2003", "A.2000", "A.2001", "A.4001": "I.<code>#<text>" with the PCB
//    number, device number, software version and serial number;
//  - "A.5577" / "A.5555" (an instrument with a loader): "I.80#" / "I.81#"
//    with its reset vector as "0xHHHH" (5xx: all 16 vector words, 0xFFFE
//    first); the command of `loaderAfter` is acknowledged and hands over;
//  - any other "A.<number>": "A.<number>?" (rejection).
// Lines that are not commands are ignored. With "accept = 12000" it also
// takes files: "A.12000#name", packets "A.12010#" + count byte + bytes (no
// line end), "A.12030". The fault plan's commands may name 12010: the
// first packet then starts the fault.
class AsciiModel final : public InstrumentModel {
 public:
  struct ReceivedFile {
    std::string name;
    std::vector<uint8_t> bytes;
    bool complete = false;
  };

  explicit AsciiModel(ModelContext& context);

  std::string_view Name() const override { return "ascii"; }
  platform::sim::LineFormat Format() const override { return m_context.profile.line; }
  void Receive(const ModelInput& input, uint64_t nowMicros) override;
  void OnPortOpen(bool open, uint64_t nowMicros) override;
  void Dump(std::ostream& out) const override;

  // What the instrument was told, for tests and the dump.
  const std::vector<std::string>& Commands() const { return m_commands; }
  // The last parameter of a command ("" when it came without one).
  std::optional<std::string> LastParameter(int command) const;
  const std::vector<ReceivedFile>& Files() const { return m_files; }
  int ClosingCount() const { return m_closings; }

 private:
  static constexpr size_t kMaxLine = 255;        // longer lines are dropped
  static constexpr size_t kMaxRecorded = 10000;  // commands kept for the dump

  void ResetLine();
  void OnLine(const std::string& line);
  // The profile's faults keyed by `command` (a file packet counts as 12010);
  // false when the line has been dropped.
  bool ApplyFaults(int command);
  void Execute(int command, const std::string& parameter, bool hasParameter);
  void OnPacket();
  // Sends a line `extraMs` after the reply delay, unless silent.
  void Answer(const std::string& text, uint32_t extraMs = 0);
  // The vector table as "0xHHHH" tokens for the reset-vector question.
  std::string VectorText() const;

  ModelContext& m_context;
  std::string m_line;
  bool m_garbled = false;
  bool m_overflow = false;
  // A file packet: its header has come, now the count byte and the bytes.
  bool m_inPacket = false;
  int m_packetLeft = -1;  // -1 while the count byte is awaited
  std::vector<uint8_t> m_packet;

  bool m_silent = false;
  uint32_t m_garbageState = 0x2545F491u;
  std::vector<uint32_t> m_specialUses;
  std::vector<std::string> m_commands;
  std::vector<std::pair<int, std::string>> m_parameters;
  std::vector<ReceivedFile> m_files;
  int m_closings = 0;
};

}  // namespace sim
