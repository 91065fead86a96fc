#include "programmers/TWinCEProg.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "core/EventCodes.h"
#include "core/EventHandler.h"
#include "programmers/WinCeBlockCrc.h"
#include "programmers/WinCeFileTime.h"

namespace programmers {
namespace {

constexpr const char* kHello = "A.1000\r\n";
constexpr const char* kRate = "A.1300#";
constexpr const char* kEndOfFile = "A.1202\r\n";
constexpr const char* kEndOfTransfer = "A.1203\r\n";
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kBlockStart = "D.";

int32_t ProgressBlocks(int32_t size) {
  return size / TWinCEProg::kBlockSize;
}

// The error number of an answer 261: the text after "#" as a decimal number.
int32_t ErrorNumber(const char* text) {
  return text ? static_cast<int32_t>(std::strtol(text, nullptr, 10)) : 0;
}

}  // namespace

TWinCEProg::TWinCEProg(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                       serial::TComPort& port)
    : TProgrammerTyp(form, delay, deviceRecord, port) {}

TWinCEProg::~TWinCEProg() {
  if (m_subscribed) m_form.Events().Unsubscribe(core::MakeHandler<&TWinCEProg::EventHandler>(this));
}

std::string TWinCEProg::MapName(const std::string& name) {
  return name;
}

bool TWinCEProg::SendCommand(const std::string& text) {
  if (LineLost()) return true;
  m_port.Write(text.c_str(), -1, false);
  m_form.LogLine(text);
  return true;
}

const char* TWinCEProg::AnnouncePrefix(uint8_t versionChoice, int32_t startupVersionInDevice) {
  return versionChoice == 0 && startupVersionInDevice >= kFirstTransferStartup ? kFirstTransfer
                                                                               : kAcceptedTransfer;
}

std::string TWinCEProg::BlockHeader(const std::string& bytes) {
  const char check = static_cast<char>(
      WinCeBlockCrc::Of(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  return kBlockStart + std::to_string(bytes.size()) + "," + check + "#";
}

bool TWinCEProg::LoadFile(const std::string& name) {
  std::string error;
  std::string data;
  if (!ReadPackageFile(name, kFileLimit, data, error)) {
    m_run.failure = Failure::kFile;
    m_run.failureText = error;
    m_run.failed = true;
    return false;
  }
  m_file.name = name;
  m_file.data = std::move(data);
  m_file.size = static_cast<int32_t>(m_file.data.size());
  m_file.sent = 0;
  // A file just read has a time; should it vanish meanwhile, it is announced as of 1980.
  m_file.dosTime = WinCeFileTime::OfFile(PackageFilePath(name)).value_or(WinCeFileTime::FromLocal(std::tm{}));
  return true;
}

bool TWinCEProg::Program(const std::string& fileName) {
  m_form.ReportProgress(progress::kPosition, 0);
  // A main file that cannot be used fails the run before anything is sent.
  if (!LoadFile(fileName)) {
    ShowFailure();
    return false;
  }
  m_form.ReportProgress(progress::kMaximum, ProgressBlocks(m_file.size));

  m_run = RunState{};
  m_run.versionChoice = m_deviceRecord.SameVersionAccepted;
  m_form.Events().Subscribe(core::MakeHandler<&TWinCEProg::EventHandler>(this));
  m_subscribed = true;
  m_port.SaveLastV24Parameter();
  m_run.guardSlot = m_form.Slots().StartSlot(kGuardMs);
  m_run.guardStartTick = m_delay.Clock().TickCount();
  m_form.ReportProgress(progress::kPercent, -1);

  m_run.nextStep = &TWinCEProg::RateStep;
  SendCommand(kHello);

  RunEventLoop(m_run.finished);

  m_form.ReportProgress(progress::kPercent, -1);
  // A lost line is not waited for.
  if (!LineLost()) Wait(kEndWaitMs, false);
  m_form.ReportProgress(progress::kPosition, 0);
  m_form.Events().Unsubscribe(core::MakeHandler<&TWinCEProg::EventHandler>(this));
  m_subscribed = false;
  m_run.guardSlot = m_form.Slots().StopSlot(m_run.guardSlot);
  if (m_run.lineSwitched && !LineLost()) m_port.LoadLastV24Parameter();
  if (m_run.failed) ShowFailure();
  return !m_run.failed;
}

void TWinCEProg::RestartGuard() {
  m_form.Slots().RestartSlot(m_run.guardSlot);
  m_run.guardStartTick = m_delay.Clock().TickCount();
}

bool TWinCEProg::GuardRunOut() const {
  return platform::TickReached(m_delay.Clock().TickCount(), m_run.guardStartTick + kGuardMs);
}

void TWinCEProg::Fail(Failure failure, std::string text) {
  if (m_run.failure == Failure::kNone) {
    m_run.failure = failure;
    m_run.failureText = std::move(text);
  }
  m_run.failed = true;
  m_run.finished = true;
}

void TWinCEProg::ShowFailure() {
  const int32_t language = m_form.Language();
  switch (m_run.failure) {
    case Failure::kLineLost:
      ShowConnectionLost();
      return;
    case Failure::kFile:
      m_form.ShowErrorBox(m_run.failureText, kErrorCaption);
      return;
    case Failure::kErrorNumber: {
      std::string text = kErrorNumberText.In(language);
      text.replace(text.find("%1"), 2, m_run.failureText);
      m_form.ShowErrorBox(text, kErrorCaption);
      return;
    }
    case Failure::kEscape:
      m_form.ShowErrorBox(kEscapeText.In(language), kErrorCaption);
      return;
    case Failure::kNoAnswer:
    case Failure::kNone:
      m_form.ShowErrorBox(kNoAnswerText.In(language), kErrorCaption);
      return;
  }
}

void TWinCEProg::OnConnectionLost() {
  m_run.guardSlot = m_form.Slots().StopSlot(m_run.guardSlot);
  Fail(Failure::kLineLost);
}

core::Event TWinCEProg::EventHandler(core::EventQueue& /*queue*/, core::Event event) {
  if (event.kind == core::kKeyEvent) {
    if (event.code != core::keys::kEscape) return event;
    Fail(Failure::kEscape);
    return core::ClearEvent();
  }
  if (event.kind == core::kTimerEvent) {
    if (m_run.guardSlot <= 0 || event.code != m_run.guardSlot) return event;
    Fail(Failure::kNoAnswer);
    return core::ClearEvent();
  }
  if (event.kind != core::kCodeEvent) return event;
  switch (event.code) {
    case core::codes::kAcknowledged:
      RestartGuard();
      if (!m_run.finished && m_run.nextStep) (this->*m_run.nextStep)();
      m_form.ReportProgress(progress::kStep, 1);
      return core::ClearEvent();
    case core::codes::kRejected:
      if (!m_run.finished && m_run.questionStep) (this->*m_run.questionStep)();
      return core::ClearEvent();
    case core::codes::kAnswerWinCeNextFile:
      // Only while files are under way: before the first announcement and
      // after the end of transfer there is no next file to start.
      if (!m_run.finished && m_run.transferOpen) NextFileStep();
      return core::ClearEvent();
    case core::codes::kAnswerWinCeBlockError: {
      const int32_t number = ErrorNumber(event.text.Text());
      if (m_run.finished) return core::ClearEvent();
      // A repeat does not push the guard back. Its tick may not get through
      // while the instrument keeps asking (each answer comes before it), so
      // the repeat itself ends a storm that has outlasted the guard.
      if (number == kSendAgain && GuardRunOut())
        Fail(Failure::kNoAnswer);
      else if (number == kSendAgain)
        SendLastBlockAgain();
      else
        Fail(Failure::kErrorNumber, std::to_string(number));
      return core::ClearEvent();
    }
    default:
      return event;
  }
}

// The instrument acknowledges the rate at the old rate and then switches:
// that acknowledgement comes while the wait runs and must not send the rate
// command again (the port still at the old rate, the instrument no longer).
// Once the port has followed, the transfer goes on at once when it came, or
// with the acknowledgement when it comes late.
void TWinCEProg::RateStep() {
  m_run.previousRate = m_port.LoadV24Parameter().BaudRate;
  m_run.rateAcknowledged = false;
  m_run.nextStep = &TWinCEProg::NoteRateAcknowledged;
  SendCommand(kRate + std::to_string(kTransferRate) + kLineEnd);
  Wait(kRateSwitchWaitMs, true);
  if (Stopped()) return;
  m_port.ChangeV24Parameter(serial::B_38400, serial::S_2, serial::NoParity, false);
  m_run.lineSwitched = true;
  m_run.nextStep = &TWinCEProg::AnnounceStep;
  if (m_run.rateAcknowledged) AnnounceStep();
}

void TWinCEProg::NoteRateAcknowledged() {
  m_run.rateAcknowledged = true;
}

void TWinCEProg::AnnounceStep() {
  m_run.nextStep = &TWinCEProg::DataStep;
  m_run.transferOpen = true;
  const std::string name = MapName(m_file.name);
  SendCommand(AnnouncePrefix(m_run.versionChoice, m_deviceRecord.StartupVersionInDevice) + name + "," +
              std::to_string(m_file.dosTime) + "," + std::to_string(m_file.size) + kLineEnd);
}

void TWinCEProg::DataStep() {
  const int32_t start = m_file.sent;
  m_file.sent = std::min(start + kBlockSize, m_file.size);
  if (m_file.sent >= m_file.size) m_run.nextStep = &TWinCEProg::EndOfFileStep;
  const std::string bytes = m_file.data.substr(static_cast<size_t>(start), static_cast<size_t>(m_file.sent - start));
  m_lastBlock = BlockHeader(bytes) + bytes;
  if (!LineLost()) m_port.Write(m_lastBlock.data(), static_cast<int32_t>(m_lastBlock.size()), false);
}

void TWinCEProg::SendLastBlockAgain() {
  // Not before the first block: there is nothing to repeat.
  if (m_lastBlock.empty() || LineLost()) return;
  m_port.Write(m_lastBlock.data(), static_cast<int32_t>(m_lastBlock.size()), false);
}

void TWinCEProg::EndOfFileStep() {
  m_run.nextStep = &TWinCEProg::NextFileStep;
  SendCommand(kEndOfFile);
}

void TWinCEProg::NextFileStep() {
  const int32_t count =
      std::min<int32_t>(m_deviceRecord.ExtraFileCount, static_cast<int32_t>(m_deviceRecord.ExtraFiles.size()));
  if (m_run.fileIndex >= count) {
    EndOfTransferStep();
    return;
  }
  RestartGuard();
  const std::string name = m_deviceRecord.ExtraFiles[static_cast<size_t>(m_run.fileIndex)];
  ++m_run.fileIndex;
  if (!LoadFile(name)) {
    // The files so far are in; the instrument is told no end of transfer,
    // but gets its own rate back so that a retry finds it.
    m_run.transferOpen = false;
    RateBackStep();
    return;
  }
  m_form.ReportProgress(progress::kMaximum, ProgressBlocks(m_file.size) + 1);
  m_form.ReportProgress(progress::kPosition, 0);
  AnnounceStep();
}

void TWinCEProg::EndOfTransferStep() {
  m_run.nextStep = &TWinCEProg::RateBackStep;
  m_run.transferOpen = false;
  SendCommand(kEndOfTransfer);
}

// As the rate step: the acknowledgement comes at the transfer rate during
// the wait; it ends the run once the port is back.
void TWinCEProg::RateBackStep() {
  m_run.rateAcknowledged = false;
  m_run.nextStep = &TWinCEProg::NoteRateAcknowledged;
  SendCommand(kRate + std::to_string(m_run.previousRate) + kLineEnd);
  Wait(kRateBackWaitMs, true);
  if (LineLost()) return;
  m_port.LoadLastV24Parameter();
  m_run.lineSwitched = false;
  m_run.nextStep = &TWinCEProg::EndStep;
  if (m_run.rateAcknowledged) EndStep();
}

void TWinCEProg::EndStep() {
  m_run.nextStep = nullptr;
  m_run.finished = true;
}

}  // namespace programmers
