#pragma once

#include <string_view>

#include "programmers/FirmwareImage.h"

namespace programmers {

// Parses a TI-TXT file held in memory into `image` (cleared first) and
// returns its LastIndex (-1 for a file without data).
//
// Layout of the result: blocks of at most 15 lines and 246 data bytes, each
// with an even number of data bytes (a section of odd length gets a 0xFF pad
// at its end). In the 16-bit layout a section is cut at 0x10000; when the
// file has lower blocks before its upper part, the lower blocks that reach
// into the vector segment (end >= 0xFE00) move behind the upper part with a
// marker block in front of them. In the 32-bit layout the vector blocks move
// behind all others (unless the first block is one).
//
// Line ends may be CR LF, LF or CR. Text after "q" is ignored; text before
// the first "@" yields nothing. The reader stops at the first input it cannot
// represent and records it in `image.fault`.
int ReadTiTxt(std::string_view text, FirmwareImage16& image);
int ReadTiTxt(std::string_view text, FirmwareImage32& image);

}  // namespace programmers
