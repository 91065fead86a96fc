#include <algorithm>
#include <cstdio>
#include <string>

#include "update/RunTexts.h"
#include "update/TUpdateForm.h"
#include "update/TextParts.h"
#include "update/procedures/AirPressureTable.h"
#include "update/protocol/AsciiNumbers.h"
#include "update/protocol/CommandTables.h"
#include "update/versions/VersionNumber.h"

namespace update {

namespace {

constexpr int32_t kRefusedPauseMs = 1000;
// An instrument may ask for a pause (answer 1131); longer requests are held
// to this, so a garbled number cannot freeze the window for hours.
constexpr int32_t kMaxRequestedPauseMs = 60000;

// The CodeEvent that starts the download method of a LoaderKind.
int32_t DownloadCodeOf(int loaderKind) {
  static constexpr int32_t kCodes[] = {
      codes::kOwnDownload,        // 0 the instrument's own download
      codes::kDownloadTiTxt,      // 1 TXT
      codes::kDownloadWinCe,      // 2 EXE
      codes::kDownloadHex,        // 3 HEX
      codes::kDownloadBin,        // 4 BIN
      codes::kBootLoaderCommand,  // 5 the menu download
      codes::kDownloadInLoader,   // 6 the loader retry
      codes::kDownloadWinCe,      // 7 the Windows CE image
  };
  return loaderKind >= 0 && loaderKind < static_cast<int>(std::size(kCodes)) ? kCodes[loaderKind] : 0;
}

bool IsDownloadCode(int32_t code) {
  switch (code) {
    case codes::kFailedWithRetry:
    case codes::kOutsideLoadDone:
    case codes::kOwnDownload:
    case codes::kSecondStage:
    case codes::kTerminalProgramming:
    case codes::kOutsideLoader:
    case codes::kDownloadTiTxt:
    case codes::kDownloadInLoader:
    case codes::kFailedNoRetry:
    case codes::kDownloadWinCe:
    case codes::kDownloadHex:
    case codes::kDownloadBin:
      return true;
    default:
      return false;
  }
}

// Codes made of what arrives on the line: data notifications, and what the
// line parser turns the bytes into (answers, "!", "?", boot-loader frames
// and bytes).
bool FromInstrument(int32_t code) {
  switch (code) {
    case codes::kDataArrived:
    case codes::kAcknowledged:
    case codes::kAnswerLine:
    case codes::kRejected:
    case codes::kLoaderFrame:
    case codes::kLoaderByte:
      return true;
    default:
      return code >= 0 && code < codes::kDataArrived;
  }
}

}  // namespace

core::Event TUpdateForm::UpdateStateMachine(core::EventQueue&, core::Event event) {
  // While a programmer owns the device port its bytes are its own: the port
  // is still read (the programmer's text phase needs the answer lines), but
  // nothing the instrument or the line noise sends may move the run on, and
  // no new run may start into the loader session.
  if (m_run.ProgrammerOwnsPort && event.kind == core::kCodeEvent && FromInstrument(event.code)) {
    if (event.code == codes::kDataArrived) ParseReceived(event.text.Number());
    return core::ClearEvent();
  }
  if (m_run.ProgrammerOwnsPort && event.kind == core::kKeyEvent && event.code == keys::kReturn) {
    return core::ClearEvent();
  }
  if (event.kind == core::kKeyEvent && event.code == keys::kReturn) {
    if (m_settings.FixedPort) m_portsInUse = 1;
    m_run.IdentStep = m_startMode == 1 ? 1 : 0;
    m_run.NextCommand = std::string(kDownloadCommand);
    m_parser.ClearFrameSeen();
    m_run.LabKey = 0;
    m_run.RunClosed = false;
    m_run.PortErrorSeen = false;
    m_run.ErrorRateRepeats = 0;
    m_run.SensorIdModule = false;
    // An earlier instrument's unknown version must not steer this one's
    // download.
    m_run.VersionUnknown = false;
    m_run.FirstLoadDone = false;
    // WinCeHandOver stays: once an image went over, every later second
    // stage through the loader asks for the reset vector.
    m_deviceRecord = DeviceRecord{};
    m_view.SetEnabled(Control::OkBitBtn, false);
    m_secTimer->SetEnabled(false);
    SetProgressPosition(0);
    m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
    m_run.RunSlot = m_timerSlots.StartSlot(kRunSlotMs);
    m_view.SetVisible(Control::WaitPanel, true);
    m_run.BaudIndex = -1;
    m_run.IdentCmd = 0;
    m_run.AirPressureIndex = kNoAirPressure;
    SearchStep(1);
    return core::ClearEvent();
  }
  if (event.kind == core::kTimerEvent) {
    if (m_run.RunSlot <= 0 || event.code != m_run.RunSlot) return event;
    RunSlotExpired();
    return core::ClearEvent();
  }
  if (event.kind != core::kCodeEvent) return event;

  const int32_t code = event.code;
  const char* text = event.text.Text() ? event.text.Text() : "";
  switch (code) {
    case codes::kDataArrived:
      ParseReceived(event.text.Number());
      return core::ClearEvent();
    case codes::kAcknowledged:
    case codes::kBootLoaderCommand:
      Acknowledged();
      return core::ClearEvent();
    case codes::kAnswerPcbNumber:
    case codes::kAnswerPcbNumber2:
    case codes::kAnswerSensorPcbNumber:
    case codes::kAnswerIdentNumber:
    case codes::kAnswerIdentNumber2:
    case codes::kAnswerSensorIdentNumber:
    case codes::kAnswerSoftwareVersion:
    case codes::kAnswerSoftwareVersion2:
    case codes::kAnswerStartupVersion:
      IdentificationAnswer(code, text);
      return core::ClearEvent();
    case codes::kAnswerSerialNumber:
    case codes::kAnswerSerialNumber2:
      SerialNumberArrived(text);
      return core::ClearEvent();
    case codes::kAnswerSetClockSeconds:
    case codes::kAnswerFinished:
    case codes::kAnswerTerminalVariant:
    case codes::kAnswerSensorIdModule:
    case codes::kAnswerAirPressureQuery:
    case codes::kAnswerPause:
    case codes::kAnswerBottlexNotReady:
    case codes::kLoaderFrame:
    case codes::kLoaderByte:
      SpecialAnswer(code, event);
      return core::ClearEvent();
    case codes::kFailedWithRetry:
    case codes::kFailedNoRetry:
      ReportFailure(code);
      return core::ClearEvent();
    case codes::kOwnDownload:
      StartOwnDownload();
      return core::ClearEvent();
    case codes::kSecondStage:
      SecondStage();
      return core::ClearEvent();
    case codes::kDownloadTiTxt:
      HandOverTiTxt();
      return core::ClearEvent();
    case codes::kDownloadInLoader:
      HandOverInLoader();
      return core::ClearEvent();
    case codes::kDownloadWinCe:
      HandOverWinCe();
      return core::ClearEvent();
    case codes::kDownloadBin:
      HandOverBin();
      return core::ClearEvent();
    default:
      break;
  }
  if (IsDownloadCode(code)) {
    // The outside loaders, the terminal and the other programmers are not
    // part of this version: the run ends here.
    EndRunAtMissingStep(code, true);
    return core::ClearEvent();
  }
  return event;
}

void TUpdateForm::Acknowledged() {
  if (m_run.IdentStep == 0) {
    SendToDevice(kFirstCommand);
    m_timerSlots.RestartSlot(m_run.RunSlot);
  }
  if (m_run.IdentStep == 1) {
    SendToDevice(IdentificationQuery(m_run.IdentCmd));
    m_timerSlots.RestartSlot(m_run.RunSlot);
    m_run.IdentCmd = 1;
  }
  if (m_run.IdentStep == 2 && !m_run.RunClosed) {
    if (m_deviceRecord.FirstFile.size() > 3) {
      AppendMemo(texts::kProgramming.In(m_settings.Language));
      // The outside loaders are not part of this version.
      EndRunAtMissingStep(codes::kOutsideLoader, true);
    } else {
      m_run.IdentStep = 4;
    }
  }
  if (m_run.IdentStep == 3 && !m_run.RunClosed) m_queue.PostCode(codes::kOwnDownload);
  if (m_run.IdentStep == 4 && !m_run.RunClosed) m_queue.PostCode(codes::kOutsideLoader);
  if (m_run.IdentStep == 5 && !m_run.RunClosed) m_queue.PostCode(codes::kSecondStage);
  if (m_run.IdentStep == 6 && !m_run.RunClosed) m_queue.PostCode(codes::kTerminalProgramming);
  if (m_run.IdentStep == 7 && !m_run.RunClosed) m_queue.PostCode(codes::kSecondStage);
  ++m_run.IdentStep;
}

void TUpdateForm::IdentificationAnswer(int32_t code, const char* text) {
  DeviceRecord& record = m_deviceRecord;
  switch (code) {
    case codes::kAnswerPcbNumber:
    case codes::kAnswerPcbNumber2:
    case codes::kAnswerSensorPcbNumber:
      record.DeviceText = Clip(text, DeviceRecord::kDeviceTextCapacity);
      m_timerSlots.RestartSlot(m_run.RunSlot);
      SendToDevice(IdentificationQuery(m_run.IdentCmd));
      m_run.IdentCmd = 2;
      return;
    case codes::kAnswerIdentNumber:
    case codes::kAnswerIdentNumber2:
    case codes::kAnswerSensorIdentNumber:
      record.IdentNumber = Clip(text, DeviceRecord::kIdentNumberCapacity);
      if (m_settings.NoVersionTest && m_run.IdentCmd == 2) {
        record.SoftwareVersion = "1.00";
        m_run.IdentCmd = 3;
      }
      SendToDevice(IdentificationQuery(m_run.IdentCmd));
      m_timerSlots.RestartSlot(m_run.RunSlot);
      m_run.IdentCmd = 3;
      return;
    case codes::kAnswerStartupVersion:
      if (m_loaderKind == 2) {
        record.StartupVersionInDevice = VersionThousandths(text);
        return;
      }
      break;
    default:
      break;
  }
  // 21, 201, and 2011 outside LoaderKind 2: the software version.
  const std::string version = Clip(text, DeviceRecord::kVersionTextCapacity);
  record.SoftwareVersion = version;
  if (Contains(version, "X.XX")) m_run.VersionUnknown = true;
  record.DeviceVersion = VersionThousandths(version);
  const size_t comma = version.find(',');
  if (comma != std::string::npos)
    record.DeviceVersion2 = VersionThousandths(std::string_view(version).substr(comma + 1));
  m_timerSlots.RestartSlot(m_run.RunSlot);
  if (record.DeviceVersion >= 64 || Contains(version, "Y.YY")) {
    SendToDevice(IdentificationQuery(m_run.IdentCmd));
  } else {
    // No serial number is asked for: a blank stands in for it.
    m_queue.PostCode(codes::kAnswerSerialNumber2, " ");
  }
  m_run.IdentCmd = 4;
}

void TUpdateForm::SerialNumberArrived(const char* text) {
  DeviceRecord& record = m_deviceRecord;
  record.SerialNumber = Clip(text, DeviceRecord::kSerialNumberCapacity);
  m_run.AirPressureIndex = LookUpAirPressure(record.IdentNumber, record.SerialNumber, record.DeviceVersion);
  m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
  // A serial number from no known instrument (a stray line) must not leave
  // the program without any port.
  for (int i = 0; m_run.DevicePort >= 0 && i < PortTableSize(); ++i) {
    serial::TComPort* port = Port(i);
    if (port && i != m_run.DevicePort) port->Close();
  }
  if (PrepareDownload() == 1) {
    m_queue.PostCode(DownloadCodeOf(m_loaderKind));
    return;
  }
  m_startMode = m_configuredStartMode;
  m_wait.DelayTime(kRefusedPauseMs, false);
  ClearDeviceFields();
  m_run.RunClosed = true;
  m_view.SetEnabled(Control::OkBitBtn, true);
  SendClosingCommand();
  m_run.IdentCmd = 0;
}

void TUpdateForm::SendClosingCommand() {
  // Kinds beyond the table get the closing command of the others.
  std::string_view closing = ClosingCommand(m_loaderKind);
  if (closing.empty()) closing = ClosingCommand(0);
  SendToDevice(closing);
}

void TUpdateForm::SpecialAnswer(int32_t code, core::Event event) {
  const char* text = event.text.Text() ? event.text.Text() : "";
  const int language = m_settings.Language;
  switch (code) {
    case codes::kAnswerSetClockSeconds:
      if (m_startMode != 2) {
        AppendMemo(texts::kStoringData.In(language));
        m_wait.DelayTime(kRefusedPauseMs, false);
      }
      if (m_startMode == 2) {
        m_run.IdentStep = 8;
        FinishRun(0);
      } else {
        SetInstrumentClock(1);
      }
      return;
    case codes::kAnswerFinished:
      m_run.IdentStep = 8;
      FinishRun(0);
      return;
    case codes::kAnswerTerminalVariant:
      m_deviceRecord.TerminalVariant = text[0];
      SendToDevice(kReplyTo208);
      return;
    case codes::kAnswerSensorIdModule:
      m_run.SensorIdModule = true;
      return;
    case codes::kAnswerAirPressureQuery:
      // 920 comes twice for a line with a value: once with the text, once
      // with the value; both count.
      if (Contains(m_deviceRecord.IdentNumber, "20363") && m_deviceRecord.DeviceVersion < 1050) {
        SendToDevice(kReplyTo920);
      } else {
        ++m_run.IdentStep;
        m_queue.PostCode(codes::kOwnDownload);
        m_run.SearchFailures = 0;
      }
      return;
    case codes::kAnswerPause: {
      m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
      const int32_t pause = std::min(AsciiToLong(text), kMaxRequestedPauseMs);
      m_wait.DelayTime(pause, false);
      return;
    }
    case codes::kAnswerBottlexNotReady:
      m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
      m_view.SetVisible(Control::WaitPanel, false);
      m_run.RunClosed = true;
      m_view.SetEnabled(Control::OkBitBtn, true);
      if (m_view.MessageBox(texts::kBottlexNotInUpdateMode.In(language), texts::kCaptionInfo.In(language),
                            MessageIcon::Question, MessageButtons::YesNo) == MessageResult::Yes) {
        const std::string_view command = SearchCommand(m_startMode);
        Broadcast(command);
        LogLine(std::string(command));
        m_run.IdentStep = 0;
        m_view.SetVisible(Control::WaitPanel, true);
        m_view.SetEnabled(Control::OkBitBtn, false);
        m_run.IdentCmd = 0;
      }
      return;
    case codes::kLoaderFrame:
      m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
      m_deviceRecord.BootloaderId = Clip(text, DeviceRecord::kBootKennCapacity);
      // The programming from the boot loader is not part of this version;
      // a loader that goes on answering is told about once.
      if (!m_run.RunClosed) EndRunAtMissingStep(code, false);
      return;
    case codes::kLoaderByte:
      m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
      m_run.LabKey = static_cast<uint8_t>(event.text.Number());
      if (!m_run.RunClosed) EndRunAtMissingStep(code, false);
      return;
    default:
      return;
  }
}

void TUpdateForm::EndRunAtMissingStep(int32_t code, bool tellInstrument) {
  m_run.RunSlot = m_timerSlots.StopSlot(m_run.RunSlot);
  const int language = m_settings.Language;
  std::string message;
  std::string detail = std::to_string(code);
  if (code == codes::kLoaderFrame) {
    message = texts::kBootLoaderFrameSeen.In(language);
    detail = m_deviceRecord.BootloaderId;
  } else if (code == codes::kLoaderByte) {
    message = texts::kBootLoaderByteSeen.In(language);
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", m_run.LabKey);
    detail = hex;
  } else {
    message = texts::kStepNotAvailable.In(language);
  }
  m_view.MemoAppend(ReplaceFirst(FillPlaceholders(message), "CODE", detail));
  if (tellInstrument && m_run.DevicePort >= 0) SendClosingCommand();
  m_startMode = m_configuredStartMode;
  m_run.RunClosed = true;
  m_run.IdentCmd = 0;
  m_view.SetVisible(Control::WaitPanel, false);
  m_view.SetEnabled(Control::OkBitBtn, true);
}

void TUpdateForm::AppendMemo(const std::string& text) {
  m_view.MemoAppend(FillPlaceholders(text));
}

}  // namespace update
