#pragma once

#include <cstdint>
#include <memory>

namespace platform::posix {

// Running totals of a UART's line errors.
struct LineErrorCounts {
  uint32_t frame = 0;
  uint32_t overrun = 0;
  uint32_t parity = 0;
  uint32_t brk = 0;
};

// Where a line's reader gets its error totals from. The kernel keeps them
// per UART (TIOCGICOUNT); pseudo-terminals have none, so tests inject
// their own source.
class LineErrorCounter {
 public:
  virtual ~LineErrorCounter() = default;
  // False when the line keeps no counts.
  virtual bool Sample(LineErrorCounts& counts) = 0;
};

// The kernel's counters of the tty `fd` (not owned).
std::unique_ptr<LineErrorCounter> MakeKernelErrorCounter(int fd);

}  // namespace platform::posix
