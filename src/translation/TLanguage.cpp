#include "translation/TLanguage.h"

#include <optional>

#include "translation/Windows1252.h"

namespace translation {

namespace {

constexpr std::string_view kHintPrefix = "[Hint]";

// A line break of any form becomes two backslashes, so that an entry stays
// on one line of the file.
std::string EncodeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\\\\";
    } else if (text[i] == '\n') {
      out += "\\\\";
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string DecodeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      out += "\r\n";
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

struct Match {
  std::string_view line;
  size_t keyEnd = 0;  // offset just past the key
};

// The first line that holds `key`. For a text key, an occurrence that is the
// tail of a hint key ("[Hint][Name]") does not count: otherwise a hint entry
// standing before its text entry would give the caption the hint's text.
std::optional<Match> FindKey(const std::vector<std::string>& lines, std::string_view key, bool textKey) {
  for (const auto& line : lines) {
    size_t pos = line.find(key);
    while (pos != std::string::npos) {
      const bool inHintKey =
          textKey && pos >= kHintPrefix.size() &&
          std::string_view(line).substr(pos - kHintPrefix.size(), kHintPrefix.size()) == kHintPrefix;
      if (!inHintKey) return Match{line, pos + key.size()};
      pos = line.find(key, pos + 1);
    }
  }
  return std::nullopt;
}

struct Entry {
  std::string_view translation;
  std::optional<std::string_view> source;
};

// Splits the rest of a line after its key. "=" right after the key makes a
// template; otherwise the translation follows the first ":=", so that a "="
// inside the source text stays part of the source. A line with neither is
// split at its first "=", as a plain name=value line.
Entry SplitEntry(const Match& match) {
  const std::string_view rest = match.line.substr(match.keyEnd);
  if (rest.starts_with('=')) return Entry{rest.substr(1), std::nullopt};
  const size_t assign = rest.find(":=");
  if (assign != std::string_view::npos) return Entry{rest.substr(assign + 2), rest.substr(0, assign)};
  const size_t equals = match.line.find('=');
  if (equals == std::string_view::npos) return Entry{{}, std::nullopt};
  return Entry{match.line.substr(equals + 1), std::nullopt};
}

std::string Resolve(const Entry& entry) {
  if (!entry.translation.empty()) return DecodeLineBreaks(entry.translation);
  if (entry.source) return DecodeLineBreaks(*entry.source);
  return {};
}

}  // namespace

TLanguage::TLanguage(std::string dialogfile) : m_dialogfile(std::move(dialogfile)) {}

std::string TLanguage::TranslateText(std::string_view name, std::string_view text) {
  if (text.empty()) return {};
  const std::string key = "[" + std::string(name) + "]";
  const auto match = FindKey(m_lines, key, true);
  if (RecordMode()) {
    // One template per name, however often the window is translated.
    if (!match) m_lines.push_back(key + "=");
    return std::string(text);
  }
  if (!match) {
    m_lines.push_back(key + EncodeLineBreaks(text) + ":=");
    m_dictionaryChanged = true;
    return std::string(text);
  }
  return Resolve(SplitEntry(*match));
}

std::string TLanguage::TranslateHintText(std::string_view name, std::string_view hint) {
  const std::string key = std::string(kHintPrefix) + "[" + std::string(name) + "]";
  const auto match = FindKey(m_lines, key, false);
  if (RecordMode()) {
    if (!match) m_lines.push_back(key + EncodeLineBreaks(hint) + ":=");
    return {};
  }
  if (!match) return {};
  return Resolve(SplitEntry(*match));
}

bool TLanguage::LoadTranslateText() {
  DictionaryText text;
  std::string error;
  core::FileFault fault = core::FileFault::kNone;
  if (!DictionaryFile::Read(m_dialogfile, text, error, &fault)) {
    // Start the new dictionary empty: it is to hold this window's entries
    // only, not those of the dictionary loaded before. A file that exists
    // but cannot be read is never written over.
    m_lastError = error;
    if (fault == core::FileFault::kMissing)
      m_refusedFiles.erase(m_dialogfile);
    else
      m_refusedFiles[m_dialogfile] = error;
    m_recordedFiles.insert(m_dialogfile);
    m_lines.clear();
    m_loadedLines.clear();
    m_encoding = TextEncoding::kWindows1252;
    return false;
  }
  m_refusedFiles.erase(m_dialogfile);
  UseDictionary(std::move(text));
  return true;
}

void TLanguage::UseDictionary(DictionaryText text) {
  m_encoding = text.encoding;
  m_lines.clear();
  m_lines.reserve(text.lines.size());
  for (const auto& line : text.lines) m_lines.push_back(Utf16ToCp1252(line));
  m_loadedLines = std::move(text.lines);
}

bool TLanguage::SaveTranslateText() {
  if (!RecordMode() && !m_dictionaryChanged) return true;
  if (const auto refused = m_refusedFiles.find(m_dialogfile); refused != m_refusedFiles.end()) {
    m_lastError = refused->second;
    return false;
  }
  DictionaryText text;
  text.encoding = m_encoding;
  text.lines = m_loadedLines;
  for (size_t i = m_loadedLines.size(); i < m_lines.size(); ++i)
    text.lines.push_back(Cp1252ToUtf16(m_lines[i]));
  std::string error;
  if (!DictionaryFile::Write(m_dialogfile, DictionaryFile::Encode(text), error)) {
    m_lastError = error;
    return false;
  }
  return true;
}

}  // namespace translation
