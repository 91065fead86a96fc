#include "update/UpdateTexts.h"

#include <array>
#include <cstddef>

#include "update/Latin1Literal.h"

namespace update {

namespace {

struct TextPair {
  const char* german;
  const char* english;
};

constexpr std::array<TextPair, static_cast<size_t>(TextId::kCount)> kTexts{{
    // ConfigFile1Missing, ConfigFile2Missing: German in both languages, since
    // the language is not known yet when they appear.
    {"Konfigurationsdatei 1 nicht vorhanden!!Programm wird beendet",
     "Konfigurationsdatei 1 nicht vorhanden!!Programm wird beendet"},
    {"Konfigurationsdatei 2 nicht vorhanden!!Programm wird beendet",
     "Konfigurationsdatei 2 nicht vorhanden!!Programm wird beendet"},
    {"Error", "Error"},
    {"Fehler", "Error"},
    {"Update [beendet]", "Update [ready]"},
    {u8"Gerät"_latin1, "device"},
}};

}  // namespace

const char* Text(TextId id, int language) {
  const TextPair& pair = kTexts[static_cast<size_t>(id)];
  return language == 1 ? pair.english : pair.german;
}

}  // namespace update
