#include "sim/app/TrafficLog.h"

#include <cstdio>

namespace sim {

TrafficLog::TrafficLog(const std::string& file) {
  if (file.empty()) return;
  m_out.open(file, std::ios::out | std::ios::trunc);
  m_failed = !m_out.is_open();
}

void TrafficLog::Stamp(uint64_t micros, int com) {
  char text[48];
  std::snprintf(text, sizeof text, "%10.3f COM%-3d ", static_cast<double>(micros) / 1000.0, com);
  m_out << text;
}

void TrafficLog::Bytes(uint64_t micros, int com, const char* direction, const uint8_t* bytes, size_t count) {
  if (!Enabled()) return;
  // 16 bytes a line: hex, then the printable ones.
  for (size_t at = 0; at < count; at += 16) {
    Stamp(micros, com);
    m_out << direction;
    std::string ascii;
    char hex[4];
    for (size_t i = at; i < at + 16 && i < count; ++i) {
      std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
      m_out << hex;
      ascii += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
    }
    for (size_t i = count - at; i < 16; ++i) m_out << "   ";
    m_out << "  |" << ascii << "|\n";
  }
  m_out.flush();
}

void TrafficLog::Event(uint64_t micros, int com, const std::string& text) {
  if (!Enabled()) return;
  Stamp(micros, com);
  m_out << text << "\n";
  m_out.flush();
}

}  // namespace sim
