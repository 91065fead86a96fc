#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/RegularFile.h"

namespace translation {

// How a dictionary file is stored. Without a byte-order mark a file is
// Windows-1252 (the files were written on Windows); a UTF-8 file without a
// mark therefore reads as 1252, as it always did.
enum class TextEncoding { kWindows1252, kUtf8, kUtf16Le, kUtf16Be };

// A dictionary file as lines of UTF-16 text.
struct DictionaryText {
  TextEncoding encoding = TextEncoding::kWindows1252;
  std::vector<std::u16string> lines;
};

// Reading and writing of dictionary files, line by line.
//
// Lines end at CR LF, a lone LF or a lone CR; a break at the very end adds no
// empty line; NUL characters are dropped (a damaged file's zero padding),
// and the lines after them are kept, so that writing the file back never
// loses an entry. UTF-16 is recognised by its byte-order mark or, without
// one, by the zero bytes of its ASCII characters.
// Writing ends every line with CR LF and writes the byte-order mark of the
// encoding, so a file keeps the encoding it was read with (a UTF-16 file
// without a mark gets one).
class DictionaryFile {
 public:
  // Decodes file contents; never fails. Malformed UTF-8 or UTF-16 becomes
  // U+FFFD, an odd trailing byte of UTF-16 is dropped.
  static DictionaryText Decode(std::string_view bytes);
  static std::string Encode(const DictionaryText& text);

  // Splits like the string list: CR LF, LF or CR end a line.
  static std::vector<std::u16string> SplitLines(std::u16string_view text);

  // Larger files are no dictionaries; reading refuses them.
  static constexpr size_t kMaxFileBytes = 4u * 1024 * 1024;

  // false with a message naming the file when it is no regular file of at
  // most kMaxFileBytes or cannot be read; `fault` says why.
  static bool Read(const std::string& path, DictionaryText& text, std::string& error,
                   core::FileFault* fault = nullptr);

  // Writes through a temporary file in the same folder and a rename, so the
  // file is either the old or the new one, never half written. A file that
  // existed keeps its permissions. false with a message on any failure; the
  // old file is then untouched.
  static bool Write(const std::string& path, const std::string& bytes, std::string& error);
};

}  // namespace translation
