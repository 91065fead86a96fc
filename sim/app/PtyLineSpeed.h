#pragma once

#include <cstdint>

namespace sim {

// The baud rate and stop bits a pseudo-terminal holds, as the program at its
// other end set them. Works on the master: it reports the slave's settings.
// Kept apart because <asm/termbits.h> clashes with <termios.h>.
bool ReadPtyLineSpeed(int fd, uint32_t& baud, bool& twoStopBits);

}  // namespace sim
