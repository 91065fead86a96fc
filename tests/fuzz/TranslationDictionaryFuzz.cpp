// Dictionary files come from the package and from users' editors: no file
// may make the reader or the lookups fail, and writing a file back must
// give the lines that were read.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "translation/DictionaryFile.h"
#include "translation/TLanguage.h"

using translation::DictionaryFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  translation::DictionaryText text = DictionaryFile::Decode(bytes);
  // A NUL or a missing mark must not lose lines: each LF of an 8-bit file
  // ends one.
  if (text.encoding == translation::TextEncoding::kWindows1252 &&
      text.lines.size() < static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')))
    std::abort();

  const translation::DictionaryText again = DictionaryFile::Decode(DictionaryFile::Encode(text));
  if (again.encoding != text.encoding || again.lines != text.lines) std::abort();

  translation::TLanguage language("unused");
  language.UseDictionary(std::move(text));
  // Look up every name that a line offers, and a few fixed ones.
  const std::vector<std::string> lines = language.DictionaryLines();
  for (const std::string& line : lines) {
    const size_t open = line.rfind('[', line.find(']'));
    const size_t close = line.find(']', open == std::string::npos ? 0 : open);
    std::string name = open != std::string::npos && close != std::string::npos
                           ? line.substr(open + 1, close - open - 1)
                           : line.substr(0, 8);
    language.TranslateText(name, "Text\r\nmit = und :=");
    language.TranslateHintText(name, "Hinweis\n");
  }
  language.TranslateText("Hint", "x");
  language.TranslateText("", "x");
  language.TranslateHintText("", "");
  return 0;
}
