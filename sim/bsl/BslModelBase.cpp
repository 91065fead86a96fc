#include "sim/bsl/BslModelBase.h"

#include <cstdio>
#include <utility>

#include "sim/model/FlashMemory.h"
#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelRegistry.h"

namespace sim {

BslModelBase::BslModelBase(ModelContext& context) : m_context(context), m_settings(context.profile.bsl) {}

platform::sim::LineFormat BslModelBase::Format() const {
  return platform::sim::LineFormat{m_baud, 8, platform::sim::Parity::Even, platform::sim::StopBits::One};
}

void BslModelBase::Tick(uint64_t nowMicros) {
  if (m_switchAt && nowMicros >= *m_switchAt) {
    m_baud = m_nextBaud;
    m_switchAt.reset();
  }
}

void BslModelBase::RestartLoader() {
  m_baud = 9600;
  m_switchAt.reset();
  m_silent = false;
  Note("loader restarted at 9600");
}

void BslModelBase::ScheduleSwitch(uint32_t baud, uint64_t nowMicros) {
  // The ACK leaves at the old rate; the line switches 10 ms after it.
  constexpr uint64_t kSwitchAfterAckMicros = 10 * 1000;
  m_nextBaud = baud;
  m_switchAt = nowMicros + kAnswerMicros + Format().CharacterMicros() + kSwitchAfterAckMicros;
}

void BslModelBase::Answer(std::vector<uint8_t> bytes, uint64_t delayMicros) {
  if (!m_silent) Emit(std::move(bytes), delayMicros);
}

bool BslModelBase::Ignores(uint8_t command, uint32_t address) {
  if (m_ignore.count <= 0 || m_ignore.command != command || m_ignore.address != address) return false;
  --m_ignore.count;
  Note("loader missed a frame");
  return true;
}

void BslModelBase::StartFirmware(uint32_t address) {
  m_started = true;
  m_startAddress = address;
  char text[48];
  std::snprintf(text, sizeof text, "firmware started at 0x%04X", static_cast<unsigned>(address));
  Note(text);
  if (auto next = m_context.registry.Create(ModelRegistry::kAscii, m_context)) HandOverTo(std::move(next));
}

uint8_t BslModelBase::AsRead(uint32_t address, uint8_t value) const {
  return address == m_corruptAt ? static_cast<uint8_t>(value ^ 0x01) : value;
}

bool BslModelBase::PasswordMatches(const uint8_t* password, size_t count) const {
  if (count != 32) return false;
  for (uint32_t i = 0; i < 32; ++i) {
    if (password[i] != m_context.flash.At(0xFFE0 + i)) return false;
  }
  return true;
}

}  // namespace sim
