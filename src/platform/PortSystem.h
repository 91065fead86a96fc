#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/SerialLine.h"

namespace platform {

enum class PortStatus {
  Available,     // exists and can be opened
  Held,          // exists, another program (or another port object) has it
  NoPermission,  // exists, but this user may not open it
  NotSerial,     // the entry exists but is no serial port (a file, a FIFO, another device)
  Absent,        // no such port
};

struct PortOpenResult {
  std::unique_ptr<SerialLine> line;  // null on failure
  PortStatus status = PortStatus::Absent;
  std::string device;  // what COMn leads to, for messages (may be empty)
  int error = 0;       // the errno of the failed open, 0 when there is none
};

// The machine's serial ports by COM number (1-based, COM1..COM256).
// Implementations: the POSIX one over device nodes, the simulated one over
// lines in virtual time.
class PortSystem {
 public:
  virtual ~PortSystem() = default;

  // Looks at COMn without keeping it (may open and close it briefly).
  virtual PortStatus Probe(uint32_t comNumber) = 0;

  // Opens COMn exclusively.
  virtual PortOpenResult Open(uint32_t comNumber) = 0;
};

}  // namespace platform
