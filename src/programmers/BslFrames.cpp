#include "programmers/BslFrames.h"

namespace programmers {
namespace {

// The bytes of a frame around its payload: ROM header, command, two
// lengths and checksum; 5xx header, two lengths and CRC.
constexpr size_t kRomFrameExtra = 6;
constexpr size_t kBsl5xxFrameExtra = 5;
// No 5xx frame is longer: a length beyond it is noise.
constexpr size_t kLongest5xxFrame = 1000;

}  // namespace

uint16_t RomBslChecksum(const uint8_t* bytes, size_t count) {
  uint16_t sum = 0;
  for (size_t i = 0; i < count; i += 2) {
    const uint16_t high = i + 1 < count ? bytes[i + 1] : 0;
    sum ^= static_cast<uint16_t>(bytes[i] | (high << 8));
  }
  return static_cast<uint16_t>(sum ^ 0xFFFF);
}

std::vector<uint8_t> RomBslFrame(RomBslCode command, const std::vector<uint8_t>& payload) {
  const auto length = static_cast<uint8_t>(payload.size());
  std::vector<uint8_t> frame{Byte(RomBslCode::kHeader), Byte(command), length, length};
  frame.insert(frame.end(), payload.begin(), payload.end());
  const uint16_t sum = RomBslChecksum(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(sum));
  frame.push_back(static_cast<uint8_t>(sum >> 8));
  return frame;
}

uint16_t Bsl5xxCrc(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    uint16_t x = static_cast<uint16_t>((crc >> 8) ^ bytes[i]);
    x = static_cast<uint16_t>(x ^ (x >> 4));
    crc = static_cast<uint16_t>((crc << 8) ^ (x << 12) ^ (x << 5) ^ x);
  }
  return crc;
}

std::vector<uint8_t> Bsl5xxFrame(const std::vector<uint8_t>& core) {
  std::vector<uint8_t> frame{Byte(Bsl5xxCode::kHeader), static_cast<uint8_t>(core.size()),
                             static_cast<uint8_t>(core.size() >> 8)};
  frame.insert(frame.end(), core.begin(), core.end());
  const uint16_t crc = Bsl5xxCrc(core.data(), core.size());
  frame.push_back(static_cast<uint8_t>(crc));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

}  // namespace programmers

namespace programmers {

std::vector<BslReceipt> ScanRomBsl(std::vector<uint8_t>& buffer) {
  std::vector<BslReceipt> out;
  size_t start = 0;
  while (start < buffer.size() && buffer[start] != Byte(RomBslCode::kHeader)) ++start;
  int ack = -1, nak = -1;
  for (size_t i = 0; i < start; ++i) {
    if (buffer[i] == Byte(RomBslCode::kAck)) ack = static_cast<int>(i);
    if (buffer[i] == Byte(RomBslCode::kNak) || buffer[i] == Byte(RomBslCode::kNakOther))
      nak = static_cast<int>(i);
  }
  // Everything before the frame start is looked at once; the rest is noise.
  buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
  if (buffer.size() >= 4) {
    const size_t total = size_t{buffer[2]} + kRomFrameExtra;
    if (buffer.size() >= total) {
      std::vector<uint8_t> frame(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
      buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
      const uint16_t sum = RomBslChecksum(frame.data(), total - 2);
      const bool ok =
          frame[total - 2] == static_cast<uint8_t>(sum) && frame[total - 1] == static_cast<uint8_t>(sum >> 8);
      out.push_back(BslReceipt{ok ? BslReceipt::Kind::Frame : BslReceipt::Kind::BadFrame, std::move(frame)});
    }
  }
  if (ack >= 0) out.push_back(BslReceipt{BslReceipt::Kind::Ack, {}});
  if (nak >= 0 && nak < ack) out.push_back(BslReceipt{BslReceipt::Kind::Nak, {}});
  if (nak >= 0 && ack < 0) out.push_back(BslReceipt{BslReceipt::Kind::Nak, {}});
  return out;
}

std::vector<BslReceipt> ScanBsl5xx(std::vector<uint8_t>& buffer) {
  std::vector<BslReceipt> out;
  for (;;) {
    size_t start = 0;
    while (start < buffer.size() && buffer[start] != Byte(Bsl5xxCode::kHeader)) ++start;
    int ack = -1, nak = -1;
    for (size_t i = 0; i < start; ++i) {
      if (buffer[i] == Byte(Bsl5xxCode::kAck)) ack = static_cast<int>(i);
      if (buffer[i] & Byte(Bsl5xxCode::kNakBits)) nak = static_cast<int>(i);
    }
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
    bool handled = false;
    if (ack >= 0) out.push_back(BslReceipt{BslReceipt::Kind::Ack, {}});
    if (nak >= 0) out.push_back(BslReceipt{BslReceipt::Kind::Nak, {}});
    handled = ack >= 0 || nak >= 0;
    if (buffer.size() >= 3) {
      const size_t length = buffer[1] | (size_t{buffer[2]} << 8);
      const size_t total = length + kBsl5xxFrameExtra;
      if (buffer.size() >= total) {
        std::vector<uint8_t> frame(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
        const uint16_t crc = Bsl5xxCrc(frame.data() + 3, length);
        const bool ok = length > 0 && frame[total - 2] == static_cast<uint8_t>(crc) &&
                        frame[total - 1] == static_cast<uint8_t>(crc >> 8);
        out.push_back(
            BslReceipt{ok ? BslReceipt::Kind::Frame : BslReceipt::Kind::BadFrame, std::move(frame)});
        handled = true;
      } else if (total > kLongest5xxFrame) {
        // A length no frame of this loader has: drop the start byte.
        buffer.erase(buffer.begin());
        handled = true;
      }
    }
    if (!handled || buffer.empty()) return out;
  }
}

}  // namespace programmers
