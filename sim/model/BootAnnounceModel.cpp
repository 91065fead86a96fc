#include "sim/model/BootAnnounceModel.h"

#include "sim/model/ModelRegistry.h"

namespace sim {
namespace {

constexpr uint8_t kFrameStart = 0x68;
constexpr uint8_t kFrameStop = 0x16;
constexpr size_t kMaxFrame = 300;
constexpr uint8_t kSync = 0x80;
constexpr size_t kMaxPacket = 260;  // core command plus header and checksum

}  // namespace

std::vector<uint8_t> BootAnnounceModel::Announcement(const InstrumentProfile& profile) {
  std::vector<uint8_t> out;
  uint8_t fill = 0, bodyStart = 0, bodyEnd = 0;
  switch (profile.bootLoader) {
    case BootAnnounce::FrameH00h:
      fill = 0x30;
      bodyStart = 0x1D;
      bodyEnd = 0x0C;
      break;
    case BootAnnounce::FrameH11h:
      fill = 0x31;
      bodyStart = 0x1E;
      bodyEnd = 0x0A;
      break;
    case BootAnnounce::FrameHcc:
      fill = 0x2C;
      bodyStart = 0x19;
      bodyEnd = 0x0C;
      break;
    case BootAnnounce::Byte90:
      return {0x90};
    case BootAnnounce::LetterQ:
      return {'Q'};
    case BootAnnounce::None:
      return {};
  }
  out = {kFrameStart, fill, fill, kFrameStart, bodyStart};
  out.insert(out.end(), profile.bootBody.begin(), profile.bootBody.end());
  out.push_back(bodyEnd);
  out.push_back(kFrameStop);
  return out;
}

void BootAnnounceModel::Announce() {
  Emit(Announcement(m_context.profile), uint64_t{m_context.profile.replyDelayMs} * 1000);
  ++m_announcements;
  const std::string& loader = m_context.profile.loader;
  if (loader.empty()) return;
  if (auto next = m_context.registry.Create(loader, m_context)) {
    Note("hand-over to " + loader + " after the announcement");
    HandOverTo(std::move(next));
  } else {
    Note("no model '" + loader + "' to hand over to; announcing only");
  }
}

void BootAnnounceModel::OnPortOpen(bool /*open*/, uint64_t /*nowMicros*/) {
  m_frame.clear();
  m_packet.clear();
}

void BootAnnounceModel::Receive(const ModelInput& input, uint64_t nowMicros) {
  const bool stale = nowMicros - m_lastByteMicros > kPacketTimeoutMicros;
  m_lastByteMicros = nowMicros;
  if (!input.IntactAt(Format())) {
    // A damaged character spoils what was being received.
    m_frame.clear();
    m_packet.clear();
    return;
  }
  switch (m_context.profile.bootLoader) {
    case BootAnnounce::FrameH00h:
    case BootAnnounce::FrameH11h:
    case BootAnnounce::FrameHcc:
      if (stale) m_frame.clear();
      ReceiveFrameByte(input.byte);
      break;
    case BootAnnounce::Byte90:
      if (input.byte == kSync) Announce();
      break;
    case BootAnnounce::LetterQ:
      if (stale) m_packet.clear();
      ReceiveQLoaderByte(input.byte);
      break;
    case BootAnnounce::None:
      break;
  }
}

void BootAnnounceModel::ReceiveFrameByte(uint8_t byte) {
  if (m_frame.empty() && byte != kFrameStart) return;
  m_frame.push_back(byte);
  const size_t n = m_frame.size();
  // Header 68 L L 68: both length bytes equal, the start byte repeated.
  if ((n == 3 && m_frame[2] != m_frame[1]) || (n == 4 && m_frame[3] != kFrameStart) || n > kMaxFrame) {
    m_frame.clear();
    if (byte == kFrameStart) m_frame.push_back(byte);
    return;
  }
  if (n > 5 && byte == kFrameStop) {  // at least one byte between header and stop
    m_frame.clear();
    Announce();
  }
}

void BootAnnounceModel::ReceiveQLoaderByte(uint8_t byte) {
  if (m_packet.empty()) {
    if (byte == kSync)
      m_packet.push_back(byte);
    else
      Announce();
    return;
  }
  m_packet.push_back(byte);
  if (m_packet.size() < 3) return;
  const size_t length = m_packet[1] | (size_t{m_packet[2]} << 8);
  if (length == 0 || length + 5 > kMaxPacket || m_packet.size() == length + 5) m_packet.clear();
}

void BootAnnounceModel::Dump(std::ostream& out) const {
  out << "boot-loader announcements: " << m_announcements << "\n";
}

}  // namespace sim
