#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TranslationTestFiles.h"
#include "translation/DictionaryFile.h"
#include "translation/Windows1252.h"

namespace {

using translation::DictionaryFile;
using translation::DictionaryText;
using translation::TextEncoding;

TEST(TranslationCodePage, SpecialsOf1252AndTheUndefinedBytesRoundTrip) {
  EXPECT_EQ(translation::Cp1252ToUnicode(0x80), u'\u20AC');
  EXPECT_EQ(translation::Cp1252ToUnicode(0x84), u'\u201E');
  EXPECT_EQ(translation::Cp1252ToUnicode(0x9F), u'\u0178');
  EXPECT_EQ(translation::Cp1252ToUnicode(0x81), u'\u0081');
  EXPECT_EQ(translation::Cp1252ToUnicode(0xE4), u'\u00E4');
  for (int b = 0; b < 256; ++b) {
    bool ok = false;
    EXPECT_EQ(static_cast<unsigned char>(translation::UnicodeToCp1252(translation::Cp1252ToUnicode(b), &ok)),
              b);
    EXPECT_TRUE(ok) << b;
  }
  bool lossless = true;
  EXPECT_EQ(translation::Utf16ToCp1252(u"\u0142\U0001F600x", &lossless), "??x");
  EXPECT_FALSE(lossless);
}

TEST(TranslationDictionaryFile, LinesEndAtAnyBreakAndNulBytesAreDropped) {
  const auto lines = DictionaryFile::SplitLines(u"a\r\nb\nc\rd\n\re\r\n");
  EXPECT_EQ(lines, (std::vector<std::u16string>{u"a", u"b", u"c", u"d", u"", u"e"}));
  EXPECT_EQ(DictionaryFile::SplitLines(u"last"), std::vector<std::u16string>{u"last"});
  EXPECT_TRUE(DictionaryFile::SplitLines(u"").empty());
  const std::u16string padded(u"[A]=x\r\n\0\0\0junk", 14);
  EXPECT_EQ(DictionaryFile::SplitLines(padded), (std::vector<std::u16string>{u"[A]=x", u"junk"}));
  // One NUL inside the file loses nothing after it.
  constexpr char kDamaged[] = "[A]a:=x\r\n[B]b:=\0y\r\n[C]c:=z\r\n";
  const std::string damaged(kDamaged, sizeof kDamaged - 1);
  EXPECT_EQ(DictionaryFile::Decode(damaged).lines,
            (std::vector<std::u16string>{u"[A]a:=x", u"[B]b:=y", u"[C]c:=z"}));
}

TEST(TranslationDictionaryFile, Utf16WithoutByteOrderMarkIsRecognised) {
  const std::u16string source = u"[A]Ger\u00E4t:=Device\r\n[B]b:=\u20AC\r\n";
  std::string le;
  std::string be;
  for (char16_t unit : source) {
    le += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    be += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
  }
  const std::vector<std::u16string> expected{u"[A]Ger\u00E4t:=Device", u"[B]b:=\u20AC"};
  const DictionaryText little = DictionaryFile::Decode(le);
  EXPECT_EQ(little.encoding, TextEncoding::kUtf16Le);
  EXPECT_EQ(little.lines, expected);
  const DictionaryText big = DictionaryFile::Decode(be);
  EXPECT_EQ(big.encoding, TextEncoding::kUtf16Be);
  EXPECT_EQ(big.lines, expected);
  // Written back with its mark; nothing lost.
  EXPECT_EQ(DictionaryFile::Encode(little), "\xFF\xFE" + le);
  // NULs go before the mark is looked for: the file written back reads the same.
  const DictionaryText marked = DictionaryFile::Decode(std::string("\xEF\0\xBB\xBF[A]=x", 9));
  EXPECT_EQ(marked.encoding, TextEncoding::kUtf8);
  EXPECT_EQ(DictionaryFile::Decode(DictionaryFile::Encode(marked)).lines, marked.lines);
  // A 1252 file padded with NULs is no UTF-16.
  EXPECT_EQ(DictionaryFile::Decode("[A]a:=x\r\n" + std::string(64, '\0')).encoding,
            TextEncoding::kWindows1252);
}

// Only a regular file is read, and opening never blocks (a FIFO would hang
// the start-up before the window shows).
TEST(TranslationDictionaryFile, OnlyRegularFilesOfBoundedSizeAreRead) {
  TranslationTestFolder folder;
  const std::string fifo = folder.File("Update.Deu");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string loop = folder.File("Update.Eng");
  std::filesystem::create_symlink(loop, loop);
  const std::string large = folder.File("large.lng");
  TranslationTestFolder::Put(large, "");
  std::filesystem::resize_file(large, DictionaryFile::kMaxFileBytes + 1);
  const std::pair<std::string, core::FileFault> cases[] = {
      {fifo, core::FileFault::kNotRegular},
      {loop, core::FileFault::kLinkLoop},
      {large, core::FileFault::kTooLarge},
      {folder.File("none"), core::FileFault::kMissing},
      {folder.Path().string(), core::FileFault::kDirectory}};
  for (const auto& [path, expected] : cases) {
    DictionaryText text;
    std::string error;
    core::FileFault fault = core::FileFault::kNone;
    EXPECT_FALSE(DictionaryFile::Read(path, text, error, &fault)) << path;
    EXPECT_EQ(fault, expected) << path;
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
}

TEST(TranslationDictionaryFile, ByteOrderMarksPickTheEncodingAndAreWrittenBack) {
  // "Gerät" in each form, then "€".
  const std::string ansi = "Ger\xE4t\r\n\x80";
  const std::string utf8 = "\xEF\xBB\xBFGer\xC3\xA4t\r\n\xE2\x82\xAC";
  const std::string le = std::string("\xFF\xFEG\0e\0r\0\xE4\0t\0\r\0\n\0\xAC\x20", 18);
  const std::string be = std::string("\xFE\xFF\0G\0e\0r\0\xE4\0t\0\r\0\n\x20\xAC", 18);
  const std::vector<std::u16string> expected{u"Ger\u00E4t", u"\u20AC"};
  const std::pair<std::string, TextEncoding> cases[] = {{ansi, TextEncoding::kWindows1252},
                                                        {utf8, TextEncoding::kUtf8},
                                                        {le, TextEncoding::kUtf16Le},
                                                        {be, TextEncoding::kUtf16Be}};
  for (const auto& [bytes, encoding] : cases) {
    const DictionaryText text = DictionaryFile::Decode(bytes);
    EXPECT_EQ(text.encoding, encoding);
    EXPECT_EQ(text.lines, expected);
    // Written back: the same bytes, every line ended by CR LF.
    std::string crlf = encoding == TextEncoding::kUtf16Le   ? std::string("\r\0\n\0", 4)
                       : encoding == TextEncoding::kUtf16Be ? std::string("\0\r\0\n", 4)
                                                            : std::string("\r\n");
    EXPECT_EQ(DictionaryFile::Encode(text), bytes + crlf) << static_cast<int>(encoding);
  }
}

TEST(TranslationDictionaryFile, MalformedUnicodeBecomesReplacementCharacters) {
  // Bad lead byte, truncated sequence, overlong "/", encoded surrogate, then an odd UTF-16 byte.
  const auto text = DictionaryFile::Decode(
      "\xEF\xBB\xBF"
      "a\xFF"
      "b\xC3"
      "\xC0\xAF"
      "\xED\xA0\x80"
      "\xF0\x9F\x98\x80");
  EXPECT_EQ(text.lines, std::vector<std::u16string>{u"a\uFFFDb\uFFFD\uFFFD\uFFFD\U0001F600"});
  EXPECT_EQ(DictionaryFile::Decode(std::string("\xFF\xFE"
                                               "A\0B",
                                               5))
                .lines,
            std::vector<std::u16string>{u"A"});
}

TEST(TranslationDictionaryFile, WriteReplacesTheFileWholeAndKeepsItsMode) {
  TranslationTestFolder folder;
  const std::string path = folder.File("Update.Deu");
  TranslationTestFolder::Put(path, "old\r\n");
  std::filesystem::permissions(path, std::filesystem::perms(0640));
  std::string error;
  ASSERT_TRUE(DictionaryFile::Write(path, "new\r\n", error)) << error;
  EXPECT_EQ(TranslationTestFolder::Get(path), "new\r\n");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);

  EXPECT_FALSE(DictionaryFile::Write(folder.File("missing/Update.Deu"), "x", error));
  EXPECT_NE(error.find("missing/Update.Deu"), std::string::npos);

  DictionaryText text;
  EXPECT_FALSE(DictionaryFile::Read(folder.Path().string(), text, error));
  EXPECT_FALSE(DictionaryFile::Read(folder.File("none"), text, error));
  EXPECT_NE(error.find("none"), std::string::npos);
}

}  // namespace
