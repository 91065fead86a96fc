#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/PortSystem.h"
#include "platform/posix/ComMap.h"
#include "platform/posix/LineErrorCounter.h"

namespace platform::posix {

// The machine's serial ports through a ComMap.
//
// Opening is exclusive: O_NONBLOCK open, flock(LOCK_EX | LOCK_NB) (which
// also holds against root, who passes TIOCEXCL), then TIOCEXCL. A port is
// held by another program when the open says EBUSY, the flock is taken, or
// a live UUCP lock file names the device; EACCES/EPERM is a permission
// problem (the dialout group).
class PosixPortSystem final : public PortSystem {
 public:
  using CounterFactory = std::function<std::unique_ptr<LineErrorCounter>(int fd)>;

  explicit PosixPortSystem(ComMap map = ComMap::FromEnvironment(), std::string lockDir = "/var/lock");

  PortStatus Probe(uint32_t comNumber) override;
  PortOpenResult Open(uint32_t comNumber) override;

  const ComMap& Map() const { return m_map; }
  // Where the readers of lines opened from now on get their line-error
  // totals; the kernel's counters by default.
  void SetCounterFactory(CounterFactory factory) { m_counters = std::move(factory); }
  // Wake-ups of all readers of this port system so far.
  uint64_t ReaderWakeups() const { return m_wakeups->load(); }

 private:
  // Opens and locks `path`; the fd, or -1 with `status` set and `error`
  // the errno of the call that failed (left alone when none did).
  int OpenLocked(const std::string& path, PortStatus& status, int& error) const;

  ComMap m_map;
  std::string m_lockDir;
  CounterFactory m_counters;
  std::shared_ptr<std::atomic<uint64_t>> m_wakeups = std::make_shared<std::atomic<uint64_t>>(0);
};

}  // namespace platform::posix
