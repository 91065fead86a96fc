#include <algorithm>

#include "update/RunTexts.h"
#include "update/TUpdateForm.h"
#include "update/protocol/CommandTables.h"

namespace update {

namespace {

constexpr int32_t kSettleMs = 500;
constexpr int32_t kBootLoaderSettleMs = 200;
// Slot periods a rate is tried again after a framing error on it.
constexpr int kErrorRateRepeats = 3;
// Copies of the hint text and the message built from it; longer texts are
// clipped.
constexpr size_t kHintTextCapacity = 399;
constexpr size_t kHintMessageCapacity = 399;

const char* BaudName(int code) {
  static constexpr const char* kNames[] = {"1200",  "2400",  "4800",   "9600",   "19200",
                                           "38400", "57600", "115200", "128000", "256000"};
  return code >= 0 && code < static_cast<int>(std::size(kNames)) ? kNames[code] : "";
}

}  // namespace

bool TUpdateForm::SearchStep(uint8_t next) {
  if (next == 1) ++m_run.BaudIndex;
  if (m_run.BaudIndex > m_settings.BaudCount) {
    SearchFailed();
    return false;
  }
  if (m_run.BaudIndex == m_settings.BaudCount) {
    BootLoaderPhase();
    return true;
  }
  m_run.CurrentBaud = m_settings.BaudList[static_cast<size_t>(std::max(m_run.BaudIndex, 0))];
  m_view.SetStatusPanel(2, BaudName(m_run.CurrentBaud));
  m_parser.ClearAccumulator();
  for (int i = 0; i < PortTableSize(); ++i) {
    if (serial::TComPort* port = Port(i))
      port->ChangeBaudrate(static_cast<serial::BaudTag>(m_run.CurrentBaud));
  }
  m_wait.DelayTime(kSettleMs, false);
  Broadcast(kLineBreaks);
  m_wait.DelayTime(kSettleMs, true);
  const std::string_view command = SearchCommand(m_startMode);
  Broadcast(command);
  LogLine(std::string(command));
  return true;
}

void TUpdateForm::BootLoaderPhase() {
  m_parser.ClearAccumulator();
  // The loader's line settings take effect when a port is next opened; the
  // rate is changed on the open ports now.
  if (serial::TComPort* first = Port(0)) {
    serial::V24ParameterTag record = *first->GetV24Parameter();
    record.StopBits = serial::S_1;
    if (m_loaderKind == 1) record.Paritaet = serial::Even;
    for (int i = 0; i < PortTableSize(); ++i) {
      if (serial::TComPort* port = Port(i)) port->InitParameter(record, false);
    }
  }
  const serial::BaudTag loaderBaud = m_loaderKind == 1 ? serial::B__9600 : serial::B_38400;
  m_view.SetStatusPanel(2, "BL-Baud");
  m_parser.ClearAccumulator();
  for (int i = 0; i < PortTableSize(); ++i) {
    if (serial::TComPort* port = Port(i)) port->ChangeBaudrate(loaderBaud);
  }
  m_wait.DelayTime(kBootLoaderSettleMs, false);
  m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
  ShowBslHint();
  m_run.RunSlot = m_timerSlots.StartSlot(kRunSlotMs);
  // Kinds without a sequence send nothing and go on as if it had gone out.
  Broadcast(WakeUpSequence(m_loaderKind));
  m_run.BootStage = 3;
}

void TUpdateForm::ShowBslHint() {
  const std::string text = FillPlaceholders(AbortText().substr(0, kHintTextCapacity));
  if (m_loaderKind != 1 || m_run.BslHintShown) return;
  const size_t first = text.find("\r\n");
  if (first == std::string::npos) return;
  const size_t second = text.find("\r\n", first + 2);
  if (second == std::string::npos) return;
  m_run.BslHintShown = true;
  std::string message = text.substr(first + 2, second + 2 - (first + 2));
  message += texts::kBslHintSuffix.In(m_settings.Language);
  m_view.MessageBox(message.substr(0, kHintMessageCapacity), texts::kCaptionInfo.In(m_settings.Language),
                    MessageIcon::Information, MessageButtons::Ok);
}

void TUpdateForm::RunSlotExpired() {
  if (m_run.BootStage == 3) {
    Broadcast(WakeUpSequence(m_loaderKind + 3));
    m_run.BootStage = 4;
    return;
  }
  // After a framing error the rate that brought it is tried again, but only
  // a few slot periods: a line that was noisy once and then stays silent
  // must still end in "no device found".
  if (m_run.PortErrorSeen && m_run.ErrorRateRepeats < kErrorRateRepeats) {
    ++m_run.ErrorRateRepeats;
    SearchStep(0);
    return;
  }
  m_run.PortErrorSeen = false;
  m_run.ErrorRateRepeats = 0;
  SearchStep(1);
}

void TUpdateForm::SearchFailed() {
  m_run.IdentCmd = 0;
  m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
  m_view.SetEnabled(Control::VE720dProgramming, true);
  m_view.SetVisible(Control::WaitPanel, false);
  m_run.BslHintShown = false;
  const int language = m_settings.Language;
  if (m_run.SearchFailures == 0) {
    m_view.MessageBox(FillPlaceholders(texts::kNoDeviceFound.In(language)), texts::kCaptionError.In(language),
                      MessageIcon::Error, MessageButtons::Ok);
    m_queue.PostKey(keys::kReturn);
    m_run.SearchFailures = 1;
  } else if (m_run.SearchFailures == 1) {
    m_view.MessageBox(FillPlaceholders(texts::kSecondFailure.In(language)), texts::kCaptionError.In(language),
                      MessageIcon::Error, MessageButtons::Ok);
    m_view.CloseWindow();
  }
  ClearDeviceFields();
}

}  // namespace update
