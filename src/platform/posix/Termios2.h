#pragma once

#include <cstdint>

namespace platform::posix {

// Line settings in the terms the serial component uses (DCB codes).
struct LineSettings {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;  // 5..8
  uint8_t parity = 0;    // NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY
  uint8_t stopBits = 0;  // ONESTOPBIT, ONE5STOPBITS (sent as two), TWOSTOPBITS
  bool rtsCts = false;
  bool obeyXonXoff = false;  // IXON only: XON/XOFF are obeyed, never sent
  char xon = 0x11;
  char xoff = 0x13;
};

// A copy of the kernel's termios2 of a tty. Kept apart because the
// kernel's header clashes with <termios.h>; it is the only way to set rates
// such as 128000 and 256000 (BOTHER).
class KernelTermios {
 public:
  bool Read(int fd);
  bool Write(int fd) const;

  // Raw mode with these settings (CLOCAL, CREAD, no echo, no input or
  // output processing, break ignored, VMIN = VTIME = 0).
  void Apply(const LineSettings& settings);
  LineSettings Decode() const;
  uint32_t OutputBaud() const;

  bool operator==(const KernelTermios& other) const;

 private:
  alignas(8) unsigned char m_raw[64] = {};
};

}  // namespace platform::posix
