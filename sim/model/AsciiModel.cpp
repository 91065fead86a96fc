#include "sim/model/AsciiModel.h"

#include <cstdio>
#include <cstdlib>

#include "core/EventCodes.h"
#include "sim/model/ModelRegistry.h"

namespace sim {
namespace {

constexpr const char kPacketHeader[] = "A.12010#";
constexpr int kPacketCommand = 12010;

// "I.<code>#<text>", an answer with its text.
std::string AnswerLine(int code, const std::string& text) {
  return "I." + std::to_string(code) + "#" + text + "\r\n";
}

bool AllDigits(const std::string& s, size_t from, size_t to) {
  if (to <= from) return false;
  for (size_t i = from; i < to; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

}  // namespace

AsciiModel::AsciiModel(ModelContext& context)
    : m_context(context), m_specialUses(context.profile.specials.size(), 0) {}

void AsciiModel::ResetLine() {
  m_line.clear();
  m_garbled = false;
  m_overflow = false;
}

void AsciiModel::OnPortOpen(bool /*open*/, uint64_t /*nowMicros*/) {
  // Opening or closing a port pulses the modem lines; a half line is lost.
  ResetLine();
  m_inPacket = false;
}

void AsciiModel::Receive(const ModelInput& input, uint64_t /*nowMicros*/) {
  const bool intact = input.IntactAt(Format());
  if (m_inPacket) {
    if (!intact) {
      // A damaged packet cannot be resynchronised; drop it and wait for a line end.
      m_inPacket = false;
      m_garbled = true;
      return;
    }
    if (m_packetLeft < 0) {
      m_packetLeft = input.byte;
      m_packet.clear();
    } else {
      m_packet.push_back(input.byte);
      --m_packetLeft;
    }
    if (m_packetLeft == 0) OnPacket();
    return;
  }
  if (!intact) {
    m_garbled = true;
    return;
  }
  const char c = static_cast<char>(input.byte);
  if (c == '\n') {
    const bool endsInCr = !m_line.empty() && m_line.back() == '\r';
    if (endsInCr && !m_garbled && !m_overflow) {
      m_line.pop_back();
      OnLine(m_line);
    }
    ResetLine();
    return;
  }
  if (m_line.size() >= kMaxLine) {
    m_overflow = true;
    return;
  }
  m_line.push_back(c);
  if (!m_garbled && !m_overflow && m_context.profile.TakesFiles() && m_line == kPacketHeader) {
    m_inPacket = true;
    m_packetLeft = -1;
    ResetLine();
  }
}

void AsciiModel::OnLine(const std::string& line) {
  if (line.empty() || line.size() < 3 || line[0] != 'A' || line[1] != '.') return;
  const size_t hash = line.find('#');
  const size_t numberEnd = hash == std::string::npos ? line.size() : hash;
  if (numberEnd - 2 > 5 || !AllDigits(line, 2, numberEnd)) return;
  const int command = std::stoi(line.substr(2, numberEnd - 2));
  const bool hasParameter = hash != std::string::npos;
  const std::string parameter = hasParameter ? line.substr(hash + 1) : std::string();
  if (m_commands.size() < kMaxRecorded) m_commands.push_back(line);

  if (!ApplyFaults(command)) return;
  const FaultPlan& faults = m_context.profile.faults;
  if (faults.garbageBefore != 0 && command == faults.garbageBefore && !m_silent) {
    std::vector<uint8_t> garbage(faults.garbageCount);
    for (auto& b : garbage) {
      m_garbageState = m_garbageState * 1664525u + 1013904223u;
      b = static_cast<uint8_t>(m_garbageState >> 24);
    }
    Emit(std::move(garbage), uint64_t{m_context.profile.replyDelayMs} * 1000);
  }
  Execute(command, parameter, hasParameter);
}

bool AsciiModel::ApplyFaults(int command) {
  const FaultPlan& faults = m_context.profile.faults;
  if (faults.dropAt != 0 && command == faults.dropAt) {
    Note("fault: line dropped at A." + std::to_string(command));
    HangUp();
    return false;
  }
  if (faults.silentFrom != 0 && command == faults.silentFrom && !m_silent) {
    Note("fault: silent from A." + std::to_string(command) + " on");
    m_silent = true;
  }
  return true;
}

void AsciiModel::Execute(int command, const std::string& parameter, bool hasParameter) {
  const InstrumentProfile& p = m_context.profile;
  const std::string number = std::to_string(command);
  const auto& codes = p.identCodes;

  // The special answers this command triggers.
  std::vector<const SpecialAnswer*> after;
  uint32_t holdMs = 0;
  bool refused = false;
  for (size_t i = 0; i < p.specials.size(); ++i) {
    const SpecialAnswer& s = p.specials[i];
    if (s.afterCommand != command) continue;
    if (s.times != 0 && m_specialUses[i] >= s.times) continue;
    ++m_specialUses[i];
    if (s.code == core::codes::kAnswerPause) {
      Answer(s.Line());
      holdMs = static_cast<uint32_t>(std::strtoul(s.parameter.c_str() + 1, nullptr, 10));
    } else if (s.code == core::codes::kAnswerBottlexNotReady) {
      Answer(s.Line());
      refused = true;
    } else {
      after.push_back(&s);
    }
  }
  if (refused) return;

  bool known = true;
  switch (command) {
    case 2003:
      Answer(AnswerLine(codes[0], p.pcb), holdMs);
      break;
    case 2000:
      Answer(AnswerLine(codes[1], p.device), holdMs);
      break;
    case 2001:
      if (!p.startupVersion.empty())
        Answer(AnswerLine(core::codes::kAnswerStartupVersion, p.startupVersion), holdMs);
      Answer(AnswerLine(codes[2], p.version), holdMs);
      break;
    case 4001:
      Answer(AnswerLine(codes[3], p.serial), holdMs);
      break;
    case kVectorQuery:
    case kVectorQuery2:
      // An MSP430 instrument with a loader tells its vector table: the reset
      // vector (0xFFFE), and on the 5xx all 16 words from 0xFFFE down.
      if (!p.Takes(command)) {
        known = false;
        Answer("A." + number + "?\r\n", holdMs);
      } else {
        Answer(AnswerLine(command == kVectorQuery ? core::codes::kAnswerResetVector
                                                  : core::codes::kAnswerResetVector2,
                          VectorText()),
               holdMs);
      }
      break;
    default:
      known = p.Takes(command);
      // The clock and the air-pressure reference are useless without a value.
      if (known && (command == 1600 || command == 6162 || command == kFileStartCommand) &&
          (!hasParameter || parameter.empty())) {
        known = false;
      }
      if (!known) {
        Answer("A." + number + "?\r\n", holdMs);
        break;
      }
      if (command == 1111 || command == 1121) ++m_closings;
      if (command == kFileStartCommand) m_files.push_back(ReceivedFile{parameter, {}, false});
      if (command == kFileEndCommand && !m_files.empty()) m_files.back().complete = true;
      m_parameters.emplace_back(command, parameter);
      Answer("A." + number + "!\r\n", holdMs);
      break;
  }
  if (!known) return;
  for (const SpecialAnswer* s : after) Answer(s->Line(), holdMs + s->delayMs);

  if (p.HandsOverToLoader(command)) {
    auto next = m_context.registry.Create(p.loader, m_context);
    if (next) {
      Note("hand-over to " + p.loader + " after A." + number);
      next->TakeHandOver(command, parameter);
      HandOverTo(std::move(next));
    } else {
      Note("no model '" + p.loader + "' to hand over to; staying in the command protocol");
    }
  }
}

void AsciiModel::OnPacket() {
  m_inPacket = false;
  if (!ApplyFaults(kPacketCommand)) return;
  if (m_files.empty() || m_files.back().complete) {
    // A packet outside a file: the instrument has nowhere to put it.
    Answer("A.12010?\r\n");
    return;
  }
  auto& bytes = m_files.back().bytes;
  bytes.insert(bytes.end(), m_packet.begin(), m_packet.end());
  if (m_commands.size() < kMaxRecorded)
    m_commands.push_back("A.12010#<" + std::to_string(m_packet.size()) + " bytes>");
  Answer("A.12010!\r\n");
}

void AsciiModel::Answer(const std::string& text, uint32_t extraMs) {
  if (m_silent) return;
  Emit(text, (uint64_t{m_context.profile.replyDelayMs} + extraMs) * 1000);
}

std::string AsciiModel::VectorText() const {
  const bool all = m_context.profile.bsl.family == BslSettings::Family::F5xx;
  std::string text;
  char token[8];
  for (uint32_t address = 0xFFFE; address >= 0xFFE0; address -= 2) {
    const unsigned word = m_context.flash.At(address) | (m_context.flash.At(address + 1) << 8);
    std::snprintf(token, sizeof token, "0x%04X", word);
    text += token;
    if (!all) break;
  }
  return text;
}

std::optional<std::string> AsciiModel::LastParameter(int command) const {
  for (auto it = m_parameters.rbegin(); it != m_parameters.rend(); ++it) {
    if (it->first == command) return it->second;
  }
  return std::nullopt;
}

void AsciiModel::Dump(std::ostream& out) const {
  out << "commands received: " << m_commands.size() << "\n";
  for (const auto& c : m_commands) out << "  " << c << "\n";
  if (const auto clock = LastParameter(1600)) out << "clock set to: " << *clock << "\n";
  if (const auto pressure = LastParameter(6162)) out << "air-pressure reference: " << *pressure << " hPa\n";
  out << "closing commands: " << m_closings << "\n";
  for (const auto& f : m_files) {
    out << "file " << f.name << ": " << f.bytes.size() << " bytes" << (f.complete ? "" : " (incomplete)")
        << "\n";
  }
}

}  // namespace sim
