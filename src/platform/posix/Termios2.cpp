// Only the kernel's terminal header here: it clashes with <termios.h>.
#include "platform/posix/Termios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>

namespace platform::posix {

static_assert(sizeof(termios2) <= 64);

namespace {

termios2& T(unsigned char* raw) {
  return *reinterpret_cast<termios2*>(raw);
}
const termios2& T(const unsigned char* raw) {
  return *reinterpret_cast<const termios2*>(raw);
}

tcflag_t StandardRate(uint32_t baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return 0;
  }
}

}  // namespace

bool KernelTermios::Read(int fd) {
  std::memset(m_raw, 0, sizeof m_raw);
  return ::ioctl(fd, TCGETS2, &T(m_raw)) == 0;
}

bool KernelTermios::Write(int fd) const {
  termios2 copy = T(m_raw);
  return ::ioctl(fd, TCSETS2, &copy) == 0;
}

void KernelTermios::Apply(const LineSettings& s) {
  termios2& t = T(m_raw);
  t.c_iflag = IGNBRK | (s.obeyXonXoff ? IXON : 0);
  t.c_oflag = 0;
  t.c_lflag = 0;
  tcflag_t c = CREAD | CLOCAL;
  switch (s.dataBits) {
    case 5:
      c |= CS5;
      break;
    case 6:
      c |= CS6;
      break;
    case 7:
      c |= CS7;
      break;
    default:
      c |= CS8;
      break;
  }
  switch (s.parity) {
    case 1:
      c |= PARENB | PARODD;
      break;
    case 2:
      c |= PARENB;
      break;
    case 3:
      c |= PARENB | PARODD | CMSPAR;
      break;
    case 4:
      c |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (s.stopBits != 0) c |= CSTOPB;
  if (s.rtsCts) c |= CRTSCTS;
  const tcflag_t rate = StandardRate(s.baud);
  c |= rate ? rate : BOTHER;  // input speed follows the output speed
  t.c_cflag = c;
  t.c_ispeed = s.baud;
  t.c_ospeed = s.baud;
  std::memset(t.c_cc, 0, sizeof t.c_cc);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  t.c_cc[VSTART] = static_cast<cc_t>(s.xon);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.xoff);
}

LineSettings KernelTermios::Decode() const {
  const termios2& t = T(m_raw);
  LineSettings s;
  s.baud = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      s.dataBits = 5;
      break;
    case CS6:
      s.dataBits = 6;
      break;
    case CS7:
      s.dataBits = 7;
      break;
    default:
      s.dataBits = 8;
      break;
  }
  if (t.c_cflag & PARENB) {
    const bool odd = (t.c_cflag & PARODD) != 0;
    s.parity = (t.c_cflag & CMSPAR) ? (odd ? 3 : 4) : (odd ? 1 : 2);
  }
  s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
  s.rtsCts = (t.c_cflag & CRTSCTS) != 0;
  s.obeyXonXoff = (t.c_iflag & IXON) != 0;
  s.xon = static_cast<char>(t.c_cc[VSTART]);
  s.xoff = static_cast<char>(t.c_cc[VSTOP]);
  return s;
}

uint32_t KernelTermios::OutputBaud() const {
  return T(m_raw).c_ospeed;
}

bool KernelTermios::operator==(const KernelTermios& other) const {
  const termios2& a = T(m_raw);
  const termios2& b = T(other.m_raw);
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
         a.c_ispeed == b.c_ispeed && a.c_ospeed == b.c_ospeed;
}

}  // namespace platform::posix
