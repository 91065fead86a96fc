#include "sim/app/PtyPort.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "sim/app/PtyLineSpeed.h"

namespace sim {

PtyPort::PtyPort(const std::string& dir, int com) {
  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    throw std::runtime_error(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
  }
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&t, B4800);
  cfsetospeed(&t, B4800);
  tcsetattr(slave, TCSANOW, &t);
  close(slave);  // the settings stay with the pair
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  m_master = master;
  m_slave = name;

  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  m_link = (std::filesystem::path(dir) / ("COM" + std::to_string(com))).string();
  std::filesystem::remove(m_link, ec);
  std::filesystem::create_symlink(m_slave, m_link, ec);
  if (ec) {
    close(m_master);
    m_master = -1;
    throw std::runtime_error("cannot link " + m_link + " to " + m_slave + ": " + ec.message());
  }
}

PtyPort::~PtyPort() {
  HangUp();
}

bool PtyPort::PeerOpen() const {
  if (m_master < 0) return false;
  pollfd p{m_master, POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return false;
  return (p.revents & POLLHUP) == 0;
}

std::optional<PtyPort::Settings> PtyPort::ToolSettings() const {
  Settings s;
  if (m_master < 0 || !ReadPtyLineSpeed(m_master, s.baud, s.twoStopBits)) return std::nullopt;
  return s;
}

long PtyPort::Read(uint8_t* buffer, size_t size) {
  if (m_master < 0) return -1;
  const ssize_t n = read(m_master, buffer, size);
  if (n > 0) return n;
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  return -1;  // EIO: nobody holds the slave
}

bool PtyPort::Write(const uint8_t* bytes, size_t count) {
  size_t done = 0;
  int waits = 0;
  while (m_master >= 0 && done < count) {
    const ssize_t n = write(m_master, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    // The tool does not read: wait for room, but not for ever.
    pollfd p{m_master, POLLOUT, 0};
    if (poll(&p, 1, 100) <= 0 && ++waits >= 10) return false;
  }
  return done == count;
}

void PtyPort::Flush() {
  if (m_master >= 0) tcflush(m_master, TCIOFLUSH);
}

void PtyPort::HangUp() {
  if (m_master >= 0) {
    close(m_master);
    m_master = -1;
  }
  if (!m_link.empty()) {
    std::error_code ec;
    std::filesystem::remove(m_link, ec);
  }
}

}  // namespace sim
