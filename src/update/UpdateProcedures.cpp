#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "update/RunTexts.h"
#include "update/TUpdateForm.h"
#include "update/TextParts.h"
#include "update/procedures/AirPressureTable.h"

namespace update {

namespace {

// Day number of 31 December 2002 00:00, the epoch of the clock in seconds.
constexpr double kClockEpochDay = 37621.0;
// Day number of 1 January 1970 00:00.
constexpr double kUnixEpochDay = 25569.0;
constexpr int32_t kFinishSettleMs = 3000;
constexpr int32_t kFinishShowMs = 1000;
constexpr int32_t kResetCommandMs = 2000;
constexpr int32_t kClockRestoreMs = 500;
constexpr int32_t kSecondFileStartMs = 2000;
// Starts the instrument's transfer of the sensor's software.
constexpr std::string_view kSecondFileCommand = "A.2005\r\n";

// The code a retry posts, by LoaderKind. Kinds 4 to 7 repeat their own
// download code.
int32_t RetryCodeOf(int loaderKind) {
  static constexpr int32_t kCodes[] = {
      codes::kBootLoaderCommand,  // 0
      codes::kDownloadInLoader,   // 1 TXT: the instrument is in its loader now
      codes::kDownloadWinCe,      // 2
      codes::kBootLoaderCommand,  // 3
      codes::kDownloadBin,        // 4 BIN
      codes::kBootLoaderCommand,  // 5 the menu download
      codes::kDownloadInLoader,   // 6 the loader retry
      codes::kDownloadWinCe,      // 7 the Windows CE image
  };
  return loaderKind >= 0 && loaderKind < static_cast<int>(std::size(kCodes)) ? kCodes[loaderKind]
                                                                             : codes::kBootLoaderCommand;
}

}  // namespace

bool TUpdateForm::MainVersionNewer() const {
  const DeviceRecord& r = m_deviceRecord;
  return r.DeviceVersion < r.FileVersion || (r.DeviceVersion == r.FileVersion && m_run.SameVersionConfirmed);
}

bool TUpdateForm::SecondVersionNewer() const {
  const DeviceRecord& r = m_deviceRecord;
  return r.DeviceVersion2 < r.FileVersion2 ||
         (r.DeviceVersion2 == r.FileVersion2 && m_run.SameVersionConfirmed);
}

void TUpdateForm::ShowDurationEstimate(int method) {
  int minutes = MainVersionNewer() ? 2 : 0;
  if (method == 2) minutes = 15;
  if (method == 4) minutes = 6;
  const bool second = SecondVersionNewer();
  if (second) minutes += 1;
  if (m_deviceRecord.FirstFile.size() > 3) minutes += 2;
  if (second && m_deviceRecord.DeviceVersion2 > 2000) minutes += 35;
  m_view.MemoClear();
  AppendMemo(ReplaceFirst(texts::kDurationEstimate.In(m_settings.Language), "X", std::to_string(minutes)));
}

void TUpdateForm::StartSecondFile() {
  // The sensor takes its software at 19200 baud through the instrument.
  m_view.SetStatusPanel(2, "19200");
  m_view.SetStatusPanel(3, "Version " + m_deviceRecord.FileVersionText2);
  m_wait.DelayTime(kSecondFileStartMs, true);
  SendToDevice(kSecondFileCommand);
}

double TUpdateForm::LocalDayNumber() const {
  if (m_environment.localDayNumber) return m_environment.localDayNumber();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // The local wall time as if it were UTC, so the day number counts local days.
  const double localSeconds = static_cast<double>(now) + static_cast<double>(local.tm_gmtoff);
  return kUnixEpochDay + localSeconds / 86400.0;
}

void TUpdateForm::SetInstrumentClock(int form) {
  const double day = LocalDayNumber();
  char text[64];
  if (form == 1) {
    const auto seconds = static_cast<unsigned long>(std::trunc((day - kClockEpochDay) * 86400.0));
    std::snprintf(text, sizeof text, "A.1600#%lu\r\n", seconds);
  } else {
    std::snprintf(text, sizeof text, "A.1600#%f\r\n", day);
  }
  serial::TComPort* port = Port(m_run.DevicePort);
  if (m_startMode == 2 && port) {
    port->LoadLastV24Parameter();
    m_wait.DelayTime(kClockRestoreMs, false);
  }
  SendToDevice(text);
}

void TUpdateForm::FinishRun(int flag) {
  m_wait.DelayTime(kFinishSettleMs, true);
  serial::TComPort* port = Port(m_run.DevicePort);
  if (m_startMode == 2 && port) port->LoadLastV24Parameter();
  if (m_run.AirPressureIndex != kNoAirPressure) {
    m_queue.Subscribe(core::MakeHandler<&TUpdateForm::AirPressureStep>(this));
    SendToDevice("A.1000\r\n");
    return;
  }
  SendClosingCommand();
  AppendMemo(texts::kDownloadSucceeded.In(m_settings.Language));
  m_view.SetCaption(Control::SWStaticText, m_deviceRecord.FileVersionText);
  m_view.SetEnabled(Control::OkBitBtn, false);
  m_view.SetVisible(Control::WaitPanel, false);
  m_secTimer->SetEnabled(false);
  SetProgressPosition(0);
  ShowPercent("", -1000);
  m_run.RunClosed = true;
  m_wait.DelayTime(kFinishShowMs, true);
  if (flag == 1) {
    SendToDevice("U.606\r\n");
    m_wait.DelayTime(kResetCommandMs, true);
  }
  port = Port(m_run.DevicePort);
  if (port) port->Close();
}

core::Event TUpdateForm::AirPressureStep(core::EventQueue& queue, core::Event event) {
  if (event.kind != core::kCodeEvent || event.code != codes::kAcknowledged) return event;
  if (m_run.AirPressureIndex >= 0 || m_run.AirPressureIndex == kDefaultAirPressure) {
    char text[32];
    std::snprintf(text, sizeof text, "A.6162#%1.1f\r\n",
                  static_cast<double>(AirPressureValue(m_run.AirPressureIndex)));
    SendToDevice(text);
    m_run.AirPressureIndex = kAirPressureSent;
  } else if (m_run.AirPressureIndex == kAirPressureSent) {
    SendClosingCommand();
    m_run.AirPressureIndex = kNoAirPressure;
  } else {
    SendClosingCommand();
    queue.Unsubscribe(core::MakeHandler<&TUpdateForm::AirPressureStep>(this));
    FinishRun(0);
  }
  return core::ClearEvent();
}

void TUpdateForm::ReportFailure(int32_t code) {
  m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
  AppendMemo(AbortText());
  // The wait panel goes, so the abort text and OK can be seen.
  m_view.SetVisible(Control::WaitPanel, false);
  m_view.SetEnabled(Control::OkBitBtn, true);
  // A late acknowledgement must not carry the failed run on to its finish.
  m_run.RunClosed = true;
  if (code == codes::kFailedWithRetry) {
    m_queue.Subscribe(core::MakeHandler<&TUpdateForm::RetryAfterFailure>(this));
  } else {
    // No retry: the next OK starts a new run with the configured commands.
    m_startMode = m_configuredStartMode;
  }
}

core::Event TUpdateForm::RetryAfterFailure(core::EventQueue& queue, core::Event event) {
  if (event.kind != core::kKeyEvent || event.code != keys::kReturn) return event;
  queue.Unsubscribe(core::MakeHandler<&TUpdateForm::RetryAfterFailure>(this));
  m_run.RunClosed = false;
  if (m_run.FirstLoadDone) {
    queue.PostCode(codes::kOutsideLoader);
  } else {
    m_run.IdentStep = 2;
    queue.PostCode(RetryCodeOf(m_loaderKind));
  }
  m_view.SetEnabled(Control::OkBitBtn, false);
  m_view.MemoClear();
  m_view.SetVisible(Control::WaitPanel, true);
  m_secTimer->SetEnabled(false);
  SetProgressPosition(0);
  return core::ClearEvent();
}

std::string TUpdateForm::ErrorTextProvider(int32_t step) const {
  return (step == 0 ? texts::kLoaderNotAvailable : texts::kLoaderError).In(m_settings.Language);
}

}  // namespace update
