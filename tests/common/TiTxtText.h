// TI-TXT text of (address, bytes) sections, reproducible byte patterns and
// vector tables, for the download tests and benchmarks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

using ImageSection = std::pair<uint32_t, std::vector<uint8_t>>;

// Hex lines of 16 bytes, CR LF ended (the body of a TI-TXT section).
inline std::string TiTxtLines(const std::vector<uint8_t>& bytes) {
  std::string out;
  char text[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(text, sizeof text, "%02X", bytes[i]);
    out += text;
    out += (i % 16 == 15 || i + 1 == bytes.size()) ? "\r\n" : " ";
  }
  return out;
}

inline std::string TiTxtSection(uint32_t address, const std::vector<uint8_t>& bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "@%04X\r\n", static_cast<unsigned>(address));
  return text + TiTxtLines(bytes);
}

// A whole TI-TXT file, closed by "q".
inline std::string TiTxt(const std::vector<ImageSection>& sections) {
  std::string out;
  for (const auto& [address, bytes] : sections) out += TiTxtSection(address, bytes);
  return out + "q\r\n";
}

// Reproducible bytes without 0xFF, so image bytes never look like erased cells.
inline std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
    if (b == 0xFF) b = 0xFE;
  }
  return v;
}

// A vector table: fifteen erased vectors and the reset vector.
inline std::vector<uint8_t> Vectors(uint16_t reset) {
  std::vector<uint8_t> v(32, 0xFF);
  v[30] = static_cast<uint8_t>(reset);
  v[31] = static_cast<uint8_t>(reset >> 8);
  return v;
}

}  // namespace testing_support
