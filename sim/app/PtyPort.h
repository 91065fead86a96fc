#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace sim {

// One pseudo-terminal in raw mode whose slave is linked as DIR/COMn. The
// simulator keeps only the master: while nobody holds the slave open the
// master reports a hang-up, which is how it knows whether the tool has the
// port open (and the slave's exclusive flag ends with the tool's close).
class PtyPort {
 public:
  struct Settings {
    uint32_t baud = 0;
    bool twoStopBits = false;
    bool operator==(const Settings&) const = default;
  };

  // Throws std::runtime_error naming what failed.
  PtyPort(const std::string& dir, int com);
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  int Fd() const { return m_master; }
  bool Alive() const { return m_master >= 0; }
  const std::string& LinkPath() const { return m_link; }
  const std::string& SlavePath() const { return m_slave; }

  // Whether the other end holds the slave open (non-blocking check).
  bool PeerOpen() const;
  std::optional<Settings> ToolSettings() const;
  // Non-blocking; 0 when nothing is there, -1 on a hang-up or error.
  long Read(uint8_t* buffer, size_t size);
  // Writes all bytes or gives up after 1 s of a full buffer; false then.
  bool Write(const uint8_t* bytes, size_t count);
  // Drops what either side has not read yet.
  void Flush();
  // The cable is pulled: closes the master and removes the link.
  void HangUp();

 private:
  int m_master = -1;
  std::string m_slave;
  std::string m_link;
};

}  // namespace sim
