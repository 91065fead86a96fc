#include "programmers/T_EMFLoader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/EventCodes.h"
#include "core/EventHandler.h"
#include "platform/SerialDcb.h"

namespace programmers {
namespace {

constexpr const char* kHello = "A.1000\r\n";
// The requests that send the instrument (mode 0), its sensor module (1) or
// the sensor behind it (2) into the loader, before the rate digit.
constexpr const char* kRequest[3] = {"A.1250#", "A.1255#", "A.1256#"};
// The rate digit: the loader's rate as a baud-rate code.
constexpr const char* kFastRate = "7\r\n";  // 115200
constexpr const char* kSlowRate = "3\r\n";  // 9600
constexpr const char* kAskVersion = "A.2051\r\n";
constexpr int32_t kSensorMode = 2;

// The loader's command letters, and the code a loader from 1.06 on wants
// after each (with its NUL).
constexpr uint8_t kStartTransfer = 0x75;  // "u"
constexpr uint8_t kTransferDone = 0x63;   // "c"
constexpr uint8_t kRunFirmware = 0x72;    // "r"
constexpr std::array<uint8_t, 7> kLetterCode{'8', '9', '3', '4', '\r', '\n', '\0'};


// Waits in ms.
constexpr int32_t kAfterRateSwitchMs = 3000;
constexpr int32_t kSensorStartMs = 10000;  // the sensor behind the instrument starts up
constexpr int32_t kBeforeRunMs = 300;
constexpr int32_t kAfterRunMs = 500;
constexpr int32_t kBeforeRestoreMs = 200;
constexpr int32_t kAfterRestoreMs = 1500;

std::string Replace(std::string text, const char* marker, const std::string& by) {
  const size_t at = text.find(marker);
  if (at != std::string::npos) text.replace(at, 2, by);
  return text;
}

std::string Hex4(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

T_EMFLoader::T_EMFLoader(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                         serial::TComPort& port)
    : TProgrammerTyp(form, delay, deviceRecord, port) {}

T_EMFLoader::~T_EMFLoader() = default;

int32_t T_EMFLoader::VersionThousandths(const std::string& text) {
  const double value = std::atof(text.c_str());
  const double scaled = std::trunc(value * 1000.01);
  if (!(scaled > -2147483648.0 && scaled < 2147483647.0)) return 0;
  return static_cast<int32_t>(scaled);
}

bool T_EMFLoader::Program(int32_t mode, const std::string& fileName, bool /*sameVersion*/) {
  m_language = m_form.Language();
  m_mode = std::clamp(mode, 0, kSensorMode);
  m_form.ReportProgress(progress::kPosition, 0);

  // A file that does not fit is refused before anything is sent.
  std::string content, error;
  if (!ReadPackageFile(fileName, XmodemImage::MaxFileSize(), content, error)) {
    m_form.ShowErrorBox(error, kErrorCaption);
    return false;
  }
  m_image = std::make_unique<XmodemImage>(content);
  m_form.ReportProgress(progress::kMaximum, m_image->PacketCount());
  m_sender = std::make_unique<XmodemSender>(*m_image);
  m_form.ReportProgress(progress::kPosition, 2);

  const core::EventHandler handler = core::MakeHandler<&T_EMFLoader::EventHandler>(this);
  m_form.Events().Subscribe(handler);
  m_port.SaveLastV24Parameter();
  m_timerSlot = m_form.Slots().StartSlot(kSlotMs);
  m_failed = false;
  m_finished = false;
  m_phase = Phase::kHello;
  m_form.ReportProgress(progress::kPercent, -1);

  if (m_deviceRecord.AlreadyInLoader)
    SwitchToLoader();  // no request: the loader listens already
  else
    Write(kHello);

  RunEventLoop(m_finished);

  m_form.ReportProgress(progress::kPercent, -1);
  // A lost line takes no settings and is not waited for.
  if (!LineLost()) {
    Wait(kBeforeRestoreMs);
    if (m_deviceRecord.RestoreSlowParameters && !m_failed)
      m_port.ChangeV24Parameter(serial::B__9600, serial::S_2, serial::NoParity, true);
    else
      m_port.LoadLastV24Parameter();
    Wait(kAfterRestoreMs);
  }
  m_form.ReportProgress(progress::kPosition, 0);
  m_form.Events().Unsubscribe(handler);
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  if (LineLost())
    ShowConnectionLost();
  else if (m_failed)
    m_form.ShowErrorBox(m_failText, kErrorCaption);
  return !m_failed;
}

void T_EMFLoader::OnConnectionLost() {
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  m_xmodemActive = false;
  Fail(kNotAvailableText.In(m_language));
}

void T_EMFLoader::Fail(std::string text) {
  if (!m_failed) m_failText = std::move(text);
  m_failed = true;
  m_finished = true;
  m_phase = Phase::kOver;
  m_xmodemActive = false;
}

core::Event T_EMFLoader::EventHandler(core::EventQueue& /*queue*/, core::Event event) {
  namespace codes = core::codes;
  if (m_finished) return event;
  if (event.kind == core::kKeyEvent) {
    if (event.code == core::keys::kReturn) return core::ClearEvent();
    // Escape ends the run, as with every other loader.
    if (event.code == core::keys::kEscape) {
      Fail(kNotAvailableText.In(m_language));
      return core::ClearEvent();
    }
    return event;
  }
  if (event.kind == core::kTimerEvent) {
    if (m_timerSlot <= 0 || event.code != m_timerSlot) return event;
    Fail(kNotAvailableText.In(m_language));
    return core::ClearEvent();
  }
  if (event.kind != core::kCodeEvent) return event;
  switch (event.code) {
    case codes::kDataArrived:
      m_form.Slots().RestartSlot(m_timerSlot);
      if (!m_xmodemActive) return event;
      ReadXmodemAnswer();
      return core::ClearEvent();
    case codes::kAcknowledged:
      OnAcknowledged();
      return core::ClearEvent();
    case codes::kAnswerLine:
      // The hello's "!" line is also an answer line: the request has gone
      // out before it arrives here, so it starts the switch.
      if (m_phase == Phase::kRequested) SwitchToLoader();
      return core::ClearEvent();
    case codes::kAnswerXmodemLoaderVersion:
      if (m_phase == Phase::kVersion) OnVersion(event.text.Text() ? event.text.Text() : "");
      return core::ClearEvent();
    case codes::kAnswerXmodemCrc:
      if (m_phase == Phase::kCrcReport) OnCrcReport(event.text.Text() ? event.text.Text() : "");
      return core::ClearEvent();
    default:
      return event;
  }
}

void T_EMFLoader::OnAcknowledged() {
  // Only the "!" the request waits for; a later one (the request's own,
  // arriving intact on a line that ignores the rate) would ask again.
  if (m_phase != Phase::kHello && m_phase != Phase::kSensorHello) return;
  if (m_deviceRecord.ImageByChipId && m_mode == 1) m_mode = kSensorMode;
  Write(std::string(kRequest[m_mode]) + (m_deviceRecord.KeepSlowRate[0] ? kSlowRate : kFastRate));
  m_port.SaveLastV24Parameter();
  m_phase = Phase::kRequested;
}

void T_EMFLoader::SwitchToLoader() {
  if (m_mode == kSensorMode) {
    m_port.ChangeV24Parameter(serial::B__9600, serial::S_2, serial::NoParity, false);
    m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
    Wait(kSensorStartMs);
    m_timerSlot = m_form.Slots().StartSlot(kSlotMs);
    m_mode = 0;
    // What came at the old rate is noise now.
    m_port.ClearBuffer(platform::PURGE_RXCLEAR);
    Write(std::string(kRequest[0]) + kSlowRate);
    m_phase = Phase::kSensorHello;
    return;
  }
  m_port.ChangeV24Parameter(m_deviceRecord.KeepSlowRate[0] ? serial::B__9600 : serial::B115200, serial::S_2,
                            serial::NoParity, false);
  Wait(kAfterRateSwitchMs);
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  m_timerSlot = m_form.Slots().StartSlot(kSlotMs);
  m_port.ClearBuffer(platform::PURGE_RXCLEAR);
  Write(kAskVersion);
  m_form.LogLine(kAskVersion);
  m_phase = Phase::kVersion;
}

void T_EMFLoader::OnVersion(const std::string& text) {
  m_useCodeSuffix = VersionThousandths(text) >= kFirstVersionWithCode;
  m_form.AppendToVersionField("   [BLV: " + text.substr(0, text.find(',')) + "]");
  m_xmodemActive = true;
  m_phase = Phase::kTransfer;
  SendLetter(kStartTransfer);
}

void T_EMFLoader::ReadXmodemAnswer() {
  // Only the first byte of what has come counts; the rest is read away
  // so that it is not taken for a later answer.
  std::array<uint8_t, kReadChunk> chunk{};
  bool haveFirst = false;
  uint8_t first = 0;
  for (size_t taken = 0; taken < kRxCapacity;) {
    const int32_t n =
        m_port.Read(chunk.data(), static_cast<uint32_t>(std::min<size_t>(kReadChunk, kRxCapacity - taken)));
    if (n <= 0) break;
    if (!haveFirst) {
      first = chunk[0];
      haveFirst = true;
    }
    taken += static_cast<size_t>(n);
  }
  if (!haveFirst) return;
  std::vector<uint8_t> out;
  switch (m_sender->OnAnswer(first, out)) {
    case XmodemSender::Step::kIgnored:
      break;
    case XmodemSender::Step::kRepeated:
    case XmodemSender::Step::kEndSent:
      WriteBytes(out.data(), out.size());
      break;
    case XmodemSender::Step::kNextPacket:
      WriteBytes(out.data(), out.size());
      m_form.ReportProgress(progress::kStep, 1);
      break;
    case XmodemSender::Step::kEndAcknowledged:
      SendLetter(kTransferDone);
      m_xmodemActive = false;
      m_phase = Phase::kCrcReport;
      break;
    case XmodemSender::Step::kRepeatsExhausted: {
      m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
      const std::string text =
          Replace(kRefusedText.In(m_language), "%1", std::to_string(m_sender->PacketsSent()));
      Fail(Replace(text, "%2", std::to_string(1 + XmodemSender::kMaxRepeats)));
      break;
    }
  }
}

bool T_EMFLoader::ReadCrcReport(const std::string& text, uint16_t& crc) {
  uint32_t value = 0;
  size_t digits = 0;
  for (const char c : text) {
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                         : -1;
    if (d < 0) break;
    value = value << 4 | static_cast<uint32_t>(d);
    if (value > 0xFFFF) return false;
    ++digits;
  }
  crc = static_cast<uint16_t>(value);
  return digits > 0;
}

void T_EMFLoader::OnCrcReport(const std::string& text) {
  uint16_t reported = 0;
  const bool read = ReadCrcReport(text, reported);
  if (read && reported == m_image->ImageCrc()) {
    Wait(kBeforeRunMs);
    SendLetter(kRunFirmware);
    m_form.ReportProgress(progress::kPosition, 0);
    Wait(kAfterRunMs);
    m_form.ReportProgress(progress::kPercent, 100);
    m_phase = Phase::kOver;
    Finish();
    return;
  }
  // The image did not arrive as sent: the old firmware must not be replaced
  // by it, and the run has failed.
  m_form.ReportProgress(progress::kPercent, 100);
  const std::string got = read ? Hex4(reported) : "\"" + text.substr(0, 16) + "\"";
  Fail(Replace(Replace(kCrcMismatchText.In(m_language), "%1", got), "%2", Hex4(m_image->ImageCrc())));
}

void T_EMFLoader::SendLetter(uint8_t letter) {
  WriteBytes(&letter, 1);
  if (m_useCodeSuffix) WriteBytes(kLetterCode.data(), kLetterCode.size());
}

void T_EMFLoader::Write(const std::string& text) {
  if (LineLost()) return;
  m_port.Write(text.c_str(), -1, false);
}

void T_EMFLoader::WriteBytes(const uint8_t* bytes, size_t count) {
  if (LineLost()) return;
  m_port.Write(bytes, static_cast<int32_t>(count), false);
}

}  // namespace programmers
