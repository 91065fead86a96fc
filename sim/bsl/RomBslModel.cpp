#include "sim/bsl/RomBslModel.h"

#include <cstdio>
#include <utility>

#include "sim/model/FlashMemory.h"
#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelRegistry.h"

namespace sim {
namespace {

constexpr uint8_t kHeader = 0x80;
constexpr size_t kMaxPayload = 250;
constexpr uint64_t kFrameGapMicros = 50000;

// Inverted XOR of the little-endian words of bytes[0, count).
uint16_t Checksum(const std::vector<uint8_t>& bytes, size_t count) {
  uint8_t low = 0, high = 0;
  for (size_t i = 0; i < count; ++i) (i % 2 == 0 ? low : high) ^= bytes[i];
  return static_cast<uint16_t>(~(low | (high << 8)));
}

}  // namespace

RomBslModel::RomBslModel(ModelContext& context) : BslModelBase(context) {
  // Taking over from the 0x90 announcement, the sync has just been answered.
  if (context.profile.bootLoader == BootAnnounce::Byte90) m_state = State::InFrame;
  m_romInfo.fill(0xFF);
  m_romInfo[0] = static_cast<uint8_t>(m_settings.chipId >> 8);
  m_romInfo[1] = static_cast<uint8_t>(m_settings.chipId);
  m_romInfo[10] = m_settings.versionHigh;
  m_romInfo[11] = m_settings.versionLow;
}

void RomBslModel::OnPortOpen(bool /*open*/, uint64_t /*nowMicros*/) {
  m_state = State::WaitSync;
  m_frame.clear();
}

void RomBslModel::SendData(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> frame{kHeader, 0x00, static_cast<uint8_t>(data.size()),
                             static_cast<uint8_t>(data.size())};
  frame.insert(frame.end(), data.begin(), data.end());
  const uint16_t sum = Checksum(frame, frame.size());
  frame.push_back(static_cast<uint8_t>(sum));
  frame.push_back(static_cast<uint8_t>(sum >> 8));
  BslModelBase::Answer(std::move(frame), kAnswerMicros);
}

void RomBslModel::RestartLoader() {
  BslModelBase::RestartLoader();
  m_state = State::WaitSync;
  m_frame.clear();
  m_unlocked = false;
  m_offset = 0;
  m_patchArmed = false;
  m_ramWritten.fill(false);  // RAM does not survive the power-down
}

void RomBslModel::Receive(const ModelInput& input, uint64_t nowMicros) {
  if (m_started) return;
  const bool stale = nowMicros - m_lastByte > kFrameGapMicros;
  m_lastByte = nowMicros;
  if (!input.IntactAt(Format())) {
    m_state = State::WaitSync;
    m_frame.clear();
    return;
  }
  // The header may come any time after the sync (the host may wait); a
  // frame that stops half-way is dropped at the next byte.
  if (m_state == State::InFrame && !m_frame.empty() && stale) {
    m_state = State::WaitSync;
    m_frame.clear();
  }
  const uint8_t byte = input.byte;
  if (m_state == State::WaitSync) {
    if (byte == kHeader) {
      ++m_syncs;
      Answer(kAck, kAnswerMicros);
      m_state = State::InFrame;
      m_frame.clear();
    }
    return;
  }
  m_frame.push_back(byte);
  const size_t n = m_frame.size();
  if (n == 1 && byte != kHeader) {
    Answer(kNak, kAnswerMicros);
    m_state = State::WaitSync;
    return;
  }
  if (n == 4 && (m_frame[2] != m_frame[3] || m_frame[2] < 4 || m_frame[2] > kMaxPayload || m_frame[2] % 2)) {
    Answer(kNak, kAnswerMicros);
    m_state = State::WaitSync;
    return;
  }
  if (n >= 4 && n == size_t{m_frame[2]} + 6u) {
    m_state = State::WaitSync;
    Execute(nowMicros);
  }
}

uint8_t RomBslModel::ReadByte(uint32_t address) const {
  uint8_t value = 0xFF;
  if (address >= 0x0FF0 && address <= 0x0FFF)
    value = m_romInfo[address - 0x0FF0];
  else if (InRam(address, 1))
    value = m_ram[address - kRamStart];
  else
    value = m_context.flash.At(address);
  return AsRead(address, value);
}

void RomBslModel::EraseMain() {
  for (const auto& region : m_context.flash.Regions()) {
    if (region.start >= 0x1100) m_context.flash.EraseRegion(region.start);
  }
}

void RomBslModel::Execute(uint64_t nowMicros) {
  const std::vector<uint8_t>& f = m_frame;
  const size_t payload = f[2];
  const uint8_t cmd = f[1];
  const uint16_t al = static_cast<uint16_t>(f[4] | (f[5] << 8));
  const uint16_t ll = static_cast<uint16_t>(f[6] | (f[7] << 8));
  Command record{cmd, al, ll, m_baud, false};
  const uint16_t sum = Checksum(f, payload + 4);
  const bool sumOk =
      f[payload + 4] == static_cast<uint8_t>(sum) && f[payload + 5] == static_cast<uint8_t>(sum >> 8);
  const bool patchRunning = std::exchange(m_patchArmed, false);

  auto ack = [&](uint64_t delay = kAnswerMicros) {
    record.acknowledged = true;
    Answer(kAck, delay);
  };
  auto nak = [&] { Answer(kNak, kAnswerMicros); };
  auto done = [&] { m_commands.push_back(record); };

  if (!sumOk) {
    nak();
    done();
    return;
  }
  if (Ignores(cmd, al + (m_offset << 16))) {
    done();
    return;
  }
  if (m_nakCount > 0 && cmd == m_nakCommand) {
    --m_nakCount;
    nak();
    done();
    return;
  }
  const bool needsPassword = cmd != 0x10 && cmd != 0x18 && cmd != 0x1E;
  if (needsPassword && !m_unlocked) {
    nak();
    done();
    return;
  }
  const uint32_t target = al + (m_offset << 16);
  const uint8_t* data = f.data() + 8;
  const size_t dataCount = payload - 4;
  switch (cmd) {
    case 0x10: {  // RX password
      if (PasswordMatches(data, dataCount)) {
        m_unlocked = true;
        ack();
      } else {
        m_unlocked = false;
        if (m_settings.family == BslSettings::Family::F2xx) {
          EraseMain();
          Note("wrong password: main flash mass-erased");
        }
        nak();
      }
      break;
    }
    case 0x12: {  // RX data block
      record.address = target;
      if (ll != dataCount || al % 2 || ll % 2) {
        nak();
      } else if (InRam(target, dataCount)) {
        for (size_t i = 0; i < dataCount; ++i) {
          m_ram[target - kRamStart + i] = data[i];
          m_ramWritten[target - kRamStart + i] = true;
        }
        ack();
      } else {
        const auto result = m_context.flash.Write(target, data, dataCount);
        if (result == FlashMemory::Result::Ok)
          ack(kAnswerMicros + dataCount * kWriteMicrosPerByte);
        else
          nak();
      }
      break;
    }
    case 0x14: {  // TX data block
      record.address = target;
      if (ll == 0 || ll > kMaxPayload) {
        nak();
        break;
      }
      std::vector<uint8_t> out;
      const uint32_t from = (al >= 0x0FF0 && al <= 0x0FFF) || InRam(al, 1) ? al : target;
      for (uint32_t i = 0; i < ll; ++i) out.push_back(ReadByte(from + i));
      // The unpatched 1.10 loader sends flash contents wrongly.
      if (m_settings.VersionHundredths() == 110 && !patchRunning && from == target && !InRam(target, 1) &&
          !(al >= 0x0FF0 && al <= 0x0FFF)) {
        for (auto& b : out) b ^= 0x55;
      }
      record.acknowledged = true;
      SendData(out);
      break;
    }
    case 0x16:  // erase segment
      record.address = target;
      if (ll != 0xA502) {
        nak();
      } else {
        // The loader does not check the address: on RAM or a gap the dummy
        // write of the erase cycle changes nothing, and it answers ACK.
        m_context.flash.EraseSegment(target);
        ack(kSegmentEraseMicros);
      }
      break;
    case 0x18:  // mass erase
      if (ll != 0xA506) {
        nak();
      } else {
        EraseMain();
        ack(kMassEraseMicros);
      }
      break;
    case 0x1A:  // load PC
      if (al == kRestartAddress) {
        m_unlocked = false;
        m_offset = 0;
        ack();
      } else if (InRam(al, 2) && m_ramWritten[al - kRamStart]) {
        ++m_patchRuns;
        m_patchArmed = true;
        ack();
      } else {
        ack();
        StartFirmware(al);
      }
      break;
    case 0x1C:  // erase check
      if (m_context.flash.IsErased(target, ll))
        ack();
      else
        nak();
      break;
    case 0x1E:  // TX BSL version
      if (m_settings.VersionHundredths() < 150 || m_settings.versionHigh >= 2) {
        nak();
      } else {
        record.acknowledged = true;
        SendData(std::vector<uint8_t>(m_romInfo.begin(), m_romInfo.end()));
      }
      break;
    case 0x20: {  // change baud rate: D1 D2 D3 in AL AH LL
      static constexpr uint32_t kRates[] = {9600, 19200, 38400};
      uint16_t expected = 0;
      switch (m_settings.family) {
        case BslSettings::Family::F1xx:
          expected = 0x87E0;
          break;
        case BslSettings::Family::F2xx:
          expected = 0x8C80;
          break;
        default:
          expected = 0xC800;
          break;
      }
      const uint8_t d3 = f[6];
      if (m_settings.VersionHundredths() < 160 || al != expected || d3 > 2) {
        nak();
      } else {
        record.baud = kRates[d3];
        ack();
        ScheduleSwitch(kRates[d3], nowMicros);
      }
      break;
    }
    case 0x21:  // set memory offset; the page is LL (the tool fills LH)
      if (f[6] > 1) {
        nak();
      } else {
        m_offset = f[6];
        record.address = m_offset;
        ack();
      }
      break;
    default:
      nak();
      break;
  }
  done();
}

void RomBslModel::Dump(std::ostream& out) const {
  out << "loader frames: " << m_commands.size() << ", syncs: " << m_syncs
      << (m_started ? ", firmware started" : "") << "\n";
}

}  // namespace sim
