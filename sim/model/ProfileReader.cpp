#include "sim/model/ProfileReader.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "core/EventCodes.h"

namespace sim {
namespace {

using platform::sim::LineFormat;
using platform::sim::Parity;
using platform::sim::StopBits;
namespace codes = core::codes;

constexpr size_t kMaxLineLength = 1000;
constexpr size_t kMaxTextLength = 255;  // what one answer line may carry after "#"
constexpr size_t kMaxBodyLength = 99;   // body of a boot-loader frame
constexpr int kMaxCommand = 99999;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

using Reader = ProfileReader;

std::vector<std::string_view> Words(std::string_view s) {
  return Reader::Words(s);
}

bool ParseNumber(std::string_view word, uint64_t max, uint64_t& value) {
  return Reader::ParseNumber(word, max, value);
}

bool ParseCommand(std::string_view word, int& command) {
  uint64_t v = 0;
  if (word.empty() || word.size() > 5 || !ParseNumber(word, kMaxCommand, v) || word.starts_with("0x"))
    return false;
  command = static_cast<int>(v);
  return true;
}

bool Printable(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

bool ParseLine(std::string_view value, LineFormat& line, std::string& error) {
  const auto words = Words(value);
  if (words.size() != 2) {
    error = "line: expected a baud rate and a frame like 8N1, e.g. \"4800 8N1\"";
    return false;
  }
  static const std::set<uint64_t> kRates{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 128000, 256000};
  uint64_t baud = 0;
  if (!ParseNumber(words[0], 1000000, baud) || !kRates.contains(baud)) {
    error = "line: baud rate '" + std::string(words[0]) +
            "' is not one of 1200 2400 4800 9600 19200 38400 57600 115200 128000 256000";
    return false;
  }
  const std::string_view frame = words[1];
  if (frame.size() < 3 || frame[0] < '5' || frame[0] > '8') {
    error =
        "line: frame '" + std::string(frame) + "' must be data bits 5-8, parity N/O/E/M/S, stop bits 1/1.5/2";
    return false;
  }
  static constexpr std::array<std::pair<std::string_view, Parity>, 5> kParities{{{"N", Parity::None},
                                                                                 {"O", Parity::Odd},
                                                                                 {"E", Parity::Even},
                                                                                 {"M", Parity::Mark},
                                                                                 {"S", Parity::Space}}};
  static constexpr std::array<std::pair<std::string_view, StopBits>, 3> kStopBits{
      {{"1", StopBits::One}, {"1.5", StopBits::OnePointFive}, {"2", StopBits::Two}}};
  Parity parity = Parity::None;
  if (!Reader::Pick(frame.substr(1, 1), kParities, parity)) {
    error = "line: parity '" + std::string(1, frame[1]) + "' must be one of N O E M S";
    return false;
  }
  const std::string_view stop = frame.substr(2);
  StopBits stopBits = StopBits::One;
  if (!Reader::Pick(stop, kStopBits, stopBits)) {
    error = "line: stop bits '" + std::string(stop) + "' must be 1, 1.5 or 2";
    return false;
  }
  line = LineFormat{static_cast<uint32_t>(baud), static_cast<uint8_t>(frame[0] - '0'), parity, stopBits};
  return true;
}

bool ParseSpecial(std::string_view value, SpecialAnswer& special, std::string& error) {
  const auto words = Words(value);
  if (words.empty()) {
    error = "special: expected CODE[#TEXT|$NUMBER] after CMD";
    return false;
  }
  const std::string_view head = words[0];
  const size_t mark = head.find_first_of("#$");
  if (!ParseCommand(head.substr(0, mark), special.code)) {
    error = "special: '" + std::string(head.substr(0, mark)) + "' is not an answer code";
    return false;
  }
  static const std::set<int> kCodes{codes::kAnswerSetClockSeconds,  codes::kAnswerFinished,
                                    codes::kAnswerTerminalVariant,  codes::kAnswerSensorIdModule,
                                    codes::kAnswerAirPressureQuery, codes::kAnswerPause,
                                    codes::kAnswerBottlexNotReady};
  if (!kCodes.contains(special.code)) {
    error = "special: answer " + std::to_string(special.code) + " is not one of";
    for (const int code : kCodes) error += " " + std::to_string(code);
    return false;
  }
  special.parameter = mark == std::string_view::npos ? "" : std::string(head.substr(mark));
  if (special.parameter.size() > kMaxTextLength) {
    error = "special: parameter longer than 255 characters";
    return false;
  }
  if (special.code == codes::kAnswerTerminalVariant &&
      (special.parameter.size() < 2 || special.parameter[0] != '#')) {
    error = "special: 208 needs its terminal variant, e.g. 208#0";
    return false;
  }
  if (special.code == codes::kAnswerPause) {
    uint64_t ms = 0;
    if (special.parameter.size() < 2 || special.parameter[0] != '#' ||
        !ParseNumber(std::string_view(special.parameter).substr(1), 600000, ms)) {
      error = "special: 1131 needs its time in milliseconds (at most 600000), e.g. 1131#2500";
      return false;
    }
  }
  if (!special.parameter.empty() && special.parameter[0] == '$') {
    // The tool reads the number after "$" with atof; keep it a plain decimal.
    const std::string_view number = std::string_view(special.parameter).substr(1);
    const bool ok = !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
      return (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
    if (!ok) {
      error = "special: the value after '$' must be a decimal number";
      return false;
    }
  }
  bool haveAfter = false;
  for (size_t i = 1; i < words.size(); i += 2) {
    if (i + 1 >= words.size()) {
      error = "special: '" + std::string(words[i]) + "' needs a value";
      return false;
    }
    uint64_t v = 0;
    if (words[i] == "after") {
      if (!ParseCommand(words[i + 1], special.afterCommand)) {
        error = "special: 'after " + std::string(words[i + 1]) + "' is not a command number";
        return false;
      }
      haveAfter = true;
    } else if (words[i] == "delay" && ParseNumber(words[i + 1], 600000, v)) {
      special.delayMs = static_cast<uint32_t>(v);
    } else if (words[i] == "times" && ParseNumber(words[i + 1], 1000000, v) && v > 0) {
      special.times = static_cast<uint32_t>(v);
    } else {
      error = "special: cannot read '" + std::string(words[i]) + " " + std::string(words[i + 1]) +
              "' (expected after CMD, delay MS, times N)";
      return false;
    }
  }
  if (!haveAfter) {
    error = "special: missing 'after CMD' (the command that triggers the answer)";
    return false;
  }
  return true;
}

bool ParseBootLoader(std::string_view value, InstrumentProfile& profile, std::string& error) {
  const auto words = Words(value);
  if (words.size() == 1 && words[0] == "0x90") {
    profile.bootLoader = BootAnnounce::Byte90;
    return true;
  }
  if (words.size() == 1 && words[0] == "Q") {
    profile.bootLoader = BootAnnounce::LetterQ;
    return true;
  }
  if (words.size() >= 3 && words[0] == "frame") {
    if (words[1] == "h00h")
      profile.bootLoader = BootAnnounce::FrameH00h;
    else if (words[1] == "h11h")
      profile.bootLoader = BootAnnounce::FrameH11h;
    else if (words[1] == "h,,h")
      profile.bootLoader = BootAnnounce::FrameHcc;
    else {
      error = "boot-loader: frame marker '" + std::string(words[1]) + "' must be h00h, h11h or h,,h";
      return false;
    }
    // The body is the rest of the value after the marker, blanks included.
    const size_t at = value.find(words[1]) + words[1].size();
    profile.bootBody = std::string(Trim(value.substr(at)));
    if (profile.bootBody.size() > kMaxBodyLength) {
      error = "boot-loader: frame body longer than 99 characters";
      return false;
    }
    return true;
  }
  error = "boot-loader: expected 'frame h00h|h11h|h,,h BODY', '0x90' or 'Q'";
  return false;
}

bool ParseIdentCodes(std::string_view value, std::array<int, 4>& codes, std::string& error) {
  const auto words = Words(value);
  static const std::array<std::set<int>, 4> kAllowed{
      std::set<int>{codes::kAnswerPcbNumber, codes::kAnswerPcbNumber2, codes::kAnswerSensorPcbNumber},
      std::set<int>{codes::kAnswerIdentNumber, codes::kAnswerIdentNumber2, codes::kAnswerSensorIdentNumber},
      std::set<int>{codes::kAnswerSoftwareVersion, codes::kAnswerSoftwareVersion2,
                    codes::kAnswerStartupVersion},
      std::set<int>{codes::kAnswerSerialNumber, codes::kAnswerSerialNumber2}};
  static const char* kWhat[] = {"PCB number (23, 203, 2013)", "device number (20, 200, 2010)",
                                "version (21, 201, 2011)", "serial number (25, 205)"};
  if (words.size() != 4) {
    error = "ident-codes: expected four codes, e.g. \"23 20 21 25\"";
    return false;
  }
  for (size_t i = 0; i < 4; ++i) {
    int code = 0;
    if (!ParseCommand(words[i], code) || !kAllowed[i].contains(code)) {
      error = "ident-codes: '" + std::string(words[i]) + "' is no code for the " + kWhat[i];
      return false;
    }
    codes[i] = code;
  }
  return true;
}

}  // namespace

std::vector<std::string_view> ProfileReader::Words(std::string_view s) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < s.size()) {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
    size_t end = at;
    while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
    if (end > at) words.push_back(s.substr(at, end - at));
    at = end;
  }
  return words;
}

bool ProfileReader::ParseNumber(std::string_view word, uint64_t max, uint64_t& value, int base) {
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  if (word.empty()) return false;
  uint64_t v = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v, base);
  if (ec != std::errc() || end != word.data() + word.size() || v > max) return false;
  value = v;
  return true;
}

std::string ProfileReader::Result::ErrorText(std::string_view fileName) const {
  std::string text;
  for (const Error& e : errors) {
    text += std::string(fileName);
    if (e.line > 0) text += ":" + std::to_string(e.line);
    text += ": " + e.message + "\n";
  }
  return text;
}

ProfileReader::Result ProfileReader::Parse(std::string_view text, std::string_view defaultName) {
  Result result;
  InstrumentProfile& p = result.profile;
  p.name = std::string(defaultName);
  auto fail = [&](int line, std::string message) {
    if (result.errors.size() < 50) result.errors.push_back(Error{line, std::move(message)});
  };

  static const std::set<std::string_view> kRepeatable{"special", "accept", "flash"};
  static const std::set<std::string_view> kKeys{
      "name",   "description",     "family",      "line",           "pcb",     "device", "version",
      "serial", "startup-version", "ident-codes", "reply-delay-ms", "special", "accept", "boot-loader",
      "loader", "flash",           "silent-from", "garbage",        "drop-at", "bsl",
      "xmodem", "efm",             "wince"};
  std::map<std::string, int> seen;
  std::vector<std::pair<int, int>> specialLines;  // (line, index) for the final check

  int lineNumber = 0;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view raw = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (raw.size() > kMaxLineLength) {
      fail(lineNumber, "line longer than 1000 characters");
      continue;
    }
    const std::string_view line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      fail(lineNumber, "expected 'key = value'");
      continue;
    }
    const std::string key(Trim(line.substr(0, eq)));
    const std::string_view value = Trim(line.substr(eq + 1));
    if (!kKeys.contains(key)) {
      fail(lineNumber, "unknown key '" + key + "'");
      continue;
    }
    if (!kRepeatable.contains(key)) {
      const auto [it, fresh] = seen.emplace(key, lineNumber);
      if (!fresh) {
        fail(lineNumber, "key '" + key + "' given twice (first on line " + std::to_string(it->second) + ")");
        continue;
      }
    }
    if (!Printable(value)) {
      fail(lineNumber, "value of '" + key + "' holds control or non-ASCII characters");
      continue;
    }
    std::string error;
    uint64_t number = 0;
    int command = 0;
    if (key == "name") {
      if (value.empty()) error = "name: empty";
      p.name = std::string(value);
    } else if (key == "description") {
      p.description = std::string(value);
    } else if (key == "family") {
      if (!ParseNumber(value, 5, number) || value.starts_with("0x")) error = "family: must be 0 to 5";
      p.family = static_cast<int>(number);
    } else if (key == "line") {
      ParseLine(value, p.line, error);
    } else if (key == "pcb" || key == "device" || key == "version" || key == "serial" ||
               key == "startup-version") {
      if (value.size() > kMaxTextLength) error = key + ": longer than 255 characters";
      std::string& target = key == "pcb"       ? p.pcb
                            : key == "device"  ? p.device
                            : key == "version" ? p.version
                            : key == "serial"  ? p.serial
                                               : p.startupVersion;
      target = std::string(value);
    } else if (key == "ident-codes") {
      ParseIdentCodes(value, p.identCodes, error);
    } else if (key == "reply-delay-ms") {
      if (!ParseNumber(value, 60000, number)) error = "reply-delay-ms: must be 0 to 60000";
      p.replyDelayMs = static_cast<uint32_t>(number);
    } else if (key == "special") {
      SpecialAnswer special;
      if (ParseSpecial(value, special, error)) {
        specialLines.emplace_back(lineNumber, static_cast<int>(p.specials.size()));
        p.specials.push_back(std::move(special));
      }
    } else if (key == "accept") {
      const auto words = Words(value);
      if (words.empty()) error = "accept: expected command numbers";
      for (const auto word : words) {
        if (!ParseCommand(word, command)) {
          error = "accept: '" + std::string(word) + "' is not a command number";
          break;
        }
        p.accepted.push_back(command);
      }
    } else if (key == "boot-loader") {
      ParseBootLoader(value, p, error);
    } else if (key == "loader") {
      const auto words = Words(value);
      bool commandsRead = words.size() >= 3 && words[1] == "after";
      std::vector<int> commands;
      for (size_t i = 2; commandsRead && i < words.size(); ++i) {
        commandsRead = ParseCommand(words[i], command);
        commands.push_back(command);
      }
      if (words.size() == 1 || commandsRead) {
        p.loader = std::string(words[0]);
        if (!commands.empty()) {
          p.loaderAfter = commands.front();
          p.loaderAlsoAfter.assign(commands.begin() + 1, commands.end());
        }
      } else {
        error = "loader: expected 'MODEL' or 'MODEL after CMD [CMD ...]'";
      }
    } else if (key == "flash") {
      const auto words = Words(value);
      uint64_t start = 0, size = 0, segment = 0;
      if (words.size() != 3 || !ParseNumber(words[0], 0xFFFFFFFF, start) ||
          !ParseNumber(words[1], 0x10000000, size) || !ParseNumber(words[2], 0x10000000, segment)) {
        error = "flash: expected START SIZE SEGMENT, e.g. \"0x1100 0xEF00 512\" (at most 256 MiB)";
      } else {
        const FlashMemory::Region region{static_cast<uint32_t>(start), static_cast<uint32_t>(size),
                                         static_cast<uint32_t>(segment)};
        // Only the geometry is checked here; the cells exist once an instrument is built.
        if (size == 0 || segment == 0 || size % segment != 0 || start + size > (uint64_t{1} << 32)) {
          error = "flash: size must be a non-zero multiple of the segment size, inside 32-bit addresses";
        }
        for (const auto& r : p.flash) {
          if (start < uint64_t{r.start} + r.size && r.start < start + size)
            error = "flash: region overlaps another";
        }
        if (error.empty()) p.flash.push_back(region);
      }
    } else if (key == "bsl") {
      p.bsl.Parse(value, error);
    } else if (key == "xmodem") {
      p.xmodem.Parse(value, error);

    } else if (key == "efm") {
      p.efm.Parse(value, error);

    } else if (key == "wince") {
      p.wince.Parse(value, error);

    } else if (key == "silent-from" || key == "drop-at") {
      if (!ParseCommand(value, command)) error = key + ": expected a command number";
      (key == "silent-from" ? p.faults.silentFrom : p.faults.dropAt) = command;
    } else if (key == "garbage") {
      const auto words = Words(value);
      if (words.empty() || words.size() > 2 || !ParseCommand(words[0], command) ||
          (words.size() == 2 && (!ParseNumber(words[1], 1000, number) || number == 0))) {
        error = "garbage: expected CMD [COUNT], COUNT 1 to 1000";
      } else {
        p.faults.garbageBefore = command;
        if (words.size() == 2) p.faults.garbageCount = static_cast<uint32_t>(number);
      }
    }
    if (!error.empty()) fail(lineNumber, error);
  }

  if (p.name.empty()) fail(0, "missing key 'name'");
  if (!seen.contains("line")) fail(0, "missing key 'line' (the rate and frame the instrument listens at)");
  if (p.bootLoader == BootAnnounce::None && !seen.contains("boot-loader")) {
    for (const char* key : {"pcb", "device", "version", "serial"}) {
      if (!seen.contains(key)) fail(0, std::string("missing key '") + key + "'");
    }
  } else if (p.bootLoader >= BootAnnounce::FrameH00h && p.bootLoader <= BootAnnounce::FrameHcc &&
             p.bootBody.empty()) {
    fail(seen["boot-loader"], "boot-loader: a frame needs a body");
  }
  // A special answer must hang on a command the instrument takes at all.
  for (const auto& [line, index] : specialLines) {
    const int cmd = p.specials[index].afterCommand;
    if (!p.Takes(cmd)) {
      fail(line,
           "special: the instrument does not take command " + std::to_string(cmd) + " (add it to 'accept')");
    }
  }
  return result;
}

ProfileReader::Result ProfileReader::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Result result;
    result.errors.push_back(Error{0, "cannot be read"});
    return result;
  }
  std::ostringstream content;
  content << in.rdbuf();
  return Parse(content.str(), std::filesystem::path(path).stem().string());
}

}  // namespace sim
