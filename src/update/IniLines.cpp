#include "update/IniLines.h"

namespace update {

namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// UTF-8 to Latin-1; malformed sequences and characters above U+00FF give '?'.
std::string NarrowUtf8(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    const auto c = static_cast<unsigned char>(in[i]);
    size_t length = c < 0x80             ? 1
                    : (c & 0xE0) == 0xC0 ? 2
                    : (c & 0xF0) == 0xE0 ? 3
                    : (c & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (length == 0 || i + length > in.size()) {
      out.push_back('?');
      ++i;
      continue;
    }
    uint32_t code = length == 1 ? c : (c & (0x7F >> length));
    bool valid = true;
    for (size_t k = 1; k < length; ++k) {
      const auto follow = static_cast<unsigned char>(in[i + k]);
      if ((follow & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (follow & 0x3F);
    }
    if (!valid) {
      out.push_back('?');
      ++i;
      continue;
    }
    out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
    i += length;
  }
  return out;
}

}  // namespace

std::optional<IniLines> IniLines::Load(const std::filesystem::path& path, core::FileFault* fault) {
  std::string bytes;
  const core::FileFault result = core::ReadRegularFile(path.string(), kMaxFileBytes, bytes);
  if (fault) *fault = result;
  if (result != core::FileFault::kNone) return std::nullopt;
  return Parse(bytes);
}

IniLines IniLines::Parse(std::string_view bytes) {
  std::string text;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    text = NarrowUtf8(bytes.substr(3));
    bytes = text;
  }
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    lines.emplace_back(bytes.substr(start, i - start));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
  return IniLines(std::move(lines));
}

std::string IniLines::Value(std::string_view key, size_t capacity) const {
  return ValueIn(m_lines, 0, m_lines.size(), key, capacity);
}

std::string IniLines::ValueIn(const std::vector<std::string>& lines, size_t first, size_t count,
                              std::string_view key, size_t capacity) {
  for (size_t i = first; i < first + count && i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (EqualNoCase(std::string_view(line).substr(0, eq), key)) return line.substr(eq + 1, capacity);
  }
  return {};
}

}  // namespace update
