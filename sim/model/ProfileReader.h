#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/model/InstrumentProfile.h"

namespace sim {

// Reads an instrument profile: lines of "key = value"; blank lines and lines
// whose first non-blank character is ';' or '#' are comments (a '#' inside a
// value is part of it, as in "special = 1131#2500 after 1131").
//
//   name = ph-meter                  (default: the file name without .profile)
//   description = free text
//   family = 0                       command set of the tool's StartMode 0..5
//   line = 4800 8N1                  baud, data bits, parity N/O/E/M/S, stop bits 1/1.5/2
//   pcb = 22074.001                  answer to A.2003
//   device = 23010.000               answer to A.2000
//   version = 1.23                   answer to A.2001 ("X.XX", "2.10,1.05", ...)
//   serial = 11110001                answer to A.4001
//   startup-version = 1.02           also answer I.2011 before the version
//   ident-codes = 23 20 21 25        answer codes (203/2013, 200/2010, 201/2011, 205)
//   reply-delay-ms = 10
//   special = CODE[#TEXT|$NUM] after CMD [delay MS] [times N]     (repeatable)
//   accept = CMD CMD ...             further commands acknowledged (repeatable)
//   boot-loader = frame h00h|h11h|h,,h BODY  |  0x90  |  Q
//   loader = MODEL [after CMD]       registry model that takes the line
//   flash = START SIZE SEGMENT       a flash region (repeatable; 0x for hex)
//   bsl = family 2xx chip 0xF26F version 1.61 reset 0x3100   MSP430 loader (BslSettings)
//   silent-from = CMD   garbage = CMD [COUNT]   drop-at = CMD    (faults)
class ProfileReader {
 public:
  struct Error {
    int line = 0;  // 1-based; 0 for the file as a whole
    std::string message;
  };
  struct Result {
    InstrumentProfile profile;
    std::vector<Error> errors;
    bool Ok() const { return errors.empty(); }
    // "FILE:LINE: message" lines, one per error.
    std::string ErrorText(std::string_view fileName) const;
  };

  static Result Parse(std::string_view text, std::string_view defaultName = {});
  static Result ReadFile(const std::string& path);

  // The pieces of a value, for the readers of its parts (BslSettings).
  // Words separated by blanks or tabs.
  static std::vector<std::string_view> Words(std::string_view value);
  // An unsigned number, the whole word, in `base` or, after "0x",
  // hexadecimal; at most `max`. False leaves `value` as it was.
  static bool ParseNumber(std::string_view word, uint64_t max, uint64_t& value, int base = 10);
  // The value named `word` in `table`. False leaves `value` as it was.
  template <typename T, size_t N>
  static bool Pick(std::string_view word, const std::array<std::pair<std::string_view, T>, N>& table,
                   T& value) {
    for (const auto& [name, named] : table) {
      if (name == word) {
        value = named;
        return true;
      }
    }
    return false;
  }
};

}  // namespace sim
