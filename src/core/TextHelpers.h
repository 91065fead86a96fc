#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// Helpers on the program's 8-bit (Latin-1) texts. Positions are 1-based;
// 0 means "not found".

// Inserts `text` so that its first character stands at `position`
// (1 = in front, length + 1 = append). Positions outside 1..length+1 leave
// the buffer unchanged. Returns the buffer.
std::string& StrInsert(std::string_view text, std::string& buffer, uint32_t position);

// Removes `count` characters from `position` on. A range that runs past the
// end of the text, position 0, or count 0 leave the buffer unchanged.
std::string& StrDelete(std::string& buffer, uint32_t position, uint8_t count);

// 1-based position of the first match of `pattern` at or after `start`
// (0 and 1 search the whole text); 0 when not found or the pattern is empty.
// For a one-character separator, the result is also the 0-based offset of
// the character after it, which is how the program splits lists.
uint32_t StrPos(std::string_view text, std::string_view pattern, uint32_t start);

// Value of up to four hexadecimal digits, aligned to the right of the
// weights 4096, 256, 16, 1. Like the original there is no validation: a
// character that is no hex digit still gives some digit value. Only the
// first four characters of a longer text count.
int HexToInt(std::string_view text);

// Latin-1 to UTF-16 and back: each byte is the code point of the same value;
// narrowing keeps the low byte of each character.
std::u16string WidenText(std::string_view text);
std::string NarrowText(std::u16string_view text);

}  // namespace core
