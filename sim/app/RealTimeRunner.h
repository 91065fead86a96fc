#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <ostream>
#include <vector>

#include "sim/app/PtyPort.h"
#include "sim/app/TrafficLog.h"
#include "sim/model/Instrument.h"

namespace sim {

// Runs instruments in real time, each on its pseudo-terminal: reads what the
// tool writes, tells the instrument with the tool's current baud rate, and
// writes the answers when they are due. Single-threaded; sleeps in poll()
// until the next byte, answer or tick is due (and every 100 ms while a port
// is closed, to notice the tool opening it).
class RealTimeRunner {
 public:
  struct Port {
    int com = 0;
    std::unique_ptr<PtyPort> pty;
    std::unique_ptr<Instrument> instrument;  // null: a port that never answers
  };

  RealTimeRunner(std::vector<Port> ports, TrafficLog& log, bool pace);

  // Until `stopFd` becomes readable (a signalfd) or every line is dropped.
  void Run(int stopFd);
  void Dump(std::ostream& out) const;

 private:
  struct Pending {
    uint64_t atMicros;
    std::vector<uint8_t> bytes;
  };
  struct Line {
    Port port;
    bool open = false;
    bool settingsKnown = false;
    PtyPort::Settings settings;
    uint64_t freeAtMicros = 0;
    std::deque<Pending> pending;
    // Paced bytes go out one by one; the log gets them as one line.
    std::vector<uint8_t> logged;
    uint64_t loggedAt = 0;
  };

  uint64_t Now() const;
  void CheckOpen(Line& line, uint64_t now);
  void ReadFrom(Line& line, uint64_t now);
  void Collect(Line& line, uint64_t now);
  void WriteDue(Line& line, uint64_t now);
  void LogSent(Line& line, uint64_t now, const std::vector<uint8_t>& bytes);

  std::vector<Line> m_lines;
  TrafficLog& m_log;
  bool m_pace;
  uint64_t m_start;
};

}  // namespace sim
