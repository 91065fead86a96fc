#pragma once

#include "platform/SerialLine.h"
#include "platform/sim/SimSerialLine.h"

namespace platform::sim {

// The serial component's handle on the near end of a simulated line, as
// SimPortSystem::Open hands it out. Closing (or destroying) it frees the
// line for the next Open.
class SimSerialPort final : public SerialLine {
 public:
  explicit SimSerialPort(SimSerialLine& line) : m_line(&line) {}
  ~SimSerialPort() override { Close(); }

  bool GetState(DCB& dcb) override { return m_line && m_line->GetState(dcb); }
  bool SetState(const DCB& dcb) override { return m_line && m_line->SetState(dcb); }
  bool GetTimeouts(COMMTIMEOUTS& t) override { return m_line && m_line->GetTimeouts(t); }
  bool SetTimeouts(const COMMTIMEOUTS& t) override { return m_line && m_line->SetTimeouts(t); }
  void StartReader(SerialLineEvents& events) override {
    if (m_line) m_line->StartReader(events);
  }
  uint32_t Read(uint8_t* buffer, uint32_t count) override { return m_line ? m_line->Read(buffer, count) : 0; }
  WriteResult Write(const uint8_t* bytes, uint32_t count) override {
    return m_line ? m_line->Write(bytes, count) : WriteResult{0, true};
  }
  bool WriteInBackground(const uint8_t* bytes, uint32_t count, WriteDone done) override {
    return m_line && m_line->WriteInBackground(bytes, count, std::move(done));
  }
  bool WriterBusy() override { return m_line && m_line->WriterBusy(); }
  bool Purge(uint32_t flags) override { return m_line && m_line->Purge(flags); }
  void ClearBreak() override {}
  void Close() override {
    if (m_line) m_line->ClosePort();
    m_line = nullptr;
  }

 private:
  SimSerialLine* m_line;
};

}  // namespace platform::sim
