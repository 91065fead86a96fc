#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/model/BslSettings.h"
#include "sim/model/InstrumentModel.h"
#include "sim/model/ModelContext.h"

namespace sim {

// What the two MSP430 loader models share: the line at 8E1 from 9600 baud,
// the rate change once its ACK is out, the start of the firmware by Load PC,
// and the faults a test plants.
class BslModelBase : public InstrumentModel {
 public:
  // The loader's turn-around for every answer.
  static constexpr uint64_t kAnswerMicros = 200;

  platform::sim::LineFormat Format() const override;
  // A baud-rate change takes effect once its ACK is out.
  void Tick(uint64_t nowMicros) override;
  std::optional<uint64_t> NextTick() const override { return m_switchAt; }

  bool Started() const { return m_started; }
  uint32_t StartAddress() const { return m_startAddress; }

  // Faults for tests: answer nothing at all from now on; or take the next
  // `count` frames with `command` at `address` in without carrying them out
  // or answering them (a loader that missed them).
  void GoSilent() { m_silent = true; }
  // The instrument switched off and on into its loader (as the abort text
  // asks the user to): 9600 baud again, locked, nothing of a frame kept.
  // The flash keeps what it holds.
  virtual void RestartLoader();
  void IgnoreAt(uint8_t command, uint32_t address, int count = 1) { m_ignore = {command, address, count}; }
  // Flip a bit in what a read of this address returns.
  void CorruptReadAt(uint32_t address) { m_corruptAt = address; }

 protected:
  explicit BslModelBase(ModelContext& context);

  void ScheduleSwitch(uint32_t baud, uint64_t nowMicros);
  // Emits unless the loader has gone silent.
  void Answer(std::vector<uint8_t> bytes, uint64_t delayMicros);
  // Whether this frame is one to ignore (IgnoreAt); counts it.
  bool Ignores(uint8_t command, uint32_t address);
  // Load PC into the firmware: the instrument's ASCII side takes the line.
  void StartFirmware(uint32_t address);
  // `value` at `address` as a read of the loader returns it (CorruptReadAt).
  uint8_t AsRead(uint32_t address, uint8_t value) const;
  // The password is the 32 bytes of the vector table, 0xFFE0..0xFFFF.
  bool PasswordMatches(const uint8_t* password, size_t count) const;

  ModelContext& m_context;
  const BslSettings& m_settings;
  uint32_t m_baud = 9600;
  bool m_started = false;
  bool m_silent = false;

 private:
  struct Ignore {
    uint8_t command = 0;
    uint32_t address = 0;
    int count = 0;
  };
  uint32_t m_nextBaud = 0;
  std::optional<uint64_t> m_switchAt;
  uint32_t m_startAddress = 0;
  Ignore m_ignore;
  uint32_t m_corruptAt = 0xFFFFFFFF;
};

}  // namespace sim
