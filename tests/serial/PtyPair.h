#pragma once

// A pseudo-terminal linked as COMn into a ports folder of its own, so the
// POSIX port system finds it like a USB adapter behind INSTRUMENT_UPDATE_PORTS.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace serialtest {

class PtyPair {
 public:
  explicit PtyPair(uint32_t comNumber) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    m_slave = ::ptsname(m_master);
    char folder[] = "/tmp/iu-ports-XXXXXX";
    if (!::mkdtemp(folder)) throw std::runtime_error("no temp folder");
    m_folder = folder;
    std::filesystem::create_symlink(m_slave, m_folder + "/COM" + std::to_string(comNumber));
  }
  ~PtyPair() {
    CloseMaster();
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& Folder() const { return m_folder; }
  const std::string& SlavePath() const { return m_slave; }
  int Master() const { return m_master; }

  void Send(const std::string& bytes) {
    if (::write(m_master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("pty write failed");
    }
  }
  // What the port sent, collected for up to `timeout` or until `count` bytes.
  std::string Receive(size_t count, std::chrono::milliseconds timeout) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{m_master, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[256];
      const ssize_t n = ::read(m_master, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }
  // The line settings (master and slave share them).
  termios Settings() const {
    termios t{};
    ::tcgetattr(m_master, &t);
    return t;
  }
  void CloseMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
  }

 private:
  int m_master = -1;
  std::string m_slave;
  std::string m_folder;
};

}  // namespace serialtest
