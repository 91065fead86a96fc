#include "programmers/TEFMV24_Prog.h"

#include <cstdio>
#include <cstdlib>

#include "core/EventCodes.h"
#include "core/EventHandler.h"
#include "programmers/Crc16Xmodem.h"
#include "programmers/PaddedImage.h"

namespace programmers {
namespace {

constexpr const char* kRequest = "A.5004\r\n";    // the instrument prepares the download
constexpr const char* kSpeed = "A.1301#";         // + BaudTag index: the instrument's line rate
constexpr const char* kRestart = "A.9000\r\n";    // the instrument restarts into its loader
constexpr const char* kHello = "A.1000\r\n";      // the loader answers 35
constexpr const char* kAnnounce = "A.1260#";      // the image length and the loader's text
constexpr const char* kDataLine = "A.1261#";      // length, CRC-16, hex bytes
constexpr const char* kTrailer = "A.1262#";       // the loader programs the image
constexpr const char* kTrailerKey = "QT48";
constexpr const char* kFinish = "A.1263\r\n";     // the loader completes the programming
constexpr const char* kLineEnd = "\r\n";
constexpr uint8_t kFill = 0xFF;
// Answer 263 with this number: the line arrived damaged, send it again.
constexpr int32_t kLineDamaged = 2;
// The error texts of the window: the loader never answered, or it failed.
constexpr int32_t kNoLoader = 0;
constexpr int32_t kLoaderError = 1;
// The trailer's epoch, 31 December 2002 00:00, as a day number.
constexpr double kEpochDay = 37621.0;
constexpr double kSecondsPerDay = 86400.0;

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

TEFMV24_Prog::TEFMV24_Prog(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                           serial::TComPort& port)
    : TProgrammerTyp(form, delay, deviceRecord, port) {}

TEFMV24_Prog::~TEFMV24_Prog() {
  if (m_subscribed) m_form.Events().Unsubscribe(core::MakeHandler<&TEFMV24_Prog::EventHandler>(this));
}

std::vector<uint8_t> TEFMV24_Prog::PaddedImage(const std::string& content) {
  std::vector<uint8_t> image(content.begin(), content.end());
  image.resize(content.size() + FillLength(content.size()), kFill);
  return image;
}

std::string TEFMV24_Prog::DataLine(const uint8_t* bytes, size_t count) {
  std::string line = kDataLine + std::to_string(count) + "," + std::to_string(Crc16Xmodem(bytes, count)) + ",";
  line.reserve(line.size() + 2 * count + 2);
  for (size_t i = 0; i < count; ++i) {
    line.push_back(kHexDigits[bytes[i] >> 4]);
    line.push_back(kHexDigits[bytes[i] & 0x0F]);
  }
  return line + kLineEnd;
}

uint32_t TEFMV24_Prog::TimeStamp(double localDayNumber) {
  const double seconds = (localDayNumber - kEpochDay) * kSecondsPerDay;
  if (!(seconds > 0)) return 0;
  if (seconds >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(seconds);
}

bool TEFMV24_Prog::SendCommand(const std::string& text) {
  if (LineLost()) return true;
  m_port.Write(text.c_str(), -1, false);
  m_form.LogLine(text);
  return true;
}

bool TEFMV24_Prog::Program(const std::string& fileName) {
  m_form.ReportProgress(progress::kPosition, 0);
  // A file that cannot be read or whose padded image would not fit fails
  // the run before anything is sent.
  std::string content, error;
  if (!ReadPackageFile(fileName, kFileLimit, content, error)) {
    m_form.ShowErrorBox(error, kErrorCaption);
    return false;
  }
  m_image = PaddedImage(content);
  m_imageLength = static_cast<int32_t>(m_image.size());
  m_blockCount = static_cast<int32_t>(PaddedBlockCount(content.size()));
  m_fileName = fileName;
  m_form.ReportProgress(progress::kMaximum, m_imageLength / static_cast<int32_t>(kLineBytes));

  m_run = Run{};
  m_form.Events().Subscribe(core::MakeHandler<&TEFMV24_Prog::EventHandler>(this));
  m_subscribed = true;
  m_port.SaveLastV24Parameter();
  m_run.guardSlot = m_form.Slots().StartSlot(kGuardMs);
  m_form.ReportProgress(progress::kPercent, -1);

  m_run.next = &TEFMV24_Prog::StepSpeed;
  SendCommand(kRequest);

  RunEventLoop(m_run.finished);

  m_form.ReportProgress(progress::kPercent, -1);
  // A lost line takes no settings and is not waited for.
  if (!LineLost()) {
    m_delay.DelayTime(kEndWaitMs, false);
    // After a failure the port goes back to what it had, wherever the run
    // stopped (the instrument stays as it is).
    if (m_run.failed || m_run.lineSwitched) m_port.LoadLastV24Parameter();
  }
  m_form.ReportProgress(progress::kPosition, 0);
  m_form.Events().Unsubscribe(core::MakeHandler<&TEFMV24_Prog::EventHandler>(this));
  m_subscribed = false;
  m_run.guardSlot = m_form.Slots().StopSlot(m_run.guardSlot);
  if (LineLost()) {
    ShowConnectionLost();
  } else if (m_run.failed) {
    const bool loaderAnswered = m_run.phase == Phase::kAwaitHello || m_run.phase == Phase::kLoader;
    m_form.ShowErrorBox(m_form.ErrorText(loaderAnswered ? kLoaderError : kNoLoader), kErrorCaption);
  }
  return !m_run.failed;
}

void TEFMV24_Prog::OnConnectionLost() {
  m_run.guardSlot = m_form.Slots().StopSlot(m_run.guardSlot);
  Fail();
}

void TEFMV24_Prog::Fail() {
  m_run.failed = true;
  m_run.finished = true;
}

core::Event TEFMV24_Prog::EventHandler(core::EventQueue& /*queue*/, core::Event event) {
  if (event.kind == core::kKeyEvent) {
    if (event.code != core::keys::kEscape) return event;
    Fail();
    return core::ClearEvent();
  }
  if (event.kind == core::kTimerEvent) {
    if (m_run.guardSlot <= 0 || event.code != m_run.guardSlot) return event;
    Fail();
    return core::ClearEvent();
  }
  if (event.kind != core::kCodeEvent) return event;
  // Nothing the instrument says counts once the run is over.
  const bool over = m_run.finished;
  switch (event.code) {
    case core::codes::kAcknowledged:
      if (!over) OnAcknowledged();
      break;
    case core::codes::kRejected:
      break;  // no step answers a refusal: the guard ends the run
    case core::codes::kAnswerEfmLoaderText:
      // Only the loader's first word after the restart: a loader that keeps
      // announcing itself must not keep the run alive.
      if (over || m_run.phase != Phase::kAwaitLoader) break;
      m_run.phase = Phase::kAwaitHello;
      m_form.Slots().RestartSlot(m_run.guardSlot);
      m_loaderText = event.text.Text() ? event.text.Text() : "";
      if (m_loaderText.size() > kLoaderTextMax) m_loaderText.resize(kLoaderTextMax);
      m_delay.DelayTime(kHelloDelayMs, false);
      SendCommand(kHello);
      break;
    case core::codes::kAnswerLoaderHello:
      if (over || m_run.phase != Phase::kAwaitHello) break;
      m_run.phase = Phase::kLoader;
      m_form.Slots().RestartSlot(m_run.guardSlot);
      m_run.next = &TEFMV24_Prog::StepData;
      m_mappedName = MapName(m_fileName);
      SendCommand(kAnnounce + std::string("Will receive\r\rprogdata: \r\rof!") + std::to_string(m_imageLength) +
                  " bytes," + m_loaderText + kLineEnd);
      break;
    case core::codes::kAnswerEfmLineError:
      if (!over) OnLineError(event.text.Text());
      break;
    default:
      return event;
  }
  return core::ClearEvent();
}

void TEFMV24_Prog::OnAcknowledged() {
  if (m_run.switching) {
    // The acknowledgement of the rate command, at the old rate: the next
    // step waits until the port has followed.
    if (m_run.ackWhileSwitching) return;
    m_run.ackWhileSwitching = true;
    m_form.Slots().RestartSlot(m_run.guardSlot);
    m_form.ReportProgress(progress::kStep, 1);
    return;
  }
  // An acknowledgement that no step awaits keeps nothing alive.
  const Step step = m_run.next;
  if (!step) return;
  m_form.Slots().RestartSlot(m_run.guardSlot);
  (this->*step)();
  m_form.ReportProgress(progress::kStep, 1);
}

void TEFMV24_Prog::OnLineError(const char* text) {
  const int32_t number = text ? static_cast<int32_t>(std::strtol(text, nullptr, 10)) : 0;
  if (number != kLineDamaged) {
    Fail();
    return;
  }
  // The same line again; the guard runs on, so an instrument that refuses
  // every copy ends the run by it.
  if (!m_lastLine.empty() && !LineLost()) m_port.Write(m_lastLine.c_str(), -1, false);
}

template <class Change>
void TEFMV24_Prog::SwitchLine(Change change, Step then) {
  m_run.next = nullptr;
  m_run.switching = true;
  m_run.ackWhileSwitching = false;
  m_delay.DelayTime(kRateSwitchWaitMs, true);
  m_run.switching = false;
  // Escape, the guard or a lost line during the wait ended the run.
  if (m_run.finished || LineLost()) return;
  change();
  m_run.next = then;
  if (m_run.ackWhileSwitching) {
    m_run.next = nullptr;
    (this->*then)();
  }
}

void TEFMV24_Prog::SendSpeed(int32_t baudIndex) {
  SendCommand(kSpeed + std::to_string(baudIndex) + kLineEnd);
}

void TEFMV24_Prog::StepSpeed() {
  const serial::BaudTag rate = m_deviceRecord.KeepSlowRate[0] ? serial::B__9600 : serial::BaudTag(7);
  SendSpeed(rate);
  SwitchLine(
      [&] {
        m_port.ChangeV24Parameter(rate, serial::S_2, serial::NoParity, false);
        m_run.lineSwitched = true;
      },
      &TEFMV24_Prog::StepRestart);
}

void TEFMV24_Prog::StepRestart() {
  m_run.next = nullptr;
  m_run.phase = Phase::kAwaitLoader;
  SendCommand(kRestart);
}

void TEFMV24_Prog::StepData() {
  const int32_t start = m_run.sent;
  m_run.sent += static_cast<int32_t>(kLineBytes);
  if (m_run.sent >= m_imageLength) {
    m_run.sent = m_imageLength;
    m_run.next = &TEFMV24_Prog::StepTrailer;
  }
  const size_t n = static_cast<size_t>(m_run.sent - start);
  m_lastLine = DataLine(m_image.data() + start, n);
  m_form.LogLine(m_lastLine.substr(0, m_lastLine.rfind(',') + 1));
  if (!LineLost()) m_port.Write(m_lastLine.c_str(), -1, false);
}

void TEFMV24_Prog::StepTrailer() {
  m_run.next = &TEFMV24_Prog::StepFinish;
  const uint16_t crc = Crc16Xmodem(m_image.data(), m_image.size());
  SendCommand(kTrailer + std::string(kTrailerKey) + "," + std::to_string(m_imageLength) + "," +
              std::to_string(crc) + "," + std::to_string(TimeStamp(m_form.LocalDayNumber())) + kLineEnd);
  m_run.guardSlot = m_form.Slots().StopSlot(m_run.guardSlot);
  m_run.guardSlot = m_form.Slots().StartSlot(kTrailerGuardMs);
}

void TEFMV24_Prog::StepFinish() {
  m_run.next = &TEFMV24_Prog::StepSpeedBack;
  SendCommand(kFinish);
}

void TEFMV24_Prog::StepSpeedBack() {
  SendSpeed(serial::B__9600);
  // Stop bits, parity and NUL handling stay as the speed step set them.
  SwitchLine(
      [&] {
        m_port.ChangeBaudrate(serial::B__9600);
        m_run.lineSwitched = false;
      },
      &TEFMV24_Prog::StepEnd);
}

void TEFMV24_Prog::StepEnd() {
  m_run.next = nullptr;
  m_run.finished = true;
}

}  // namespace programmers
