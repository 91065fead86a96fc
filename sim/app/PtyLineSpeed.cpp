#include "sim/app/PtyLineSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

bool ReadPtyLineSpeed(int fd, uint32_t& baud, bool& twoStopBits) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  // The kernel fills c_ospeed for standard and custom rates alike.
  baud = t.c_ospeed;
  twoStopBits = (t.c_cflag & CSTOPB) != 0;
  return true;
}

}  // namespace sim
