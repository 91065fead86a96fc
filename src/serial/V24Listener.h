#pragma once

#include <cstdint>

namespace serial {

// Notifications of a port to its owner, with the port's 1-based COM number.
inline constexpr uint32_t WM_V24_RX = 0x87D0;       // data received
inline constexpr uint32_t WM_V24_FRAME = 0x87E4;    // framing error, or a line error without flags
inline constexpr uint32_t WM_V24_OVERRUN = 0x87EE;  // overrun
inline constexpr uint32_t WM_V24_PARITY = 0x87F8;   // parity error
// The line has gone (USB adapter unplugged, far end hung up); once per Open.
inline constexpr uint32_t WM_V24_HANGUP = 0x8802;

// The owner of a port. Called on the owner's thread only, when its message
// pump delivers what the port's reader posted.
class V24Listener {
 public:
  virtual ~V24Listener() = default;
  virtual void OnV24Message(uint32_t message, uint32_t comNumber) = 0;
};

}  // namespace serial
