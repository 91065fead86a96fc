#include "translation/DictionaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "translation/Windows1252.h"

namespace translation {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    int length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    int taken = 1;
    while (taken < length && i + taken < bytes.size() &&
           (static_cast<unsigned char>(bytes[i + taken]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + taken]) & 0x3F);
      ++taken;
    }
    i += taken;
    if (taken < length || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(kReplacement);
    } else {
      AppendCodePoint(out, cp);
    }
  }
  return out;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
  }
  return out;
}

void EncodeUtf8(std::u16string_view text, std::string& out) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

void EncodeUtf16(std::u16string_view text, bool bigEndian, std::string& out) {
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
  }
}

// Text of a dictionary is mostly ASCII: in UTF-16 every other byte is zero.
// Zeros on both sides (a file padded with NULs) are no UTF-16.
std::optional<TextEncoding> Utf16WithoutMark(std::string_view bytes) {
  const size_t pairs = bytes.size() / 2;
  if (pairs < 2) return std::nullopt;
  size_t zeroEven = 0;
  size_t zeroOdd = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    zeroEven += bytes[i] == '\0';
    zeroOdd += bytes[i + 1] == '\0';
  }
  if (zeroOdd * 2 >= pairs && zeroEven * 10 < pairs) return TextEncoding::kUtf16Le;
  if (zeroEven * 2 >= pairs && zeroOdd * 10 < pairs) return TextEncoding::kUtf16Be;
  return std::nullopt;
}

std::string ErrnoText() {
  return std::strerror(errno);
}

}  // namespace

std::vector<std::u16string> DictionaryFile::SplitLines(std::u16string_view view) {
  // A NUL is no text: it is dropped, and the lines after it are kept.
  std::u16string text(view);
  std::erase(text, u'\0');
  std::vector<std::u16string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      lines.emplace_back(text, start, i - start);
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start, text.size() - start));
  return lines;
}

DictionaryText DictionaryFile::Decode(std::string_view bytes) {
  DictionaryText result;
  std::u16string text;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    result.encoding = TextEncoding::kUtf8;
    text = DecodeUtf8(bytes.substr(3));
  } else if (bytes.starts_with("\xFF\xFE")) {
    result.encoding = TextEncoding::kUtf16Le;
    text = DecodeUtf16(bytes.substr(2), false);
  } else if (bytes.starts_with("\xFE\xFF")) {
    result.encoding = TextEncoding::kUtf16Be;
    text = DecodeUtf16(bytes.substr(2), true);
  } else if (const std::optional<TextEncoding> utf16 = Utf16WithoutMark(bytes)) {
    result.encoding = *utf16;
    text = DecodeUtf16(bytes, *utf16 == TextEncoding::kUtf16Be);
  } else if (bytes.find('\0') != std::string_view::npos) {
    // An 8-bit file: its NULs go before the mark is looked for, so that the
    // file written back reads the same.
    std::string clean(bytes);
    std::erase(clean, '\0');
    return Decode(clean);
  } else {
    text = Cp1252ToUtf16(bytes);
  }
  result.lines = SplitLines(text);
  return result;
}

std::string DictionaryFile::Encode(const DictionaryText& text) {
  std::string out;
  switch (text.encoding) {
    case TextEncoding::kWindows1252:
      for (const auto& line : text.lines) out += Utf16ToCp1252(line) + "\r\n";
      break;
    case TextEncoding::kUtf8:
      out = "\xEF\xBB\xBF";
      for (const auto& line : text.lines) EncodeUtf8(line + u"\r\n", out);
      break;
    case TextEncoding::kUtf16Le:
    case TextEncoding::kUtf16Be: {
      const bool big = text.encoding == TextEncoding::kUtf16Be;
      out = big ? "\xFE\xFF" : "\xFF\xFE";
      for (const auto& line : text.lines) EncodeUtf16(line + u"\r\n", big, out);
      break;
    }
  }
  return out;
}

bool DictionaryFile::Read(const std::string& path, DictionaryText& text, std::string& error,
                          core::FileFault* fault) {
  std::string bytes;
  const core::FileFault result = core::ReadRegularFile(path, kMaxFileBytes, bytes);
  if (fault) *fault = result;
  if (result != core::FileFault::kNone) {
    error = "The dictionary " + path + " " + core::FileFaultText(result).English() + ".";
    return false;
  }
  text = Decode(bytes);
  return true;
}

bool DictionaryFile::Write(const std::string& path, const std::string& bytes, std::string& error) {
  const auto fail = [&](const std::string& what) {
    error = "Cannot write the dictionary " + path + ": " + what;
    return false;
  };
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return fail(ErrnoText());

  mode_t mode = 0;
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }

  bool ok = fchmod(fd, mode) == 0;
  size_t written = 0;
  while (ok && written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    written += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  std::string reason = ok ? std::string() : ErrnoText();
  if (::close(fd) != 0 && ok) {
    ok = false;
    reason = ErrnoText();
  }
  if (!ok) {
    unlink(temp.c_str());
    return fail(reason);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = ErrnoText();
    unlink(temp.c_str());
    return fail(why);
  }
  return true;
}

}  // namespace translation
