#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bsl/BslModelBase.h"

namespace sim {

// The ROM bootstrap loader of an MSP430 of the 1xx, 2xx or 4xx family.
//
// 9600 baud 8E1 at entry. The host sends the sync byte 0x80, the loader
// answers 0x90 (DATA_ACK) and takes one frame
//   80 CMD L1 L2 AL AH LL LH D... CKL CKH      (L1 = L2 = bytes from AL on)
// whose checksum is the inverted XOR of its 16-bit little-endian words. It
// answers 0x90, 0xA0 (DATA_NAK) or, for a read, a data frame 80 00 L L D...
// CKL CKH without an ACK. The frame may follow its sync at any time; a gap
// of more than 50 ms inside a frame drops it (the loader waits for a sync).
//
// Strict on purpose: every command but the password, mass erase and the
// version query needs the password, which is the vector table 0xFFE0..0xFFFF
// of the flash; a wrong password on a 2xx erases the main flash. Flash cells
// can only be cleared by a write; writing a cell that is not erased is
// NAKed. Loader 1.10 sends flash contents wrongly in a TX data block unless
// the patch in RAM was started (Load PC into RAM) just before it.
class RomBslModel final : public BslModelBase {
 public:
  struct Command {
    uint8_t command = 0;
    uint32_t address = 0;  // AL AH, plus the memory offset where it applies
    uint16_t length = 0;   // LL LH
    uint32_t baud = 0;     // the rate the frame came at
    bool acknowledged = false;
  };

  static constexpr uint8_t kAck = 0x90;
  static constexpr uint8_t kNak = 0xA0;
  static constexpr uint32_t kRestartAddress = 0x0C22;  // the loader's own entry in ROM
  static constexpr uint32_t kRamStart = 0x0200;
  static constexpr uint32_t kRamEnd = 0x0A00;
  // The loader's own times (flash timing generator of the 2xx data sheets).
  static constexpr uint64_t kSegmentEraseMicros = 20000;
  static constexpr uint64_t kMassEraseMicros = 200000;
  static constexpr uint64_t kWriteMicrosPerByte = 40;

  explicit RomBslModel(ModelContext& context);

  std::string_view Name() const override { return "rom-bsl"; }
  void Receive(const ModelInput& input, uint64_t nowMicros) override;
  void OnPortOpen(bool open, uint64_t nowMicros) override;
  void Dump(std::ostream& out) const override;
  void RestartLoader() override;

  const std::vector<Command>& Commands() const { return m_commands; }
  uint32_t SyncCount() const { return m_syncs; }
  bool Unlocked() const { return m_unlocked; }
  uint32_t PatchRuns() const { return m_patchRuns; }

  // Faults for tests: NAK the `count` next frames with this command byte.
  void NakNext(uint8_t command, int count) {
    m_nakCommand = command;
    m_nakCount = count;
  }

 private:
  enum class State { WaitSync, InFrame };

  void Execute(uint64_t nowMicros);
  void Answer(uint8_t byte, uint64_t delayMicros) { BslModelBase::Answer({byte}, delayMicros); }
  void SendData(const std::vector<uint8_t>& data);
  uint8_t ReadByte(uint32_t address) const;
  void EraseMain();
  bool InRam(uint32_t address, size_t count) const {
    return address >= kRamStart && address + count <= kRamEnd;
  }

  State m_state = State::WaitSync;
  std::vector<uint8_t> m_frame;
  uint64_t m_lastByte = 0;
  bool m_unlocked = false;
  uint32_t m_offset = 0;  // 64 KiB page for reads, writes and erases
  bool m_patchArmed = false;
  std::array<uint8_t, kRamEnd - kRamStart> m_ram{};
  std::array<bool, kRamEnd - kRamStart> m_ramWritten{};
  std::array<uint8_t, 16> m_romInfo{};  // 0x0FF0..0x0FFF
  uint32_t m_syncs = 0;
  uint32_t m_patchRuns = 0;
  std::vector<Command> m_commands;

  uint8_t m_nakCommand = 0;
  int m_nakCount = 0;
};

}  // namespace sim
