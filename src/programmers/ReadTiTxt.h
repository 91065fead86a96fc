#pragma once

#include <string_view>

#include "programmers/FirmwareImage.h"

namespace programmers {

// Parses a TI-TXT file held in memory into `image` (cleared first) and
// returns its LastIndex (-1 for a file without data).
//
// Layout of the result: blocks of at most 15 lines and 246 data bytes, each
// with an even number of data bytes (a section of odd length gets a 0xFF pad
// at its end, or the file's byte when another section gives that address;
// a section that continues an odd one joins its block). In the 16-bit layout a section is cut at 0x10000; when the
// file has lower blocks before its upper part, the lower blocks that reach
// into the vector segment (end >= 0xFE00) move behind the upper part with a
// marker block in front of them. In the 32-bit layout the vector blocks move
// behind all others (unless the first block is one).
//
// Line ends may be CR LF, LF or CR; blanks around a line are ignored. Text
// after "q" is ignored; a file without "@" yields nothing. The reader stops
// at the first line it cannot read or represent (no hex digit, half a byte,
// text before the first "@", an address given twice, limits) and records it
// in `image.fault` and `image.faultLine`. `hasResetVector` tells whether the
// file gives the word at 0xFFFE.
int ReadTiTxt(std::string_view text, FirmwareImage16& image);
int ReadTiTxt(std::string_view text, FirmwareImage32& image);

}  // namespace programmers
