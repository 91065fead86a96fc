#include "sim/bsl/Bsl5xxModel.h"

#include <cstdio>

#include "sim/model/FlashMemory.h"
#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelRegistry.h"

namespace sim {
namespace {

constexpr uint8_t kHeader = 0x80;
constexpr size_t kMaxCore = 260;
constexpr uint64_t kPacketGapMicros = 50000;
constexpr uint64_t kSegmentEraseMicros = 25000;
constexpr uint64_t kMassEraseMicros = 250000;
constexpr uint64_t kWriteMicrosPerByte = 40;

uint16_t Crc(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= static_cast<uint16_t>(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

}  // namespace

Bsl5xxModel::Bsl5xxModel(ModelContext& context) : BslModelBase(context) {}

void Bsl5xxModel::OnPortOpen(bool /*open*/, uint64_t /*nowMicros*/) {
  m_packet.clear();
}

void Bsl5xxModel::Frame(const std::vector<uint8_t>& core, uint64_t delayMicros) {
  std::vector<uint8_t> frame{kHeader, static_cast<uint8_t>(core.size()),
                             static_cast<uint8_t>(core.size() >> 8)};
  frame.insert(frame.end(), core.begin(), core.end());
  const uint16_t crc = Crc(core.data(), core.size());
  frame.push_back(static_cast<uint8_t>(crc));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  Answer(std::move(frame), delayMicros);
}

void Bsl5xxModel::Message(uint8_t status, uint64_t delayMicros) {
  m_current.status = status;
  Byte(0x00, kAnswerMicros);
  Frame({0x3B, status}, delayMicros);
}

void Bsl5xxModel::RestartLoader() {
  BslModelBase::RestartLoader();
  m_packet.clear();
  m_unlocked = false;
}

void Bsl5xxModel::Receive(const ModelInput& input, uint64_t nowMicros) {
  if (m_started) return;
  m_now = nowMicros;
  const bool stale = nowMicros - m_lastByte > kPacketGapMicros;
  m_lastByte = nowMicros;
  if (stale) m_packet.clear();
  if (!input.IntactAt(Format())) {
    m_packet.clear();
    return;
  }
  if (m_packet.empty() && input.byte != kHeader) {
    Byte(0x51, kAnswerMicros);  // header error
    return;
  }
  m_packet.push_back(input.byte);
  if (m_packet.size() < 3) return;
  const size_t length = m_packet[1] | (size_t{m_packet[2]} << 8);
  if (length == 0) {
    Byte(0x53, kAnswerMicros);
    m_packet.clear();
    return;
  }
  if (length > kMaxCore) {
    Byte(0x54, kAnswerMicros);
    m_packet.clear();
    return;
  }
  if (m_packet.size() < length + 5) return;
  const uint16_t crc = Crc(m_packet.data() + 3, length);
  if (m_packet[3 + length] != static_cast<uint8_t>(crc) ||
      m_packet[4 + length] != static_cast<uint8_t>(crc >> 8)) {
    Byte(0x52, kAnswerMicros);
  } else {
    Execute();
  }
  m_packet.clear();
}

uint8_t Bsl5xxModel::ReadByte(uint32_t address) const {
  if (address >= kDeviceIdAddress && address < kDeviceIdAddress + 2)
    return static_cast<uint8_t>(address == kDeviceIdAddress ? m_settings.chipId >> 8 : m_settings.chipId);
  return AsRead(address, m_context.flash.At(address));
}

void Bsl5xxModel::MassErase() {
  for (const auto& region : m_context.flash.Regions()) {
    if (region.start >= 0x5C00 || region.start < 0x1800) m_context.flash.EraseRegion(region.start);
  }
}

void Bsl5xxModel::Execute() {
  const size_t length = m_packet[1] | (size_t{m_packet[2]} << 8);
  const uint8_t* core = m_packet.data() + 3;
  const uint8_t cmd = core[0];
  const auto address = [&] { return uint32_t{core[1]} | uint32_t{core[2]} << 8 | uint32_t{core[3]} << 16; };
  const bool addressed = cmd == 0x10 || cmd == 0x12 || cmd == 0x17 || cmd == 0x18;
  m_current = Command{cmd, addressed && length >= 4 ? address() : 0, 0, m_baud, 0xFF};
  if (Ignores(cmd, m_current.address)) {
    m_commands.push_back(m_current);
    return;
  }

  if (m_faultCount > 0 && cmd == m_faultCommand) {
    --m_faultCount;
    Message(m_faultStatus, kAnswerMicros);
    m_commands.push_back(m_current);
    return;
  }
  const bool needsPassword = cmd != 0x11 && cmd != 0x15;
  if (needsPassword && !m_unlocked) {
    Message(0x04, kAnswerMicros);
    m_commands.push_back(m_current);
    return;
  }
  switch (cmd) {
    case 0x11: {  // RX password
      if (PasswordMatches(core + 1, length - 1)) {
        m_unlocked = true;
        Message(0x00, kAnswerMicros);
      } else {
        MassErase();
        Note("wrong password: flash mass-erased");
        Message(0x05, kMassEraseMicros);
      }
      break;
    }
    case 0x10:  // RX data block
      if (length < 4) {
        Message(0x08, kAnswerMicros);
        break;
      }
      m_current.address = address();
      m_current.length = static_cast<uint32_t>(length - 4);
      if (m_context.flash.Write(m_current.address, core + 4, length - 4) == FlashMemory::Result::Ok)
        Message(0x00, kAnswerMicros + (length - 4) * kWriteMicrosPerByte);
      else
        Message(0x01, kAnswerMicros);
      break;
    case 0x12:  // erase segment
      if (length != 4) {
        Message(0x08, kAnswerMicros);
        break;
      }
      m_current.address = address();
      // The loader's own area below 0x1800 cannot be erased this way; an
      // address without flash (RAM, a gap) takes the dummy write harmlessly.
      if (m_current.address < 0x1800) {
        Message(0x02, kAnswerMicros);
      } else {
        m_context.flash.EraseSegment(m_current.address);
        Message(0x00, kSegmentEraseMicros);
      }
      break;
    case 0x15:  // mass erase
      MassErase();
      Message(0x00, kMassEraseMicros);
      break;
    case 0x17: {  // load PC: ACK only, then the firmware runs
      if (length != 4) {
        Message(0x08, kAnswerMicros);
        break;
      }
      m_current.address = address();
      Byte(0x00, kAnswerMicros);
      StartFirmware(m_current.address);
      break;
    }
    case 0x18: {  // TX data block
      if (length != 6) {
        Message(0x08, kAnswerMicros);
        break;
      }
      m_current.address = address();
      m_current.length = core[4] | (uint32_t{core[5]} << 8);
      if (m_current.length == 0 || m_current.length > 250) {
        Message(0x08, kAnswerMicros);
        break;
      }
      std::vector<uint8_t> out{0x3A};
      for (uint32_t i = 0; i < m_current.length; ++i) out.push_back(ReadByte(m_current.address + i));
      Byte(0x00, kAnswerMicros);
      Frame(out, kAnswerMicros);
      break;
    }
    case 0x19:  // TX BSL version: vendor, interpreter, API, peripheral
      Byte(0x00, kAnswerMicros);
      Frame({0x3A, 0x00, 0x04, 0x34, 0x50}, kAnswerMicros);
      break;
    case 0x52: {  // change baud rate: ACK only
      static constexpr uint32_t kRates[] = {9600, 19200, 38400, 57600, 115200};
      if (length != 2 || core[1] < 2 || core[1] > 6) {
        Byte(0x56, kAnswerMicros);
        break;
      }
      m_current.baud = kRates[core[1] - 2];
      Byte(0x00, kAnswerMicros);
      ScheduleSwitch(m_current.baud, m_now);
      break;
    }
    default:
      Message(0x07, kAnswerMicros);
      break;
  }
  m_commands.push_back(m_current);
}

void Bsl5xxModel::Dump(std::ostream& out) const {
  out << "loader packets: " << m_commands.size() << (m_started ? ", firmware started" : "") << "\n";
}

}  // namespace sim
