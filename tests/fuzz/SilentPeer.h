// An instrument that only sends what a harness makes it send, at whatever
// settings the port has then.
#pragma once

#include "platform/sim/SimSerialLine.h"

namespace fuzzsupport {

class SilentPeer final : public platform::sim::SimLinePeer {
 public:
  explicit SilentPeer(platform::sim::SimSerialLine& line) : m_line(line) { m_line.Attach(this); }
  ~SilentPeer() override { m_line.Attach(nullptr); }
  platform::sim::LineFormat Format() const override { return m_line.PortFormat(); }
  void OnCharacter(const platform::sim::ReceivedCharacter&) override {}

 private:
  platform::sim::SimSerialLine& m_line;
};

}  // namespace fuzzsupport
