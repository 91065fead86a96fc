#include <array>

#include "update/TUpdateForm.h"

namespace update {

namespace {

// One read per notification takes at most this many bytes.
constexpr uint32_t kReadChunk = 250;
constexpr int32_t kPortErrorPauseMs = 500;

}  // namespace

void TUpdateForm::DataArrived(uint32_t comNumber) {
  m_queue.PostCode(codes::kDataArrived, core::EventText::Number(static_cast<int32_t>(comNumber)));
  DrainEvents();
}

void TUpdateForm::PortError(uint32_t comNumber) {
  m_run.PortErrorSeen = true;
  m_run.ErrorRateRepeats = 0;
  const int index = PortIndexOf(static_cast<int32_t>(comNumber));
  // A line error during a download (a stray character at the old settings
  // around a rate switch) must not throw away the loader's answer that
  // came with it: the programmer reads and judges those bytes itself.
  if (m_run.ProgrammerOwnsPort && index == m_run.DevicePort) return;
  std::array<uint8_t, kReadChunk + 1> scratch{};
  if (serial::TComPort* port = Port(index)) port->Read(scratch.data(), kReadChunk);
  if (m_run.RunSlot <= 0) return;
  m_timerSlots.RestartSlot(m_run.RunSlot);
  m_wait.DelayTime(kPortErrorPauseMs, true);
  SearchStep(1);
  // A failed search posts the KeyEvent of the new one; nothing else would
  // drain it here, outside a dispatch.
  DrainEvents();
}

int TUpdateForm::PortIndexOf(int32_t comNumber) const {
  if (m_settings.FixedPort) return 0;
  for (size_t i = 0; i < m_comNumbers.size(); ++i) {
    if (m_comNumbers[i] == comNumber) return static_cast<int>(i);
  }
  return -1;
}

void TUpdateForm::ParseReceived(int32_t comNumber) {
  const int index = PortIndexOf(comNumber);
  serial::TComPort* port = Port(index);
  if (!port) return;
  std::array<uint8_t, kReadChunk + 1> buffer{};
  const int32_t count = port->Read(buffer.data(), kReadChunk);
  if (count < 0) return;
  // Once the instrument is known, what other ports bring is read and
  // dropped: a second instrument's answers must not drive this one's run,
  // nor mix into its half-received lines.
  if (m_run.DevicePort >= 0 && index != m_run.DevicePort) {
    if (m_service.DebugMode && count > 0) {
      LogLine("COM" + std::to_string(comNumber) + ": " + std::to_string(count) + " bytes ignored");
    }
    return;
  }
  const LineParser::Result result = m_parser.Feed(buffer.data(), static_cast<size_t>(count), m_queue,
                                                  [this](const std::string& line) { LogLine(line); });
  if ((result.acknowledged || m_parser.FrameSeen()) && m_run.DevicePort == -1) {
    m_run.DevicePort = index;
    m_run.DeviceComIndex = comNumber - 1;
    m_view.SetStatusPanel(1, "Com" + std::to_string(comNumber));
  }
}

void TUpdateForm::Broadcast(std::string_view bytes, bool background) {
  if (bytes.empty()) return;
  const int count = std::min(m_portsInUse, PortTableSize());
  for (int i = 0; i < count; ++i) {
    if (serial::TComPort* port = Port(i)) {
      port->Write(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()),
                  background);
    }
  }
}

void TUpdateForm::SendToDevice(std::string_view command) {
  if (command.empty()) return;
  const std::string text(command);
  if (serial::TComPort* port = Port(m_run.DevicePort)) port->Write(text.c_str(), -1, false);
  LogLine(text);
}

}  // namespace update
