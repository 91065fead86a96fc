#pragma once

#include <array>
#include <cstddef>

namespace update {

// Texts of the program are Latin-1; the sources are UTF-8. A literal written
// as u8"Gerät"_latin1 is converted at compile time, so the tables read as
// they are shown and still hold one byte per character. A character outside
// Latin-1 does not compile.
template <size_t N>
struct U8Literal {
  char8_t text[N];
  constexpr U8Literal(const char8_t (&source)[N]) {
    for (size_t i = 0; i < N; ++i) text[i] = source[i];
  }
};

namespace detail {

template <U8Literal S>
constexpr size_t Latin1Length() {
  size_t n = 0;
  for (size_t i = 0; i + 1 < sizeof(S.text); ++i) {
    if ((S.text[i] & 0xC0) != 0x80) ++n;
  }
  return n;
}

template <U8Literal S>
constexpr auto ToLatin1() {
  std::array<char, Latin1Length<S>() + 1> out{};
  size_t o = 0;
  for (size_t i = 0; i + 1 < sizeof(S.text);) {
    const unsigned c = S.text[i];
    if (c < 0x80) {
      out[o++] = static_cast<char>(c);
      i += 1;
    } else if ((c & 0xE0) == 0xC0 && c <= 0xC3) {
      out[o++] = static_cast<char>(((c & 0x1F) << 6) | (S.text[i + 1] & 0x3F));
      i += 2;
    } else {
      throw "character outside Latin-1";  // not a constant expression: compile error
    }
  }
  out[o] = '\0';
  return out;
}

template <U8Literal S>
inline constexpr auto kLatin1 = ToLatin1<S>();

}  // namespace detail

template <U8Literal S>
constexpr const char* operator""_latin1() {
  return detail::kLatin1<S>.data();
}

}  // namespace update
