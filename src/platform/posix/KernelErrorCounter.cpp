#include <linux/serial.h>
#include <sys/ioctl.h>

#include "platform/posix/LineErrorCounter.h"

namespace platform::posix {

namespace {

class KernelErrorCounter final : public LineErrorCounter {
 public:
  explicit KernelErrorCounter(int fd) : m_fd(fd) {}
  bool Sample(LineErrorCounts& counts) override {
    if (!m_available) return false;
    serial_icounter_struct c{};
    if (::ioctl(m_fd, TIOCGICOUNT, &c) != 0) {
      m_available = false;  // a pty or a driver without counters: stop asking
      return false;
    }
    counts.frame = static_cast<uint32_t>(c.frame);
    counts.overrun = static_cast<uint32_t>(c.overrun + c.buf_overrun);
    counts.parity = static_cast<uint32_t>(c.parity);
    counts.brk = static_cast<uint32_t>(c.brk);
    return true;
  }

 private:
  int m_fd;
  bool m_available = true;
};

}  // namespace

std::unique_ptr<LineErrorCounter> MakeKernelErrorCounter(int fd) {
  return std::make_unique<KernelErrorCounter>(fd);
}

}  // namespace platform::posix
