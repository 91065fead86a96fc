#include "serial/PortName.h"

#include <cstdio>

namespace serial {

const char* PortName(uint32_t n, bool display) {
  static char buffer[32];
  std::snprintf(buffer, sizeof buffer, display ? "COM%u" : "\\\\.\\COM%u", n);
  return buffer;
}

}  // namespace serial
