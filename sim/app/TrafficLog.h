#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace sim {

// The traffic log of instrument-sim: one line per chunk read or written and
// per event, with the time in ms since the start. Without a file it writes
// nothing.
class TrafficLog {
 public:
  explicit TrafficLog(const std::string& file);
  bool Enabled() const { return m_out.is_open(); }
  bool Failed() const { return m_failed; }

  // direction "<-" (from the tool) or "->" (to the tool)
  void Bytes(uint64_t micros, int com, const char* direction, const uint8_t* bytes, size_t count);
  void Event(uint64_t micros, int com, const std::string& text);
  std::ofstream& Stream() { return m_out; }

 private:
  void Stamp(uint64_t micros, int com);
  std::ofstream m_out;
  bool m_failed = false;
};

}  // namespace sim
