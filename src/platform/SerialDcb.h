#pragma once

#include <cstdint>

namespace platform {

// Line settings of a serial port, field for field the driver record the
// serial component was designed around (28 bytes), so that code copying
// settings from one port to another keeps working unchanged.
struct DCB {
  uint32_t DCBlength = sizeof(DCB);
  uint32_t BaudRate = 0;  // bits per second
  uint32_t fBinary : 1 = 0;
  uint32_t fParity : 1 = 0;
  uint32_t fOutxCtsFlow : 1 = 0;  // transmit only while CTS is up
  uint32_t fOutxDsrFlow : 1 = 0;
  uint32_t fDtrControl : 2 = 0;  // DTR_CONTROL_*
  uint32_t fDsrSensitivity : 1 = 0;
  uint32_t fTXContinueOnXoff : 1 = 0;
  uint32_t fOutX : 1 = 0;  // obey XON/XOFF from the far end
  uint32_t fInX : 1 = 0;   // send XON/XOFF ourselves (never done here)
  uint32_t fErrorChar : 1 = 0;
  uint32_t fNull : 1 = 0;        // drop received NUL bytes
  uint32_t fRtsControl : 2 = 0;  // RTS_CONTROL_*
  uint32_t fAbortOnError : 1 = 0;
  uint32_t fDummy2 : 17 = 0;
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;  // data bits
  uint8_t Parity = 0;    // NOPARITY ...
  uint8_t StopBits = 0;  // ONESTOPBIT ...
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  uint16_t wReserved1 = 0;

  friend bool operator==(const DCB&, const DCB&) = default;
};
static_assert(sizeof(DCB) == 28, "DCB keeps the 28-byte layout");

inline constexpr uint8_t NOPARITY = 0;
inline constexpr uint8_t ODDPARITY = 1;
inline constexpr uint8_t EVENPARITY = 2;
inline constexpr uint8_t MARKPARITY = 3;
inline constexpr uint8_t SPACEPARITY = 4;

inline constexpr uint8_t ONESTOPBIT = 0;
inline constexpr uint8_t ONE5STOPBITS = 1;
inline constexpr uint8_t TWOSTOPBITS = 2;

inline constexpr uint32_t DTR_CONTROL_DISABLE = 0;
inline constexpr uint32_t DTR_CONTROL_ENABLE = 1;
inline constexpr uint32_t DTR_CONTROL_HANDSHAKE = 2;

inline constexpr uint32_t RTS_CONTROL_DISABLE = 0;
inline constexpr uint32_t RTS_CONTROL_ENABLE = 1;
inline constexpr uint32_t RTS_CONTROL_HANDSHAKE = 2;
inline constexpr uint32_t RTS_CONTROL_TOGGLE = 3;

inline constexpr char kXon = 0x11;
inline constexpr char kXoff = 0x13;

// Flags of ClearBuffer.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

}  // namespace platform
