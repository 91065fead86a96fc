#pragma once

#include <string>
#include <string_view>

namespace translation {

// The dictionaries' 8-bit code page. Windows-1252 agrees with Latin-1 except
// for 0x80..0x9F, where it has the euro sign, typographic quotes, dashes and
// a few letters. The five bytes that 1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 controls of the same value, so every byte
// survives a round trip.

char16_t Cp1252ToUnicode(unsigned char byte);

// The 1252 byte for a UTF-16 code unit; '?' for anything 1252 cannot hold.
char UnicodeToCp1252(char16_t unit, bool* representable = nullptr);

std::u16string Cp1252ToUtf16(std::string_view text);

// Characters outside 1252 (and surrogate pairs, counted once) become '?'.
std::string Utf16ToCp1252(std::u16string_view text, bool* lossless = nullptr);

}  // namespace translation
