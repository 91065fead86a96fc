#include "update/versions/FileVersionScan.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/TextHelpers.h"

namespace update {
namespace {

constexpr uint64_t kTextWindow = 1000;
constexpr uint64_t kPeWindow = 64000;
constexpr uint64_t kBinWindow = 250000;

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// First occurrence of `key` in `data` (Knuth-Morris-Pratt, linear in the
// data; memchr skips to the next candidate first byte while nothing is
// matched), and whether a zero byte stands before it. npos when absent; an
// empty key is found at 0 of non-empty data.
struct Hit {
  size_t position = std::string_view::npos;
  bool zeroBefore = false;
};

Hit FindFirst(std::string_view data, std::string_view key) {
  Hit hit;
  if (data.empty()) return hit;
  if (key.empty()) {
    hit.position = 0;
    return hit;
  }
  std::vector<size_t> fallback(key.size(), 0);
  for (size_t i = 1, k = 0; i < key.size(); ++i) {
    while (k > 0 && key[i] != key[k]) k = fallback[k - 1];
    if (key[i] == key[k]) ++k;
    fallback[i] = k;
  }
  size_t matched = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    if (matched == 0) {
      const void* next = std::memchr(data.data() + i, key[0], data.size() - i);
      if (next == nullptr) return hit;
      i = static_cast<size_t>(static_cast<const char*>(next) - data.data());
    }
    while (matched > 0 && data[i] != key[matched]) matched = fallback[matched - 1];
    if (data[i] == key[matched]) ++matched;
    if (matched == key.size()) {
      hit.position = i + 1 - key.size();
      // The key holds no zero byte, so a zero before the match ends before it.
      hit.zeroBefore = std::memchr(data.data(), '\0', hit.position) != nullptr;
      return hit;
    }
  }
  return hit;
}

// Pairs of hex digits from `start` on, blanks between pairs skipped, until a
// pair gives 0 or the text ends (end of data or a zero byte, where the key
// search ends too). No validation of the digits.
std::string DecodeHexPairs(std::string_view data, size_t start) {
  std::string text;
  size_t i = start;
  while (text.size() < kVersionTextMax) {
    while (i < data.size() && data[i] == ' ') ++i;
    if (i + 2 > data.size() || data[i] == '\0' || data[i + 1] == '\0') break;
    const char digits[4] = {'0', '0', data[i], data[i + 1]};
    const int value = core::HexToInt(std::string_view(digits, 4));
    i += 2;
    // A character with the low byte 0 would end the stored text as well.
    if (value == 0 || (value & 0xFF) == 0) break;
    text.push_back(static_cast<char>(value & 0xFF));
  }
  return text;
}

std::string ZeroTerminatedAt(std::string_view data, size_t start) {
  if (start >= data.size()) return {};
  const size_t end = std::min(data.find('\0', start), data.size());
  return std::string(data.substr(start, std::min(end - start, kVersionTextMax)));
}

std::string TextVersion(std::string_view key, std::string_view data) {
  const std::string_view firstRun = data.substr(0, std::min(data.find('\0'), data.size()));
  const size_t at = data.empty() ? std::string_view::npos : firstRun.find(key);
  if (at == std::string_view::npos) return {};
  return DecodeHexPairs(data, at + key.size());
}

// Equal to: at every offset, search the key in the zero-terminated run that
// begins there; the first hit wins. As the key holds no zero, that is the
// key's first occurrence, which one pass finds. When that occurrence lies
// before the first zero byte, the hex-pair reading of text files applies and
// its result replaces the plain text.
std::string BinVersion(std::string_view key, std::string_view data) {
  const Hit hit = FindFirst(data, key);
  if (hit.position == std::string_view::npos) return {};
  const size_t end = hit.position + key.size();
  if (!hit.zeroBefore) return DecodeHexPairs(data, end);
  const bool skipFour = !key.empty() && static_cast<unsigned char>(key[0]) == 0xDD;
  return ZeroTerminatedAt(data, end + (skipFour ? 4 : 1));
}

std::string PeVersion(std::string_view key, std::string_view data) {
  std::u16string units(data.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                     static_cast<unsigned char>(data[2 * i + 1]) << 8);
  }
  const std::u16string wideKey = core::WidenText(key);
  const std::u16string_view all(units);
  const auto stringAt = [&](size_t at) {
    if (at >= all.size()) return std::u16string_view();
    return all.substr(at, std::min(all.find(u'\0', at), all.size()) - at);
  };
  for (size_t at = 0; at < all.size();) {
    const std::u16string_view s = stringAt(at);
    if (s.find(wideKey) != std::u16string_view::npos) {
      std::u16string_view version;
      const size_t blank = s.find(u' ');
      if (blank != std::u16string_view::npos) {
        version = s.substr(blank + 1);
      } else {
        // Resource layout: key, its zero, padding, then the value string;
        // the value's first character is left out.
        version = stringAt(at + s.size() + 2);
        if (!version.empty()) version.remove_prefix(1);
      }
      return core::NarrowText(version.substr(0, kVersionTextMax));
    }
    at += s.empty() ? 1 : s.size();
  }
  return {};
}

}  // namespace

FileKind FileKindOf(std::string_view key, std::string_view fileName) {
  const bool srec = Contains(key, "S1094000");
  const bool pe = Contains(fileName, "EXE") || Contains(fileName, "DLL");
  const bool bin = Contains(fileName, "BIN");
  if (srec + pe + bin > 1) return FileKind::kAmbiguous;
  if (srec) return FileKind::kSrec;
  if (pe) return FileKind::kPe;
  if (bin) return FileKind::kBin;
  return FileKind::kText;
}

ReadWindow WindowOf(FileKind kind, uint64_t fileSize) {
  switch (kind) {
    case FileKind::kText:
      return {0, std::min(fileSize, kTextWindow)};
    case FileKind::kSrec:
      return {fileSize - std::min(fileSize, kTextWindow), std::min(fileSize, kTextWindow)};
    case FileKind::kPe:
      return {fileSize - std::min(fileSize, kPeWindow), std::min(fileSize, kPeWindow)};
    case FileKind::kBin:
      return {fileSize - std::min(fileSize, kBinWindow), std::min(fileSize, kBinWindow)};
    case FileKind::kAmbiguous:
      break;
  }
  return {};
}

std::string VersionFromData(FileKind kind, std::string_view key, std::string_view data) {
  key = key.substr(0, std::min(key.find('\0'), key.size()));
  switch (kind) {
    case FileKind::kText:
    case FileKind::kSrec:
      return TextVersion(key, data);
    case FileKind::kPe:
      return PeVersion(key, data);
    case FileKind::kBin:
      return BinVersion(key, data);
    case FileKind::kAmbiguous:
      break;
  }
  return {};
}

}  // namespace update
