#include "sim/wince/WinCeReceiverModel.h"

#include <cstdlib>

#include "core/EventCodes.h"
#include "sim/model/InstrumentProfile.h"
#include "sim/model/ModelRegistry.h"

namespace sim {
namespace {

constexpr int kHello = 1000;
constexpr int kFirstTransfer = 1201;
constexpr int kEndOfFile = 1202;
constexpr int kEndOfTransfer = 1203;
constexpr int kAcceptedTransfer = 1205;
constexpr int kRate = 1300;
constexpr uint8_t kBlockLetter = 'D';
constexpr uint8_t kSeparator = ',';
constexpr uint8_t kHeaderEnd = '#';

bool Digits(const std::string& s, size_t from, size_t to) {
  if (to <= from) return false;
  for (size_t i = from; i < to; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// A decimal number of at most 10 digits that fits 32 bits.
std::optional<uint32_t> Number(const std::string& s) {
  if (s.empty() || s.size() > 10 || !Digits(s, 0, s.size())) return std::nullopt;
  const unsigned long long v = std::strtoull(s.c_str(), nullptr, 10);
  if (v > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(v);
}

std::string BlockError(uint32_t number) {
  return "I." + std::to_string(core::codes::kAnswerWinCeBlockError) + "#" + std::to_string(number);
}

const char* StateText(WinCeReceiverModel::FileState state) {
  switch (state) {
    case WinCeReceiverModel::FileState::kOpen: return "incomplete";
    case WinCeReceiverModel::FileState::kStored: return "stored";
    case WinCeReceiverModel::FileState::kSizeDiffers: return "BAD: size differs from the announcement";
    case WinCeReceiverModel::FileState::kSkipped: return "skipped (next file asked for)";
    case WinCeReceiverModel::FileState::kAbandoned: return "abandoned";
  }
  return "";
}

}  // namespace

WinCeReceiverModel::WinCeReceiverModel(ModelContext& context)
    : m_context(context), m_faults(context.profile.wince) {}

uint8_t WinCeReceiverModel::ExpectedCheck(const uint8_t* bytes, size_t count) {
  uint8_t crc = 0xFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x1D : crc << 1);
  }
  // The header never carries NUL nor one of its own framing characters.
  if (crc == 0) return 1;
  if (crc == kBlockLetter || crc == kSeparator || crc == kHeaderEnd) ++crc;
  return crc;
}

platform::sim::LineFormat WinCeReceiverModel::Format() const {
  platform::sim::LineFormat format = m_context.profile.line;
  format.baud = m_faults.rate;
  format.parity = platform::sim::Parity::None;
  format.stopBits = platform::sim::StopBits::Two;
  return format;
}

void WinCeReceiverModel::ResetInput() {
  m_input = Input::kLine;
  m_line.clear();
  m_garbled = false;
}

void WinCeReceiverModel::OnPortOpen(bool /*open*/, uint64_t /*nowMicros*/) {
  // The modem lines' pulse loses whatever was half received.
  ResetInput();
}

void WinCeReceiverModel::Receive(const ModelInput& input, uint64_t /*nowMicros*/) {
  const bool intact = input.IntactAt(Format());
  const uint8_t c = input.byte;
  switch (m_input) {
    case Input::kData:
      // A damaged character still takes its place in the block.
      m_block.push_back(c);
      m_blockDamaged = m_blockDamaged || !intact;
      if (--m_blockLeft == 0) OnBlock();
      return;
    case Input::kHeaderLength:
      if (intact && c >= '0' && c <= '9' && m_line.size() < 2 + kMaxLengthDigits) {
        m_line.push_back(static_cast<char>(c));
      } else if (intact && c == kSeparator && m_line.size() > 2) {
        m_blockLength = static_cast<uint32_t>(std::strtoul(m_line.c_str() + 2, nullptr, 10));
        m_input = Input::kHeaderCheck;
      } else {
        // Not a block header after all: the rest of the line is dropped.
        m_input = Input::kLine;
        m_garbled = true;
      }
      return;
    case Input::kHeaderCheck:
      // Any byte: the check character may be a line end too.
      m_blockCheck = c;
      m_blockDamaged = !intact;
      m_input = Input::kHeaderEnd;
      return;
    case Input::kHeaderEnd:
      if (!intact || c != kHeaderEnd) {
        m_input = Input::kLine;
        m_garbled = true;
        return;
      }
      m_block.clear();
      m_blockLeft = m_blockLength;
      m_input = Input::kData;
      if (m_blockLeft == 0) OnBlock();
      return;
    case Input::kLine:
      break;
  }
  if (!intact) {
    m_garbled = true;
    return;
  }
  if (c == '\n') {
    const bool endsInCr = !m_line.empty() && m_line.back() == '\r';
    if (endsInCr && !m_garbled) {
      m_line.pop_back();
      OnLine(m_line);
    }
    ResetInput();
    return;
  }
  if (m_line.size() >= kMaxLine) {
    m_garbled = true;
    return;
  }
  m_line.push_back(static_cast<char>(c));
  if (!m_garbled && m_line.size() == 2 && m_line[0] == kBlockLetter && m_line[1] == '.')
    m_input = Input::kHeaderLength;
}

void WinCeReceiverModel::Record(std::string text) {
  if (m_commands.size() < kMaxRecorded) m_commands.push_back(std::move(text));
}

WinCeReceiverModel::ReceivedFile* WinCeReceiverModel::OpenFile() {
  if (m_files.empty() || m_files.back().state != FileState::kOpen) return nullptr;
  return &m_files.back();
}

void WinCeReceiverModel::OnBlock() {
  m_input = Input::kLine;
  m_line.clear();
  ++m_blocksTaken;
  ReceivedFile* file = OpenFile();
  Block block;
  block.file = file ? static_cast<int>(m_files.size() - 1) : -1;
  block.offset = file ? static_cast<uint32_t>(file->bytes.size()) : 0;
  block.length = m_blockLength;

  const bool intact = !m_blockDamaged && m_block.size() == m_blockLength &&
                      m_blockCheck == ExpectedCheck(m_block.data(), m_block.size());
  const bool fatal = m_faults.errorAt == m_blocksTaken;
  if (fatal) {
    Note("fault: error " + std::to_string(m_faults.errorNumber) + " at block " + std::to_string(m_blocksTaken));
    block.answer = BlockError(m_faults.errorNumber);
    if (file) file->state = FileState::kAbandoned;
  } else if (!file) {
    block.answer = BlockError(kNoFileOpen);
  } else if (m_blockLength > kMaxBlock) {
    block.answer = BlockError(kBlockTooLong);
  } else if (file->bytes.size() + m_block.size() > kMaxFileSize) {
    block.answer = BlockError(kFileTooLarge);
  } else if (m_faults.nextFileAfter == m_blocksTaken) {
    Note("fault: next file asked for at block " + std::to_string(m_blocksTaken));
    file->state = FileState::kSkipped;
    block.answer = "I." + std::to_string(core::codes::kAnswerWinCeNextFile) + "#";
  } else if (!intact || m_faults.badCrcAt == m_blocksTaken ||
             (m_faults.badCrcFrom != 0 && m_blocksTaken >= m_faults.badCrcFrom)) {
    block.answer = BlockError(kSendAgain);
  } else {
    file->bytes.insert(file->bytes.end(), m_block.begin(), m_block.end());
    block.answer = "D." + std::to_string(m_blockLength) + "!";
  }
  m_block.clear();
  if (m_silent) block.answer.clear();
  Answer(block.answer);
  if (fatal && m_faults.errorNumber != kSendAgain) BackToApplication("error " + std::to_string(m_faults.errorNumber));
  if (m_faults.silentAfter != 0 && m_blocksTaken == m_faults.silentAfter && !m_silent) {
    Note("fault: silent after block " + std::to_string(m_faults.silentAfter));
    m_silent = true;
  }
  if (m_blocks.size() < kMaxRecorded) m_blocks.push_back(std::move(block));
}

void WinCeReceiverModel::OnLine(const std::string& line) {
  if (line.size() < 3 || line[0] != 'A' || line[1] != '.') return;
  const size_t hash = line.find('#');
  const size_t numberEnd = hash == std::string::npos ? line.size() : hash;
  if (numberEnd - 2 > 5 || !Digits(line, 2, numberEnd)) return;
  const int command = std::stoi(line.substr(2, numberEnd - 2));
  const std::string parameter = hash == std::string::npos ? std::string() : line.substr(hash + 1);
  Record(line);
  const std::string number = std::to_string(command);
  switch (command) {
    case kFirstTransfer:
    case kAcceptedTransfer:
      Announce(command, parameter);
      return;
    case kEndOfFile:
      if (ReceivedFile* file = OpenFile()) {
        file->state = file->bytes.size() == file->announcedSize ? FileState::kStored : FileState::kSizeDiffers;
        if (file->state == FileState::kSizeDiffers) Note("file " + file->name + ": size differs");
        Answer("A." + number + "!");
      } else {
        Answer("A." + number + "?");
      }
      return;
    case kEndOfTransfer:
      if (ReceivedFile* file = OpenFile()) file->state = FileState::kAbandoned;
      m_transferEnded = true;
      Answer("A." + number + "!");
      return;
    case kRate: {
      const std::optional<uint32_t> rate = Number(parameter);
      if (!rate || *rate == 0) {
        Answer("A." + number + "?");
        return;
      }
      // Acknowledged at the transfer rate; then the application listens at
      // its own line settings again.
      m_rateBack = rate;
      if (ReceivedFile* file = OpenFile()) file->state = FileState::kAbandoned;
      Answer("A." + number + "!");
      if (*rate != m_context.profile.line.baud)
        Note("rate back to " + parameter + ", but the application runs at " +
             std::to_string(m_context.profile.line.baud));
      BackToApplication("A.1300#" + parameter);
      return;
    }
    case kHello:
      Answer("A." + number + "!");
      return;
    default:
      Answer("A." + number + "?");
      return;
  }
}

void WinCeReceiverModel::BackToApplication(const std::string& after) {
  if (auto application = m_context.registry.Create(ModelRegistry::kAscii, m_context)) {
    Note("back to the application after " + after);
    HandOverTo(std::move(application));
  }
}

void WinCeReceiverModel::Announce(int command, const std::string& parameter) {
  const std::string refused = "A." + std::to_string(command) + "?";
  const size_t first = parameter.find(',');
  const size_t second = first == std::string::npos ? first : parameter.find(',', first + 1);
  if (second == std::string::npos || parameter.find(',', second + 1) != std::string::npos || first == 0) {
    Answer(refused);
    return;
  }
  const std::optional<uint32_t> time = Number(parameter.substr(first + 1, second - first - 1));
  const std::optional<uint32_t> size = Number(parameter.substr(second + 1));
  if (!time || !size || *size > kMaxFileSize || m_files.size() >= kMaxFiles) {
    Answer(refused);
    return;
  }
  if (ReceivedFile* open = OpenFile()) open->state = FileState::kAbandoned;
  ReceivedFile file;
  file.name = parameter.substr(0, first);
  file.announcedBy = command;
  file.dosTime = *time;
  file.announcedSize = *size;
  m_files.push_back(std::move(file));
  Answer("A." + std::to_string(command) + "!");
}

void WinCeReceiverModel::Answer(const std::string& text) {
  if (m_silent || text.empty()) return;
  Emit(text + "\r\n", uint64_t{m_context.profile.replyDelayMs} * 1000);
}

void WinCeReceiverModel::Dump(std::ostream& out) const {
  out << "transfer rate: " << m_faults.rate << "\n";
  out << "commands received: " << m_commands.size() << "\n";
  for (const auto& c : m_commands) out << "  " << c << "\n";
  size_t again = 0;
  for (const Block& b : m_blocks) again += b.answer == BlockError(kSendAgain) ? 1 : 0;
  out << "blocks received: " << m_blocks.size() << " (asked again: " << again << ")\n";
  for (const ReceivedFile& f : m_files) {
    out << "file " << f.name << ": " << f.bytes.size() << " bytes, announced " << f.announcedSize
        << " with A." << f.announcedBy << ", time " << f.dosTime << ": " << StateText(f.state) << "\n";
  }
  out << "end of transfer: " << (m_transferEnded ? "yes" : "no") << "\n";
  if (m_rateBack) out << "rate back: " << *m_rateBack << "\n";
}

}  // namespace sim
