#include "translation/Windows1252.h"

namespace translation {

namespace {

constexpr char16_t kHighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

char16_t Cp1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighHalf[byte - 0x80];
  return byte;
}

char UnicodeToCp1252(char16_t unit, bool* representable) {
  bool ok = true;
  char result = '?';
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
    result = static_cast<char>(unit);
  } else {
    ok = false;
    for (int i = 0; i < 32; ++i) {
      if (kHighHalf[i] == unit) {
        result = static_cast<char>(0x80 + i);
        ok = true;
        break;
      }
    }
  }
  if (representable) *representable = ok;
  return result;
}

std::u16string Cp1252ToUtf16(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char c : text) wide.push_back(Cp1252ToUnicode(static_cast<unsigned char>(c)));
  return wide;
}

std::string Utf16ToCp1252(std::u16string_view text, bool* lossless) {
  std::string narrow;
  narrow.reserve(text.size());
  bool all = true;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    bool ok = false;
    narrow.push_back(UnicodeToCp1252(text[i], &ok));
    all = all && ok;
  }
  if (lossless) *lossless = all;
  return narrow;
}

}  // namespace translation
