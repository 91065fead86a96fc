#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TranslationTestFiles.h"
#include "translation/TLanguage.h"

namespace {

using translation::TextEncoding;
using translation::TLanguage;

struct Control {
  std::string name, caption, hint;
};

// One translation of a window as TranslateDialog does it: load, the form's
// caption, each control's caption and hint, save.
std::vector<Control> Translate(TLanguage& language, const std::vector<Control>& controls) {
  language.LoadTranslateText();
  std::vector<Control> shown;
  for (const auto& c : controls) {
    shown.push_back(
        {c.name, language.TranslateText(c.name, c.caption), language.TranslateHintText(c.name, c.hint)});
  }
  EXPECT_TRUE(language.SaveTranslateText()) << language.LastError();
  return shown;
}

const std::vector<Control> kWindow = {
    {"UpdateForm", "Download :", ""},
    {"OkBitBtn", "OK", "Update starten"},
    {"DLLabel", "Download-Liste", ""},
    {"SpeedButton1", "", ""},
};

class TranslationTest : public ::testing::Test {
 protected:
  TranslationTestFolder m_folder;
  std::string m_deu = m_folder.File("Update.Deu");
  std::string m_eng = m_folder.File("Update.Eng");
};

TEST_F(TranslationTest, FirstRunRecordsTemplatesAndHintsAndTheNextRunUsesThem) {
  TLanguage first(m_deu);
  const auto shown = Translate(first, kWindow);
  EXPECT_TRUE(first.RecordMode());
  EXPECT_EQ(shown[1].caption, "OK");  // captions as designed, hints cleared
  EXPECT_EQ(shown[1].hint, "");
  EXPECT_EQ(shown[3].caption, "");
  EXPECT_EQ(TranslationTestFolder::Get(m_deu),
            "[UpdateForm]=\r\n[Hint][UpdateForm]:=\r\n"
            "[OkBitBtn]=\r\n[Hint][OkBitBtn]Update starten:=\r\n"
            "[DLLabel]=\r\n[Hint][DLLabel]:=\r\n"
            "[Hint][SpeedButton1]:=\r\n");

  // Next start: an unfilled template blanks its caption, a filled one is shown.
  TranslationTestFolder::Put(m_deu,
                             "[UpdateForm]=Download\r\n[OkBitBtn]=\r\n[Hint][OkBitBtn]Update starten:=\r\n"
                             "[DLLabel]=Liste\r\n");
  TLanguage second(m_deu);
  const auto next = Translate(second, kWindow);
  EXPECT_FALSE(second.RecordMode());
  EXPECT_EQ(next[0].caption, "Download");
  EXPECT_EQ(next[1].caption, "");
  EXPECT_EQ(next[1].hint, "Update starten");
  EXPECT_EQ(next[2].caption, "Liste");
  EXPECT_EQ(next[2].hint, "");  // no hint entry: the hint is lost
  EXPECT_FALSE(second.DictionaryChanged());
}

TEST_F(TranslationTest, CompleteDictionaryIsNotWrittenAndMissingEntriesAreAdded) {
  TranslationTestFolder::Put(m_deu, "[UpdateForm]Download :=Laden\r\n[OkBitBtn]OK:=\r\n");
  TLanguage language(m_deu);
  ASSERT_TRUE(language.LoadTranslateText());
  EXPECT_EQ(language.TranslateText("UpdateForm", "Download :"), "Laden");
  EXPECT_EQ(language.TranslateText("OkBitBtn", "Ok?"), "OK");  // empty translation: the stored source
  std::filesystem::remove(m_deu);
  EXPECT_TRUE(language.SaveTranslateText());
  EXPECT_FALSE(std::filesystem::exists(m_deu));  // nothing changed, nothing written

  EXPECT_EQ(language.TranslateText("DLLabel", "Zeile 1\r\nZeile 2"), "Zeile 1\r\nZeile 2");
  EXPECT_EQ(language.TranslateHintText("DLLabel", "Tipp"), "");  // hints are never added
  EXPECT_TRUE(language.DictionaryChanged());
  ASSERT_TRUE(language.SaveTranslateText());
  EXPECT_EQ(TranslationTestFolder::Get(m_deu),
            "[UpdateForm]Download :=Laden\r\n[OkBitBtn]OK:=\r\n[DLLabel]Zeile 1\\\\Zeile 2:=\r\n");
  // The stored line break comes back, and so does a translated one.
  TLanguage again(m_deu);
  again.LoadTranslateText();
  EXPECT_EQ(again.TranslateText("DLLabel", "x"), "Zeile 1\r\nZeile 2");
  TranslationTestFolder::Put(m_deu, "[DLLabel]Zeile 1\\\\Zeile 2:=Line 1\\\\Line 2\r\n");
  again.LoadTranslateText();
  EXPECT_EQ(again.TranslateText("DLLabel", "x"), "Line 1\r\nLine 2");
}

TEST_F(TranslationTest, EntryForms) {
  TranslationTestFolder::Put(m_deu,
                             "; comment with = sign\r\n"
                             "[Hint][A]Tipp A:=Hint A\r\n"  // stands before A's text entry
                             "[A]Text A:=Caption A\r\n"
                             "[B]a=b:=\r\n"  // "=" inside the source text
                             "[C]a=b:=c=d\r\n"
                             "[D]=x:=y\r\n"  // template whose translation holds ":="
                             "[E]plain=value\r\n"
                             "[F]no separator\r\n"
                             "[Hint][G]Tipp G:=\r\n"  // hint entry only
                             "[Hint][H]=Hint H\r\n");
  TLanguage language(m_deu);
  ASSERT_TRUE(language.LoadTranslateText());
  EXPECT_EQ(language.TranslateText("A", "Text A"), "Caption A");
  EXPECT_EQ(language.TranslateHintText("A", "Tipp A"), "Hint A");
  EXPECT_EQ(language.TranslateText("B", "a=b"), "a=b");
  EXPECT_EQ(language.TranslateText("C", "a=b"), "c=d");
  EXPECT_EQ(language.TranslateText("D", "x"), "x:=y");
  EXPECT_EQ(language.TranslateText("E", "plain"), "value");
  EXPECT_EQ(language.TranslateText("F", "x"), "");
  EXPECT_EQ(language.TranslateHintText("G", "x"), "Tipp G");
  EXPECT_EQ(language.TranslateHintText("H", "x"), "Hint H");
  EXPECT_FALSE(language.DictionaryChanged());
  // G's caption has no text entry; its hint entry does not stand in for one.
  EXPECT_EQ(language.TranslateText("G", "Debug-Mode"), "Debug-Mode");
  EXPECT_TRUE(language.DictionaryChanged());
  EXPECT_EQ(language.DictionaryLines().back(), "[G]Debug-Mode:=");
}

TEST_F(TranslationTest, RecordedHintWithLineBreakStaysOneLine) {
  TLanguage language(m_deu);
  language.LoadTranslateText();
  EXPECT_EQ(language.TranslateHintText("OkBitBtn", "eins\r\nzwei\ndrei"), "");
  ASSERT_TRUE(language.SaveTranslateText());
  EXPECT_EQ(TranslationTestFolder::Get(m_deu), "[Hint][OkBitBtn]eins\\\\zwei\\\\drei:=\r\n");
  TLanguage next(m_deu);
  next.LoadTranslateText();
  EXPECT_EQ(next.TranslateHintText("OkBitBtn", ""), "eins\r\nzwei\r\ndrei");
}

TEST_F(TranslationTest, RepeatedSwitchesWhileRecording) {
  TranslationTestFolder::Put(m_eng, "[UpdateForm]Download :=Download\r\n[OkBitBtn]OK:=Go\r\n");
  TLanguage language("own.lng");
  language.SetDialogfile(m_deu);  // missing: recorded
  Translate(language, kWindow);
  const std::string recorded = TranslationTestFolder::Get(m_deu);
  ASSERT_FALSE(recorded.empty());

  for (int round = 0; round < 3; ++round) {
    language.SetDialogfile(m_eng);  // present: translated, not recorded into
    const auto english = Translate(language, kWindow);
    EXPECT_FALSE(language.RecordMode());
    EXPECT_EQ(english[1].caption, "Go");

    language.SetDialogfile(m_deu);  // still recording, but the file does not grow
    const auto german = Translate(language, kWindow);
    EXPECT_TRUE(language.RecordMode());
    EXPECT_EQ(german[1].caption, "OK");
    EXPECT_EQ(TranslationTestFolder::Get(m_deu), recorded) << round;
  }
  // The English file received the entries it lacked, and nothing of German.
  EXPECT_EQ(TranslationTestFolder::Get(m_eng),
            "[UpdateForm]Download :=Download\r\n[OkBitBtn]OK:=Go\r\n[DLLabel]Download-Liste:=\r\n");
}

TEST_F(TranslationTest, UmlautsAndForeignCharactersSurviveRewriting) {
  // 1252 file: "Gerät" and "€" stay single bytes.
  TranslationTestFolder::Put(m_deu, "[UpdateGroupBox]Ger\xE4t:=Ger\xE4t \x80\r\n");
  TLanguage ansi(m_deu);
  ansi.LoadTranslateText();
  EXPECT_EQ(ansi.TranslateText("UpdateGroupBox", "Ger\xE4t"), "Ger\xE4t \x80");
  ansi.TranslateText("NewLabel",
                     "\xDC"
                     "bersicht");
  ASSERT_TRUE(ansi.SaveTranslateText());
  EXPECT_EQ(TranslationTestFolder::Get(m_deu),
            "[UpdateGroupBox]Ger\xE4t:=Ger\xE4t \x80\r\n[NewLabel]\xDC"
            "bersicht:=\r\n");

  // UTF-8 file with a letter 1252 lacks: shown as '?', but kept in the file.
  const std::string utf8 =
      "\xEF\xBB\xBF[A]x:=\xC5\x82\xC3\xB3"
      "d\xC5\xBA\r\n";
  TranslationTestFolder::Put(m_eng, utf8);
  TLanguage unicode(m_eng);
  unicode.LoadTranslateText();
  EXPECT_EQ(unicode.Encoding(), TextEncoding::kUtf8);
  EXPECT_EQ(unicode.TranslateText("A", "x"),
            "?\xF3"
            "d?");
  unicode.TranslateText("B", "\xE4");
  ASSERT_TRUE(unicode.SaveTranslateText());
  EXPECT_EQ(TranslationTestFolder::Get(m_eng), utf8 + "[B]\xC3\xA4:=\r\n");
}

// A rewrite never holds fewer entries than the file did.
TEST_F(TranslationTest, DamagedDictionariesAreNeverWrittenShorter) {
  // A NUL in the middle: every entry after it stays and is used.
  constexpr char kDamaged[] = "[A]a:=Eins\r\n[B]b:=\0Zwei\r\n[C]c:=Drei\r\n";
  const std::string damaged(kDamaged, sizeof kDamaged - 1);
  TranslationTestFolder::Put(m_deu, damaged);
  TLanguage language(m_deu);
  ASSERT_TRUE(language.LoadTranslateText());
  EXPECT_EQ(language.TranslateText("C", "c"), "Drei");
  language.TranslateText("D", "d");
  ASSERT_TRUE(language.SaveTranslateText()) << language.LastError();
  EXPECT_EQ(TranslationTestFolder::Get(m_deu), "[A]a:=Eins\r\n[B]b:=Zwei\r\n[C]c:=Drei\r\n[D]d:=\r\n");

  // A file that is there but refused (too large) is left as it is and the
  // reason is reported instead.
  TranslationTestFolder::Put(m_eng,
                             "[A]a:=One\r\n" + std::string(translation::DictionaryFile::kMaxFileBytes, ' '));
  const std::string before = TranslationTestFolder::Get(m_eng);
  TLanguage large(m_eng);
  EXPECT_FALSE(large.LoadTranslateText());
  EXPECT_EQ(large.TranslateText("A", "a"), "a");
  EXPECT_FALSE(large.SaveTranslateText());
  EXPECT_NE(large.LastError().find("too large"), std::string::npos) << large.LastError();
  EXPECT_EQ(TranslationTestFolder::Get(m_eng), before);
}

TEST_F(TranslationTest, FailedLoadStartsAnEmptyDictionaryAndWriteErrorsAreReported) {
  TranslationTestFolder::Put(m_eng, "[A]a:=English\r\n");
  TLanguage language(m_eng);
  language.LoadTranslateText();
  language.SetDialogfile(m_folder.File("gone/Update.Deu"));
  EXPECT_FALSE(language.LoadTranslateText());
  EXPECT_TRUE(language.RecordMode());
  EXPECT_TRUE(language.DictionaryLines().empty());
  EXPECT_EQ(language.TranslateText("A", "a"), "a");
  EXPECT_FALSE(language.SaveTranslateText());
  EXPECT_NE(language.LastError().find("gone/Update.Deu"), std::string::npos);
  EXPECT_EQ(language.TranslateText("", ""), "");
}

}  // namespace

namespace {

// The shipped dictionaries of the main window: the same components in both,
// and every one with a text in each language.
TEST(TranslationDemoDictionaries, BothLanguagesCoverTheSameComponents) {
  TLanguage german(IU_DEMO_DIR "/Update.Deu");
  TLanguage english(IU_DEMO_DIR "/Update.Eng");
  ASSERT_TRUE(german.LoadTranslateText());
  ASSERT_TRUE(english.LoadTranslateText());
  ASSERT_EQ(german.DictionaryLines().size(), english.DictionaryLines().size());
  for (size_t i = 0; i < german.DictionaryLines().size(); ++i) {
    const std::string& line = german.DictionaryLines()[i];
    const std::string key = line.substr(0, line.find(']') + 1);
    ASSERT_TRUE(english.DictionaryLines()[i].starts_with(key)) << line;
    const std::string name = key.substr(1, key.size() - 2);
    EXPECT_FALSE(german.TranslateText(name, "?").empty()) << name;
    EXPECT_FALSE(english.TranslateText(name, "?").empty()) << name;
  }
  EXPECT_EQ(german.TranslateText("UpdateGroupBox", "?"), "Ger\xE4t");
  EXPECT_FALSE(german.DictionaryChanged() || english.DictionaryChanged());
}

}  // namespace
