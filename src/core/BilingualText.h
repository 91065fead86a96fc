#pragma once

namespace core {

// A text the user sees, in German and English (Latin-1). Each text is one
// named constant with both languages, so a text that is missing or lacks a
// language does not compile. Language 1 is English; every other value is
// German, as Update.ini reads it.
class BilingualText {
 public:
  constexpr BilingualText(const char* german, const char* english) : m_german(german), m_english(english) {}
  // A service text that exists in German only.
  static constexpr BilingualText GermanOnly(const char* german) { return BilingualText(german, german); }

  constexpr const char* In(int language) const { return language == 1 ? m_english : m_german; }
  constexpr const char* German() const { return m_german; }
  constexpr const char* English() const { return m_english; }

 private:
  const char* m_german;
  const char* m_english;
};

}  // namespace core
