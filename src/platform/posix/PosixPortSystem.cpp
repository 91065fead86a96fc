#include "platform/posix/PosixPortSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/PortLock.h"
#include "platform/posix/PosixSerialLine.h"

namespace platform::posix {

PosixPortSystem::PosixPortSystem(ComMap map, std::string lockDir)
    : m_map(std::move(map)), m_lockDir(std::move(lockDir)), m_counters(MakeKernelErrorCounter) {}

int PosixPortSystem::OpenLocked(const std::string& path, PortStatus& status) const {
  if (path.empty()) {
    status = PortStatus::Absent;
    return -1;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    status = errno == EBUSY                        ? PortStatus::Held
             : (errno == EACCES || errno == EPERM) ? PortStatus::NoPermission
                                                   : PortStatus::Absent;
    return -1;
  }
  termios t{};
  if (::tcgetattr(fd, &t) != 0) {  // not a tty
    ::close(fd);
    status = PortStatus::Absent;
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || HeldByUucpLock(path, m_lockDir)) {
    ::close(fd);
    status = PortStatus::Held;
    return -1;
  }
  status = PortStatus::Available;
  return fd;
}

PortStatus PosixPortSystem::Probe(uint32_t comNumber) {
  PortStatus status = PortStatus::Absent;
  const int fd = OpenLocked(m_map.Path(comNumber), status);
  if (fd >= 0) ::close(fd);
  return status;
}

PortOpenResult PosixPortSystem::Open(uint32_t comNumber) {
  PortOpenResult result;
  const std::string path = m_map.Path(comNumber);
  result.device = path;
  const int fd = OpenLocked(path, result.status);
  if (fd < 0) return result;
  // Keeps out other opens by users without CAP_SYS_ADMIN; ptys may refuse.
  ::ioctl(fd, TIOCEXCL);
  result.line = std::make_unique<PosixSerialLine>(fd, "COM" + std::to_string(comNumber) + " (" + path + ")",
                                                  m_counters ? m_counters(fd) : nullptr, m_wakeups);
  return result;
}

}  // namespace platform::posix
