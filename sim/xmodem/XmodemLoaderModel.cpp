#include "sim/xmodem/XmodemLoaderModel.h"

#include <array>
#include <cstdio>
#include <utility>

#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelRegistry.h"

namespace sim {
namespace {

constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kCrcMode = 'C';
constexpr uint8_t kStartTransfer = 'u';
constexpr uint8_t kTransferDone = 'c';
constexpr uint8_t kRunFirmware = 'r';
constexpr std::array<uint8_t, 7> kLetterCode{'8', '9', '3', '4', '\r', '\n', '\0'};
constexpr size_t kPacketLength = 133;
constexpr size_t kData = 128;
constexpr size_t kTrailer = 6;
constexpr size_t kMaxLine = 64;

// The commands of the instrument's program that enter this loader, and the
// loader's own.
constexpr int kLoaderCommand = 1250;
constexpr int kSensorBehind = 1256;
constexpr int kAskVersion = 2051;
constexpr int kVersionAnswer = 251;
constexpr int kCrcAnswer = 1205;
constexpr uint32_t kSensorBaud = 9600;
constexpr int kFirstVersionWithCode = 106;  // hundredths

// The loader's CRC-16 (polynomial 0x1021, start 0), bit by bit.
uint16_t Crc16(const uint8_t* bytes, size_t count) {
  uint32_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool in = (bytes[i] >> bit) & 1;
      const bool top = (crc >> 15) & 1;
      crc = (crc << 1) & 0xFFFF;
      if (in != top) crc ^= 0x1021;
    }
  }
  return static_cast<uint16_t>(crc);
}

}  // namespace

XmodemLoaderModel::XmodemLoaderModel(ModelContext& context)
    : m_context(context),
      m_settings(context.profile.xmodem),
      m_wantsCode(context.profile.xmodem.VersionHundredths() >= kFirstVersionWithCode) {}

platform::sim::LineFormat XmodemLoaderModel::Format() const {
  if (m_state == State::kStarted) return m_context.profile.line;
  return platform::sim::LineFormat{m_baud, 8, platform::sim::Parity::None, platform::sim::StopBits::One};
}

uint32_t XmodemLoaderModel::RateOf(const std::string& code) {
  static constexpr std::array<uint32_t, 10> kRates{1200,  2400,  4800,   9600,   19200,
                                                   38400, 57600, 115200, 128000, 256000};
  if (code.size() != 1 || code[0] < '0' || code[0] > '9') return 0;
  return kRates[static_cast<size_t>(code[0] - '0')];
}

void XmodemLoaderModel::TakeHandOver(int command, const std::string& parameter) {
  if (command == kSensorBehind) {
    m_state = State::kSensorProgram;
    m_baud = kSensorBaud;
    Note("the line reaches the sensor's program at 9600");
    return;
  }
  const uint32_t rate = RateOf(parameter);
  m_baud = rate ? rate : kSensorBaud;
  Note("loader listens at " + std::to_string(m_baud));
}

std::optional<uint64_t> XmodemLoaderModel::NextTick() const {
  std::optional<uint64_t> next;
  for (const auto& t : {m_switchAt, m_packetDeadline, m_crcRequestAt, m_startAt, m_idleAt}) {
    if (t && (!next || *t < *next)) next = t;
  }
  return next;
}

void XmodemLoaderModel::Tick(uint64_t now) {
  if (m_switchAt && now >= *m_switchAt) {
    m_baud = m_nextBaud;
    m_switchAt.reset();
  }
  if (m_packetDeadline && now >= *m_packetDeadline) {
    // The rest of the packet never came.
    m_packetDeadline.reset();
    m_packet.clear();
    ++m_naks;
    Answer(std::vector<uint8_t>{kNak});
  }
  if (m_crcRequestAt && now >= *m_crcRequestAt) {
    m_crcRequestAt.reset();
    if (!m_packetSeen && m_state == State::kReceiving && m_crcRequestsLeft-- > 0) RequestImage(now);
  }
  if (m_startAt && now >= *m_startAt) {
    m_startAt.reset();
    m_idleAt.reset();
    m_started = true;
    Note("new firmware started");
    RunProgram();
  }
  if (m_idleAt && now >= *m_idleAt && m_state != State::kStarted) {
    m_idleAt.reset();
    Note("nothing for 20 s: the old program runs again");
    RunProgram();
  }
}

void XmodemLoaderModel::RunProgram() {
  m_state = State::kStarted;
  m_switchAt.reset();
  m_packetDeadline.reset();
  m_crcRequestAt.reset();
  if (auto next = m_context.registry.Create(ModelRegistry::kAscii, m_context)) HandOverTo(std::move(next));
}

void XmodemLoaderModel::Receive(const ModelInput& input, uint64_t now) {
  if (m_state == State::kStarted) return;
  if (!m_startAt) m_idleAt = now + kIdleMicros;
  if (!input.IntactAt(Format())) {
    // Noise: a line it falls into is lost, a packet is NAKed when it is complete.
    m_lineBad = true;
    m_letter = 0;
    if (m_state == State::kReceiving && !m_packet.empty())
      m_packet.push_back(static_cast<uint8_t>(~input.byte));
    if (m_packet.size() == kPacketLength) OnPacket(now);
    return;
  }
  if (m_state == State::kReceiving)
    OnTransferByte(input.byte, now);
  else
    OnCommandByte(input.byte, now);
}

void XmodemLoaderModel::OnCommandByte(uint8_t byte, uint64_t now) {
  if (m_letter != 0) {
    if (byte == kLetterCode[m_codeAt]) {
      if (++m_codeAt == kLetterCode.size()) {
        const uint8_t letter = m_letter;
        m_letter = 0;
        OnLetter(letter, now);
      }
      return;
    }
    Note(std::string("command letter ") + static_cast<char>(m_letter) + " without its code: ignored");
    m_letter = 0;
  }
  if (m_line.empty() && m_state == State::kCommands &&
      (byte == kStartTransfer || byte == kTransferDone || byte == kRunFirmware)) {
    if (m_wantsCode) {
      m_letter = byte;
      m_codeAt = 0;
    } else {
      OnLetter(byte, now);
    }
    return;
  }
  if (byte == '\n') {
    if (!m_lineBad && !m_line.empty() && m_line.back() == '\r') {
      m_line.pop_back();
      OnLine(m_line, now);
    }
    m_line.clear();
    m_lineBad = false;
    return;
  }
  if (byte == 0 && m_line.empty()) return;  // the end of a letter's code sent to a loader without one
  if (m_line.size() >= kMaxLine) {
    m_lineBad = true;
    return;
  }
  m_line.push_back(static_cast<char>(byte));
}

void XmodemLoaderModel::OnLine(const std::string& line, uint64_t now) {
  if (line.size() < 3 || line[0] != 'A' || line[1] != '.') return;
  const size_t hash = line.find('#');
  const std::string number = line.substr(2, hash == std::string::npos ? std::string::npos : hash - 2);
  if (number.empty() || number.size() > 5 || number.find_first_not_of("0123456789") != std::string::npos)
    return;
  const int command = std::stoi(number);
  const std::string parameter = hash == std::string::npos ? std::string() : line.substr(hash + 1);

  const FaultPlan& faults = m_context.profile.faults;
  if (faults.dropAt != 0 && command == faults.dropAt) {
    Note("fault: line dropped at A." + number);
    HangUp();
    return;
  }
  if (faults.silentFrom != 0 && command == faults.silentFrom && !m_silent) {
    Note("fault: silent from A." + number + " on");
    m_silent = true;
  }
  if (faults.garbageBefore != 0 && command == faults.garbageBefore) {
    std::vector<uint8_t> garbage(faults.garbageCount);
    for (auto& b : garbage) {
      m_garbageState = m_garbageState * 1664525u + 1013904223u;
      b = static_cast<uint8_t>(m_garbageState >> 24);
    }
    Answer(std::move(garbage));
  }

  if (command == kLoaderCommand) {
    const uint32_t rate = RateOf(parameter);
    if (rate == 0) return;
    const std::string ack = "A." + number + "!\r\n";
    Answer(ack);
    if (m_state == State::kSensorProgram) {
      m_state = State::kCommands;
      Note("the sensor enters its loader");
    }
    SwitchAfterAnswer(rate, ack.size(), now);
    return;
  }
  if (m_state != State::kCommands) return;
  if (command == kAskVersion)
    Answer("B." + std::to_string(kVersionAnswer) + "#" + m_settings.version + "\r\n");
}

void XmodemLoaderModel::SwitchAfterAnswer(uint32_t baud, size_t answerLength, uint64_t now) {
  if (baud == m_baud && !m_switchAt) return;
  m_nextBaud = baud;
  const auto charMicros = static_cast<uint64_t>(Format().CharacterMicros()) + 1;
  m_switchAt = now + kAnswerMicros + answerLength * charMicros + 1000;
  Note("rate " + std::to_string(baud) + " after the acknowledgement");
}

void XmodemLoaderModel::OnLetter(uint8_t letter, uint64_t now) {
  switch (letter) {
    case kStartTransfer:
      m_image.clear();
      m_ackCounts.clear();
      m_endAcknowledged = false;
      m_reportedCrc.reset();
      m_packet.clear();
      m_packetSeen = false;
      m_state = State::kReceiving;
      m_crcRequestsLeft = kCrcRequests;
      RequestImage(now);
      break;
    case kTransferDone:
      if (m_endAcknowledged) ReportCrc();
      break;
    case kRunFirmware:
      if (!m_endAcknowledged || !ImageValid()) {
        Note("start refused: the image is not whole");
        break;
      }
      m_startAt = now + uint64_t{m_settings.startMs} * 1000;
      break;
    default:
      break;
  }
}

void XmodemLoaderModel::RequestImage(uint64_t now) {
  Answer(std::vector<uint8_t>{kCrcMode});
  m_crcRequestAt = now + kCrcRequestMicros;
}

void XmodemLoaderModel::OnTransferByte(uint8_t byte, uint64_t now) {
  if (m_packet.empty()) {
    if (byte == kEot) {
      m_crcRequestAt.reset();
      Answer(std::vector<uint8_t>{kAck});
      m_endAcknowledged = true;
      m_state = State::kCommands;
      return;
    }
    if (byte != kSoh) return;  // noise between packets
    m_packetSeen = true;
    m_crcRequestAt.reset();
  }
  m_packet.push_back(byte);
  m_packetDeadline = now + kPacketGapMicros;
  if (m_packet.size() == kPacketLength) OnPacket(now);
}

void XmodemLoaderModel::OnPacket(uint64_t /*now*/) {
  m_packetDeadline.reset();
  const std::vector<uint8_t> p = std::exchange(m_packet, {});
  const size_t taken = m_image.size() / kData;
  const uint8_t expected = static_cast<uint8_t>(taken + 1);
  const uint16_t crc = static_cast<uint16_t>(p[3 + kData] << 8 | p[4 + kData]);
  const bool sound = p[0] == kSoh && static_cast<uint8_t>(p[1] ^ p[2]) == 0xFF && crc == Crc16(&p[3], kData);
  if (m_nakAll || !sound) {
    ++m_naks;
    Answer(std::vector<uint8_t>{kNak});
    return;
  }
  if (taken > 0 && p[1] == static_cast<uint8_t>(taken)) {
    // The previous packet again: its ACK was lost.
    ++m_ackCounts[taken - 1];
    Answer(std::vector<uint8_t>{kAck});
    return;
  }
  if (p[1] != expected || m_image.size() + kData > kCapacity) {
    ++m_naks;
    Answer(std::vector<uint8_t>{kNak});
    return;
  }
  m_image.insert(m_image.end(), p.begin() + 3, p.begin() + 3 + kData);
  m_ackCounts.push_back(1);
  ++m_packetsTaken;
  Answer(std::vector<uint8_t>{kAck});
  if (m_silentAfter >= 0 && m_packetsTaken >= m_silentAfter && !m_silent) {
    Note("fault: silent after " + std::to_string(m_packetsTaken) + " packets");
    m_silent = true;
  }
}

size_t XmodemLoaderModel::CoveredLength() const {
  if (m_image.size() < kTrailer) return 0;
  const uint8_t* t = m_image.data() + m_image.size() - kTrailer;
  const size_t length = t[0] | t[1] << 8 | t[2] << 16 | static_cast<size_t>(t[3]) << 24;
  // A length past what arrived: the CRC is taken over all before the trailer.
  return length <= m_image.size() - kTrailer ? length : m_image.size() - kTrailer;
}

uint16_t XmodemLoaderModel::CoveredCrc() const {
  return Crc16(m_image.data(), CoveredLength());
}

bool XmodemLoaderModel::ImageValid() const {
  if (m_image.size() < kData) return false;
  const uint8_t* t = m_image.data() + m_image.size() - kTrailer;
  const size_t length = t[0] | t[1] << 8 | t[2] << 16 | static_cast<size_t>(t[3]) << 24;
  const uint16_t stored = static_cast<uint16_t>(t[4] | t[5] << 8);
  return length == m_image.size() - kTrailer && stored == CoveredCrc();
}

void XmodemLoaderModel::ReportCrc() {
  uint16_t crc = CoveredCrc();
  if (m_wrongCrc) crc ^= 0x5A5A;
  m_reportedCrc = crc;
  char text[24];
  std::snprintf(text, sizeof text, "B.%d#%04X\r\n", kCrcAnswer, static_cast<unsigned>(crc));
  Answer(std::string(text));
}

void XmodemLoaderModel::Answer(std::vector<uint8_t> bytes) {
  if (!m_silent) Emit(std::move(bytes), kAnswerMicros);
}

void XmodemLoaderModel::Answer(const std::string& text) {
  Answer(std::vector<uint8_t>(text.begin(), text.end()));
}

void XmodemLoaderModel::Dump(std::ostream& out) const {
  out << "xmodem loader " << m_settings.version << (m_wantsCode ? " (letters with code)" : "") << ": "
      << m_image.size() / kData << " packets taken, " << m_naks << " NAKed, end "
      << (m_endAcknowledged ? "acknowledged" : "not seen") << "\n";
  if (m_reportedCrc) {
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", static_cast<unsigned>(*m_reportedCrc));
    out << "crc reported: " << crc << "\n";
  }
  out << "trailer " << (ImageValid() ? "matches" : "does not match") << ", firmware "
      << (m_started ? "started" : "not started") << "\n";
  out << "image " << m_image.size() << " bytes:\n";
  char hex[4];
  for (size_t i = 0; i < m_image.size(); ++i) {
    std::snprintf(hex, sizeof hex, "%02X", m_image[i]);
    out << hex << ((i % 32 == 31 || i + 1 == m_image.size()) ? "\n" : "");
  }
}

}  // namespace sim
