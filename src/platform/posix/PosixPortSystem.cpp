#include "platform/posix/PosixPortSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/PortLock.h"
#include "platform/posix/PosixSerialLine.h"

namespace platform::posix {

PosixPortSystem::PosixPortSystem(ComMap map, std::string lockDir)
    : m_map(std::move(map)), m_lockDir(std::move(lockDir)), m_counters(MakeKernelErrorCounter) {}

int PosixPortSystem::OpenLocked(const std::string& path, PortStatus& status, int& error) const {
  if (path.empty()) {
    status = PortStatus::Absent;
    return -1;
  }
  // Only a character device can be a serial line; anything else is not
  // opened at all (a FIFO or a file must not be read or written as a port).
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) {
    status = PortStatus::NotSerial;
    return -1;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    status = error == EBUSY                        ? PortStatus::Held
             : (error == EACCES || error == EPERM) ? PortStatus::NoPermission
                                                   : PortStatus::Absent;
    return -1;
  }
  termios t{};
  if (::tcgetattr(fd, &t) != 0) {  // a device, but not a terminal
    error = errno;
    ::close(fd);
    status = PortStatus::NotSerial;
    return -1;
  }
  // Held says it all: a lock that another holds is no system error.
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  if (locked && errno != EWOULDBLOCK) error = errno;
  if (locked || HeldByUucpLock(path, m_lockDir)) {
    ::close(fd);
    status = PortStatus::Held;
    return -1;
  }
  status = PortStatus::Available;
  return fd;
}

PortStatus PosixPortSystem::Probe(uint32_t comNumber) {
  PortStatus status = PortStatus::Absent;
  int error = 0;
  const int fd = OpenLocked(m_map.Path(comNumber), status, error);
  if (fd >= 0) ::close(fd);
  return status;
}

PortOpenResult PosixPortSystem::Open(uint32_t comNumber) {
  PortOpenResult result;
  const std::string path = m_map.Path(comNumber);
  // For messages: the device behind the link, when there is one.
  std::error_code ec;
  const std::filesystem::path device = std::filesystem::canonical(path, ec);
  result.device = ec ? path : device.string();
  const int fd = OpenLocked(path, result.status, result.error);
  if (fd < 0) return result;
  // Keeps out other opens by users without CAP_SYS_ADMIN; ptys may refuse.
  ::ioctl(fd, TIOCEXCL);
  result.line = PosixSerialLine::Open(fd, "COM" + std::to_string(comNumber) + " (" + path + ")",
                                      m_counters ? m_counters(fd) : nullptr, m_wakeups, result.error);
  return result;
}

}  // namespace platform::posix
