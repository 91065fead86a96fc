#pragma once

#include <cstdint>
#include <vector>

#include "sim/model/InstrumentModel.h"
#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelContext.h"

namespace sim {

// An instrument that sits in its boot loader and only makes itself known;
// the loader protocol itself belongs to the model a profile names with
// `loader`, which takes the line right after the first announcement.
//  - frame h00h / h11h / h,,h: a wake-up frame (68 L L 68 ... 16) is answered
//    with marker, body-start byte, body, body-end byte, 16;
//  - 0x90: the sync byte 0x80 is answered with 0x90 (DATA_ACK);
//  - Q: a packet that does not start with 0x80 gets "Q" (0x51, header
//    error); a started packet that stays unfinished for 500 ms is dropped.
// Complete loader packets are left unanswered here.
class BootAnnounceModel final : public InstrumentModel {
 public:
  static constexpr uint64_t kPacketTimeoutMicros = 500'000;

  explicit BootAnnounceModel(ModelContext& context) : m_context(context) {}

  std::string_view Name() const override { return "boot-announce"; }
  platform::sim::LineFormat Format() const override { return m_context.profile.line; }
  void Receive(const ModelInput& input, uint64_t nowMicros) override;
  void OnPortOpen(bool open, uint64_t nowMicros) override;
  void Dump(std::ostream& out) const override;

  // The announcement as it goes on the line.
  static std::vector<uint8_t> Announcement(const InstrumentProfile& profile);
  int Announcements() const { return m_announcements; }

 private:
  void Announce();
  void ReceiveFrameByte(uint8_t byte);
  void ReceiveQLoaderByte(uint8_t byte);

  ModelContext& m_context;
  std::vector<uint8_t> m_frame;   // a wake-up frame being received
  std::vector<uint8_t> m_packet;  // a loader packet being received ("Q" loader)
  uint64_t m_lastByteMicros = 0;
  int m_announcements = 0;
};

}  // namespace sim
