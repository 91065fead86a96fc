#pragma once

#include <cstdint>

namespace serial {

// The name of the 1-based port n: "COMn" for messages (`display`), else the
// device name "\\.\COMn" the port system resolves. The text lives in one
// static buffer that the next call overwrites (owner's thread only).
const char* PortName(uint32_t n, bool display);

}  // namespace serial
