#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bsl/BslModelBase.h"

namespace sim {

// The UART bootstrap loader of an MSP430 of the 5xx/6xx families.
//
// 9600 baud 8E1 at entry. A packet is 80 NL NH core CKL CKH with the CRC
// (poly 0x1021, init 0xFFFF, not reflected) over the core command. The
// loader answers one byte: 0x00 ACK, or 0x51 header, 0x52 checksum, 0x53
// size zero, 0x54 size too big; after an ACK, commands with a response send
// a frame 80 NL NH 3A data.. (data) or 80 02 00 3B status (message).
//
// Strict: every command but the password and the mass erase needs the
// password (the vector table 0xFFE0..0xFFFF); a wrong one mass-erases and
// answers status 05; a locked command answers status 04. Writing a flash
// cell that is not erased answers status 01 (write check failed).
class Bsl5xxModel final : public BslModelBase {
 public:
  struct Command {
    uint8_t command = 0;
    uint32_t address = 0;
    uint32_t length = 0;  // data bytes written, or the length asked for
    uint32_t baud = 0;
    uint8_t status = 0;  // message status sent, 0xFF when none
  };

  static constexpr uint32_t kDeviceIdAddress = 0x1A04;

  explicit Bsl5xxModel(ModelContext& context);

  std::string_view Name() const override { return "bsl-5xx"; }
  void Receive(const ModelInput& input, uint64_t nowMicros) override;
  void OnPortOpen(bool open, uint64_t nowMicros) override;
  void Dump(std::ostream& out) const override;
  void RestartLoader() override;

  const std::vector<Command>& Commands() const { return m_commands; }

  // Faults for tests.
  void StatusNext(uint8_t command, uint8_t status, int count) {
    m_faultCommand = command;
    m_faultStatus = status;
    m_faultCount = count;
  }

 private:
  void Execute();
  void Byte(uint8_t b, uint64_t delayMicros) { Answer({b}, delayMicros); }
  void Frame(const std::vector<uint8_t>& core, uint64_t delayMicros);
  void Message(uint8_t status, uint64_t delayMicros);
  uint8_t ReadByte(uint32_t address) const;
  void MassErase();

  std::vector<uint8_t> m_packet;
  uint64_t m_now = 0;
  uint64_t m_lastByte = 0;
  bool m_unlocked = false;
  std::vector<Command> m_commands;
  Command m_current;

  uint8_t m_faultCommand = 0;
  uint8_t m_faultStatus = 0;
  int m_faultCount = 0;
};

}  // namespace sim
