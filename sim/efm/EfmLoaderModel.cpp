#include "sim/efm/EfmLoaderModel.h"

#include <array>
#include <cstdio>
#include <ostream>

#include "sim/model/ModelRegistry.h"

namespace sim {
namespace {

constexpr int kRateCommand = 1301;
constexpr int kRestartCommand = 9000;
constexpr int kHelloCommand = 1000;
constexpr int kRequestCommand = 5004;
constexpr int kAnnounceCommand = 1260;
constexpr int kDataCommand = 1261;
constexpr int kTrailerCommand = 1262;
constexpr int kFinishCommand = 1263;
constexpr int kLoaderTextAnswer = 264;
constexpr int kHelloAnswer = 35;
constexpr int kLineErrorAnswer = 263;
constexpr const char* kTrailerKey = "QT48";
constexpr const char* kAnnounceHead = "Will receive\r\rprogdata: \r\rof!";
constexpr const char* kAnnounceUnit = " bytes,";
constexpr size_t kBlock = 128;
constexpr size_t kTrailerBytes = 6;
// The rate indexes of the rate command.
constexpr std::array<uint32_t, 10> kRates{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 128000, 256000};
// The line follows a rate change this long after the acknowledgement is out.
constexpr uint64_t kSwitchAfterAckMicros = 1000;

// The loader's CRC-16 as its firmware computes it: byte swap, then the
// shifts of the CCITT polynomial.
uint16_t LoaderCrc(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>((crc >> 8) | (crc << 8));
    crc ^= bytes[i];
    crc ^= static_cast<uint16_t>((crc & 0xFF) >> 4);
    crc ^= static_cast<uint16_t>(crc << 12);
    crc ^= static_cast<uint16_t>((crc & 0xFF) << 5);
  }
  return crc;
}

// A decimal number of at most 10 digits that ends at `end` or the text's end.
bool Number(const std::string& text, size_t& at, uint64_t& value, char end) {
  const size_t start = at;
  value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 10) {
    value = value * 10 + static_cast<uint64_t>(text[at] - '0');
    ++at;
  }
  if (at == start) return false;
  if (end == 0) return at == text.size();
  if (at >= text.size() || text[at] != end) return false;
  ++at;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Line(int code, const std::string& text) {
  return "I." + std::to_string(code) + "#" + text + "\r\n";
}

}  // namespace

EfmLoaderModel::EfmLoaderModel(ModelContext& context)
    : m_context(context), m_settings(context.profile.efm), m_baud(context.profile.line.baud) {}

platform::sim::LineFormat EfmLoaderModel::Format() const {
  return platform::sim::LineFormat{m_baud, 8, platform::sim::Parity::None, platform::sim::StopBits::One};
}

uint64_t EfmLoaderModel::ReplyMicros() const {
  return uint64_t{m_context.profile.replyDelayMs} * 1000;
}

void EfmLoaderModel::Answer(const std::string& text, uint64_t extraMicros) {
  if (m_silent) return;
  Emit(text, ReplyMicros() + extraMicros);
}

std::optional<uint64_t> EfmLoaderModel::NextTick() const {
  return m_eventAt;
}

void EfmLoaderModel::Tick(uint64_t nowMicros) {
  if (!m_eventAt || nowMicros < *m_eventAt) return;
  m_eventAt.reset();
  if (m_stage == Stage::kRestarting) {
    m_stage = Stage::kLoader;
    m_line.clear();
    Note("loader started");
    if (!m_silent) Emit(Line(kLoaderTextAnswer, m_settings.text), 0);
    return;
  }
  m_baud = m_nextBaud;
  Note("line at " + std::to_string(m_baud) + " baud");
}

void EfmLoaderModel::Receive(const ModelInput& input, uint64_t nowMicros) {
  if (m_stage == Stage::kRestarting) return;  // nobody listens while it restarts
  if (!input.IntactAt(Format())) m_garbled = true;
  if (m_line.size() >= kMaxLine) {
    m_overflow = true;
    m_line.clear();
  }
  m_line.push_back(static_cast<char>(input.byte));
  if (input.byte != '\n' || m_line.size() < 2 || m_line[m_line.size() - 2] != '\r') return;
  m_line.resize(m_line.size() - 2);
  const bool usable = !m_garbled && !m_overflow;
  const std::string line = std::move(m_line);
  m_line.clear();
  m_garbled = false;
  m_overflow = false;
  if (usable) OnLine(line, nowMicros);
}

void EfmLoaderModel::OnLine(const std::string& line, uint64_t nowMicros) {
  if (line.size() < 3 || line[0] != 'A' || line[1] != '.') return;
  size_t at = 2;
  uint64_t number = 0;
  while (at < line.size() && line[at] >= '0' && line[at] <= '9' && number < 100000) {
    number = number * 10 + static_cast<uint64_t>(line[at] - '0');
    ++at;
  }
  if (at == 2) return;
  const bool hasParameter = at < line.size() && line[at] == '#';
  if (at < line.size() && !hasParameter) return;
  const int command = static_cast<int>(number);
  const std::string parameter = hasParameter ? line.substr(at + 1) : std::string();

  if (m_commands.size() < kMaxRecorded) {
    const bool data = command == kDataCommand;
    m_commands.emplace_back(data || !hasParameter || command == kAnnounceCommand
                                ? "A." + std::to_string(command)
                                : "A." + std::to_string(command) + "#" + parameter,
                            m_baud);
  }
  int times = 0;
  for (auto& [c, n] : m_receipts) {
    if (c == command) times = ++n;
  }
  if (times == 0 && m_receipts.size() < 64) {
    m_receipts.emplace_back(command, 1);
    times = 1;
  }
  const FaultPlan& faults = m_context.profile.faults;
  if (faults.dropAt == command) {
    Note("fault: line dropped at A." + std::to_string(command));
    HangUp();
    return;
  }
  if (!m_silent && ((m_silentAt.command == command && times >= m_silentAt.occurrence) ||
                    faults.silentFrom == command)) {
    Note("fault: silent from A." + std::to_string(command) + " on");
    m_silent = true;
  }
  if (command == m_ignoreOnce) {
    m_ignoreOnce = 0;
    Note("fault: A." + std::to_string(command) + " ignored");
    return;
  }
  if (m_stage == Stage::kApplication && command != kRateCommand && command != kRequestCommand &&
      command != kRestartCommand && command != kHelloCommand) {
    BackToApplication(line, nowMicros);
    return;
  }
  Execute(command, parameter, nowMicros);
}

void EfmLoaderModel::BackToApplication(const std::string& line, uint64_t nowMicros) {
  auto next = m_context.registry.Create(ModelRegistry::kAscii, m_context);
  if (!next) return;
  Note("download preparation left");
  const platform::sim::LineFormat format = next->Format();
  for (const char c : line + "\r\n")
    next->Receive(ModelInput{static_cast<uint8_t>(c), format, false, false}, nowMicros);
  HandOverTo(std::move(next));
}

void EfmLoaderModel::Execute(int command, const std::string& parameter, uint64_t nowMicros) {
  const std::string refused = "A." + std::to_string(command) + "?\r\n";
  const std::string acknowledged = "A." + std::to_string(command) + "!\r\n";
  const bool inLoader = m_stage == Stage::kLoader || m_stage == Stage::kProgrammed;
  switch (command) {
    case kRateCommand:
      OnRate(parameter, nowMicros);
      return;
    case kRequestCommand:
      Answer(m_stage == Stage::kApplication ? acknowledged : refused);
      return;
    case kRestartCommand:
      if (m_stage != Stage::kApplication) break;
      // It restarts without a word; the loader speaks when it is up.
      m_stage = Stage::kRestarting;
      m_eventAt = nowMicros + uint64_t{m_settings.restartMs} * 1000;
      Note("restart into the loader");
      return;
    case kHelloCommand:
      Answer(inLoader ? "I." + std::to_string(kHelloAnswer) + "\r\n" : acknowledged);
      return;
    case kAnnounceCommand:
      if (m_stage != Stage::kLoader) break;
      OnAnnouncement(parameter);
      return;
    case kDataCommand:
      if (m_stage != Stage::kLoader) break;
      OnDataLine(parameter);
      return;
    case kTrailerCommand:
      if (m_stage != Stage::kLoader) break;
      OnTrailer(parameter);
      return;
    case kFinishCommand:
      if (m_stage != Stage::kLoader || !m_trailerTaken) break;
      m_stage = Stage::kProgrammed;
      Note("image of " + std::to_string(m_image.size()) + " bytes programmed");
      Answer(acknowledged, uint64_t{m_settings.programMs} * 1000);
      return;
    default:
      break;
  }
  Answer(refused);
}

void EfmLoaderModel::OnRate(const std::string& parameter, uint64_t nowMicros) {
  size_t at = 0;
  uint64_t index = 0;
  if (m_stage == Stage::kRestarting || !Number(parameter, at, index, 0) || index >= kRates.size()) {
    Answer("A." + std::to_string(kRateCommand) + "?\r\n");
    return;
  }
  const std::string ack = "A." + std::to_string(kRateCommand) + "!\r\n";
  Answer(ack);
  if (m_silent) return;
  if (m_stage == Stage::kProgrammed) {
    // The new application starts at its own settings once the
    // acknowledgement is out.
    auto next = m_context.registry.Create(ModelRegistry::kAscii, m_context);
    if (next) {
      Note("new application started");
      HandOverTo(std::move(next));
    }
    return;
  }
  m_nextBaud = kRates[index];
  m_eventAt = nowMicros + ReplyMicros() + ack.size() * Format().CharacterMicros() + kSwitchAfterAckMicros;
}

void EfmLoaderModel::OnAnnouncement(const std::string& parameter) {
  const std::string head = kAnnounceHead;
  size_t at = head.size();
  uint64_t length = 0;
  bool ok = parameter.compare(0, head.size(), head) == 0 && Number(parameter, at, length, ' ');
  ok = ok && parameter.compare(at - 1, std::string(kAnnounceUnit).size(), kAnnounceUnit) == 0;
  at += std::string(kAnnounceUnit).size() - 1;
  ok = ok && at <= parameter.size() && parameter.substr(at) == m_settings.text.substr(0, kShownText);
  ok = ok && length <= kImageCapacity && (length + kTrailerBytes) % kBlock == 0;
  if (!ok) {
    Answer("A." + std::to_string(kAnnounceCommand) + "?\r\n");
    return;
  }
  // A new announcement starts the image afresh.
  m_announced = static_cast<size_t>(length);
  m_image.clear();
  m_trailerTaken = false;
  Answer("A." + std::to_string(kAnnounceCommand) + "!\r\n");
}

void EfmLoaderModel::OnDataLine(const std::string& parameter) {
  DataLine record{m_image.size(), 0, 0, m_baud};
  size_t at = 0;
  uint64_t count = 0, crc = 0;
  std::vector<uint8_t> bytes;
  bool intact = Number(parameter, at, count, ',') && Number(parameter, at, crc, ',') && count >= 1 &&
                count <= kMaxLineBytes && parameter.size() - at == 2 * count;
  for (size_t i = at; intact && i + 1 < parameter.size(); i += 2) {
    const int high = HexDigit(parameter[i]), low = HexDigit(parameter[i + 1]);
    if (high < 0 || low < 0) intact = false;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  intact = intact && LoaderCrc(bytes.data(), bytes.size()) == crc;
  record.length = bytes.size();
  if (!intact) {
    record.answer = kDamaged;
  } else if (m_announced == 0 || m_image.size() + bytes.size() > m_announced || m_trailerTaken) {
    record.answer = kOutOfPlace;
  }
  const int64_t number = static_cast<int64_t>(++m_lineCount);
  if (number >= m_lineFault.line && number < int64_t{m_lineFault.line} + m_lineFault.count) {
    record.answer = m_lineFault.number;
    if (number == m_lineFault.line)
      Note("fault: data line " + std::to_string(m_lineFault.line) + " answered with 263 #" +
         std::to_string(m_lineFault.number));
  }
  if (m_lines.size() < kMaxLines) m_lines.push_back(record);
  if (record.answer != 0) {
    Answer(Line(kLineErrorAnswer, std::to_string(record.answer)));
    return;
  }
  m_image.insert(m_image.end(), bytes.begin(), bytes.end());
  Answer("A." + std::to_string(kDataCommand) + "!\r\n");
}

void EfmLoaderModel::OnTrailer(const std::string& parameter) {
  const std::string key = std::string(kTrailerKey) + ",";
  size_t at = key.size();
  uint64_t length = 0, crc = 0, time = 0;
  const bool read = parameter.compare(0, key.size(), key) == 0 && Number(parameter, at, length, ',') &&
                    Number(parameter, at, crc, ',') && Number(parameter, at, time, 0) && time <= 0xFFFFFFFFu;
  const bool whole = read && m_announced != 0 && length == m_announced && m_image.size() == m_announced;
  const bool checked = whole && !m_corruptTrailer && LoaderCrc(m_image.data(), m_image.size()) == crc;
  if (!checked) {
    Answer(Line(kLineErrorAnswer, std::to_string(kBadTrailer)));
    return;
  }
  m_trailerTaken = true;
  m_timeStamp = static_cast<uint32_t>(time);
  Answer("A." + std::to_string(kTrailerCommand) + "!\r\n");
}

void EfmLoaderModel::Dump(std::ostream& out) const {
  static constexpr const char* kStages[] = {"application", "restarting", "loader", "image programmed"};
  size_t acknowledged = 0;
  for (const DataLine& l : m_lines) acknowledged += l.answer == 0;
  out << "stage: " << kStages[static_cast<int>(m_stage)] << ", line at " << m_baud << " baud\n";
  out << "data lines: " << m_lines.size() << " received, " << acknowledged << " acknowledged\n";
  out << "image: " << m_image.size() << " of " << m_announced << " bytes, CRC-16 "
      << LoaderCrc(m_image.data(), m_image.size());
  if (m_timeStamp) out << ", time stamp " << *m_timeStamp;
  out << "\n";
  char text[24];
  for (size_t i = 0; i < m_image.size(); i += 16) {
    std::snprintf(text, sizeof text, "%06zX:", i);
    out << text;
    for (size_t j = i; j < i + 16 && j < m_image.size(); ++j) {
      std::snprintf(text, sizeof text, " %02X", m_image[j]);
      out << text;
    }
    out << "\n";
  }
}

}  // namespace sim
