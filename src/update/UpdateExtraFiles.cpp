#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/RegularFile.h"
#include "programmers/TProgrammerTyp.h"
#include "update/RunTexts.h"
#include "update/TUpdateForm.h"
#include "update/TextParts.h"

namespace update {

namespace {

constexpr std::string_view kFileStartCommand = "A.12000#";  // + the name in lower case + line end
constexpr std::string_view kPacketCommand = "A.12010#";     // + a count byte + the bytes, no line end
constexpr std::string_view kFileEndCommand = "A.12030\r\n";
constexpr std::string_view kLineEnd = "\r\n";
// One packet holds at most this many bytes: its count is one byte.
constexpr size_t kPacketBytes = 255;
// The largest extra file the instrument is sent; larger ones are refused
// before their start command.
constexpr size_t kMaxExtraFileBytes = 3'000'000;
// An instrument that has not acknowledged a step for this long has stopped.
constexpr int kAcknowledgeTimeoutMs = 10000;

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

void TUpdateForm::StartExtraFileTransfer() {
  m_queue.Subscribe(core::MakeHandler<&TUpdateForm::ExtraFileTransferHandler>(this));
  m_run.ExtraTransferActive = true;
  m_run.ExtraGuardSlot = m_timerSlots.StartSlot(kAcknowledgeTimeoutMs);
  m_run.ExtraFileIndex = 0;
  if (m_deviceRecord.ExtraFiles.empty()) {
    NextExtraFile();
    return;
  }
  BeginExtraFile(false);
}

bool TUpdateForm::BeginExtraFile(bool later) {
  const int language = m_settings.Language;
  const std::string& name = m_deviceRecord.ExtraFiles.at(static_cast<size_t>(m_run.ExtraFileIndex));
  std::string data;
  const core::FileFault fault =
      name.empty() ? core::FileFault::kMissing
                   : core::ReadRegularFile(InPackage(name).string(), kMaxExtraFileBytes, data);
  if (fault != core::FileFault::kNone) {
    std::string message = std::string(texts::kExtraFile.In(language)) + name + " " +
                          core::FileFaultText(fault).In(language);
    if (fault == core::FileFault::kTooLarge)
      message += ReplaceFirst(texts::kExtraFileLimit.In(language), "CODE", std::to_string(kMaxExtraFileBytes));
    FailExtraFileTransfer(message + ".");
    return false;
  }
  m_run.ExtraFileData = std::move(data);
  m_run.ExtraFileSent = 0;
  const int blocks = static_cast<int>(m_run.ExtraFileData.size() / kPacketBytes);
  SetProgressPosition(0);
  SetProgressMax(later ? blocks + 1 : blocks);
  m_run.ExtraSending = true;
  SendToDevice(std::string(kFileStartCommand) + LowerAscii(name) + std::string(kLineEnd));
  ++m_run.ExtraFileIndex;
  if (later) SetProgressPosition(m_progressPosition + 1);
  m_timerSlots.RestartSlot(m_run.ExtraGuardSlot);
  return true;
}

void TUpdateForm::NextExtraFile() {
  if (m_run.ExtraFileIndex >= m_deviceRecord.ExtraFileCount ||
      m_run.ExtraFileIndex >= static_cast<int>(m_deviceRecord.ExtraFiles.size())) {
    SetProgressPosition(0);
    EndExtraFileTransfer();
    FinishRun(1);
    return;
  }
  BeginExtraFile(true);
}

core::Event TUpdateForm::ExtraFileTransferHandler(core::EventQueue&, core::Event event) {
  const int language = m_settings.Language;
  // The file being sent, or the one just ended.
  const size_t current = static_cast<size_t>(std::max(m_run.ExtraFileIndex - 1, 0));
  const std::string name =
      current < m_deviceRecord.ExtraFiles.size() ? m_deviceRecord.ExtraFiles[current] : std::string();
  if (event.kind == core::kKeyEvent) {
    // OK does nothing while the files go out; Escape ends the transfer.
    if (event.code == keys::kEscape) {
      FailExtraFileTransfer(ReplaceFirst(texts::kExtraFileCancelled.In(language), "CODE", name));
      return core::ClearEvent();
    }
    return event.code == keys::kReturn ? core::ClearEvent() : event;
  }
  if (event.kind == core::kTimerEvent) {
    if (m_run.ExtraGuardSlot <= 0 || event.code != m_run.ExtraGuardSlot) return event;
    FailExtraFileTransfer(ReplaceFirst(texts::kExtraFileNoAnswer.In(language), "CODE", name));
    return core::ClearEvent();
  }
  if (event.kind != core::kCodeEvent) return event;
  if (event.code == codes::kConnectionLost) {
    const int32_t com = event.text.Number();
    FailExtraFileTransfer(programmers::TProgrammerTyp::ConnectionLostText(
        language, static_cast<uint32_t>(com > 0 ? com : m_run.DeviceComIndex + 1)));
    return core::ClearEvent();
  }
  if (event.code == codes::kRejected) {
    FailExtraFileTransfer(ReplaceFirst(texts::kExtraFileRefused.In(language), "CODE", name));
    return core::ClearEvent();
  }
  if (event.code != codes::kAcknowledged) return event;

  m_timerSlots.RestartSlot(m_run.ExtraGuardSlot);
  if (!m_run.ExtraSending) {
    NextExtraFile();
    return core::ClearEvent();
  }
  const std::string& data = m_run.ExtraFileData;
  if (m_run.ExtraFileSent < data.size()) {
    const size_t count = std::min(kPacketBytes, data.size() - m_run.ExtraFileSent);
    std::string packet(kPacketCommand);
    packet.push_back(static_cast<char>(count));
    packet.append(data, m_run.ExtraFileSent, count);
    m_run.ExtraFileSent += count;
    // The bytes may hold zeros: written by length, logged by their count.
    if (serial::TComPort* port = Port(m_run.DevicePort))
      port->Write(packet.data(), static_cast<int32_t>(packet.size()), false);
    LogLine(std::string(kPacketCommand) + " (" + std::to_string(count) + " bytes)");
    SetProgressPosition(m_progressPosition + 1);
    return core::ClearEvent();
  }
  SetProgressPosition(0);
  SendToDevice(kFileEndCommand);
  m_run.ExtraSending = false;
  m_run.ExtraFileData.clear();
  m_run.ExtraFileData.shrink_to_fit();
  return core::ClearEvent();
}

void TUpdateForm::EndExtraFileTransfer() {
  m_queue.Unsubscribe(core::MakeHandler<&TUpdateForm::ExtraFileTransferHandler>(this));
  m_run.ExtraTransferActive = false;
  m_run.ExtraGuardSlot = m_timerSlots.StopSlot(m_run.ExtraGuardSlot);
  m_run.ExtraSending = false;
  m_run.ExtraFileData.clear();
  m_run.ExtraFileData.shrink_to_fit();
  m_run.ExtraFileSent = 0;
}

void TUpdateForm::FailExtraFileTransfer(const std::string& message) {
  EndExtraFileTransfer();
  SetProgressPosition(0);
  const int language = m_settings.Language;
  m_view.MessageBox(message, texts::kCaptionError.In(language), MessageIcon::Error, MessageButtons::Ok);
  // The firmware is in already: a retry of the download would start a
  // loader the instrument has left. OK starts a new run instead.
  m_queue.PostCode(codes::kFailedNoRetry);
}

}  // namespace update
