#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "translation/DictionaryFile.h"

namespace translation {

// Translates the visible texts of a window through a dictionary file. Texts
// are 8-bit Windows-1252 (see Windows1252.h); line breaks are CR LF.
//
// Dictionary lines, looked up by the name of the component that shows the text:
//   [Name]source:=translation       text entry (line breaks written as \\)
//   [Name]=translation              template, written while recording
//   [Hint][Name]source:=translation hint entry
// An empty translation means "use the source"; a template without a
// translation blanks the text. Other lines are kept and never matched unless
// they contain a key.
//
// A dictionary that cannot be loaded puts that file into record mode for the
// life of the component: texts stay as they are, hints are cleared, and a
// template line for every text and a hint entry for every hint are collected
// and written, ready to be filled in.
//
// The walk over a Qt window lives in translation/qt (TranslateDialog).
class TLanguage {
 public:
  static constexpr const char* kDefaultDialogfile = "sprache.lng";

  explicit TLanguage(std::string dialogfile = kDefaultDialogfile);

  const std::string& Dialogfile() const { return m_dialogfile; }
  void SetDialogfile(std::string path) { m_dialogfile = std::move(path); }
  // A second name for the same file name.
  const std::string& OwnDialogFile() const { return m_dialogfile; }
  void SetOwnDialogFile(std::string path) { m_dialogfile = std::move(path); }

  // When false, TranslateDialog does nothing.
  bool Enabled() const { return m_enabled; }
  void SetEnabled(bool enabled) { m_enabled = enabled; }

  // Components whose tag equals this value keep caption and hint.
  int TagNoTranslate() const { return m_tagNoTranslate; }
  void SetTagNoTranslate(int tag) { m_tagNoTranslate = tag; }

  // The text to show for component `name` whose current text is `text`.
  // An unknown name is added as "[name]text:=" and marks the dictionary changed.
  std::string TranslateText(std::string_view name, std::string_view text);
  // The hint to show; empty when the dictionary has no entry for `name`.
  std::string TranslateHintText(std::string_view name, std::string_view hint);

  // Replaces the lines in memory by the file's. false (and record mode for
  // this file, with no lines in memory) when it cannot be read. A file that
  // exists but is refused (no regular file, too large, no access) is then
  // never written: SaveTranslateText reports the reason instead.
  bool LoadTranslateText();
  // Takes a dictionary read elsewhere, as LoadTranslateText does a file's.
  void UseDictionary(DictionaryText text);
  // Writes the lines when recording or changed; true when nothing had to be
  // written. false with LastError() when the file could not be written or
  // was refused when loading.
  bool SaveTranslateText();

  // Record mode of the current Dialogfile.
  bool RecordMode() const { return m_recordedFiles.contains(m_dialogfile); }
  // Set once a line was added to a loaded dictionary; never cleared.
  bool DictionaryChanged() const { return m_dictionaryChanged; }
  const std::vector<std::string>& DictionaryLines() const { return m_lines; }
  // The encoding the lines are written in: the loaded file's, else 1252.
  TextEncoding Encoding() const { return m_encoding; }
  // The last read or write failure, naming the file.
  const std::string& LastError() const { return m_lastError; }

 private:
  std::string m_dialogfile;
  bool m_enabled = true;
  int m_tagNoTranslate = -1;

  std::vector<std::string> m_lines;
  // The loaded lines as read, so that writing back keeps characters that
  // 1252 cannot hold; lines after these were appended and are 1252.
  std::vector<std::u16string> m_loadedLines;
  TextEncoding m_encoding = TextEncoding::kWindows1252;
  std::set<std::string> m_recordedFiles;
  // Files that exist but could not be read, with the reason: not written.
  std::map<std::string, std::string> m_refusedFiles;
  bool m_dictionaryChanged = false;
  std::string m_lastError;
};

}  // namespace translation
