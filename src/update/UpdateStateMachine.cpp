#include <algorithm>
#include <cstdio>
#include <string>

#include "update/RunTexts.h"
#include "update/TUpdateForm.h"
#include "update/procedures/AirPressureTable.h"
#include "update/protocol/AsciiNumbers.h"
#include "update/protocol/CommandTables.h"
#include "update/versions/VersionNumber.h"

namespace update {

namespace {

constexpr int kRunSlotMs = 6000;
constexpr int32_t kRefusedPauseMs = 1000;
// An instrument may ask for a pause (answer 1131); longer requests are held
// to this, so a garbled number cannot freeze the window for hours.
constexpr int32_t kMaxRequestedPauseMs = 60000;

std::string Clip(std::string_view text, size_t capacity) {
  return std::string(text.substr(0, capacity));
}
bool Contains(std::string_view text, std::string_view part) {
  return !part.empty() && text.find(part) != std::string_view::npos;
}

// The CodeEvent that starts the download method of a LoaderKind.
int32_t DownloadCodeOf(int loaderKind) {
  static constexpr int32_t kCodes[] = {10023, 10043, 10050, 10051, 10052, 10040, 10046, 10050};
  return loaderKind >= 0 && loaderKind < static_cast<int>(std::size(kCodes)) ? kCodes[loaderKind] : 0;
}

bool IsDownloadCode(int32_t code) {
  switch (code) {
    case 10021:
    case 10022:
    case 10023:
    case 10024:
    case 10025:
    case 10030:
    case 10043:
    case 10046:
    case 10047:
    case 10050:
    case 10051:
    case 10052:
      return true;
    default:
      return false;
  }
}

}  // namespace

core::Event TUpdateForm::UpdateStateMachine(core::EventQueue&, core::Event event) {
  if (event.kind == core::kKeyEvent && event.code == 13) {
    if (m_settings.FixedPort) m_portsInUse = 1;
    m_identStep = m_startMode == 1 ? 1 : 0;
    m_nextCommand = std::string(kDownloadCommand);
    m_parser.ClearFrameSeen();
    m_labKey = 0;
    m_runClosed = false;
    m_portErrorSeen = false;
    m_sensorModule = false;
    // An earlier instrument's unknown version must not steer this one's
    // download.
    m_versionUnknown = false;
    m_firstLoadDone = false;
    m_winCeHandOver = false;
    m_deviceRecord = DeviceRecord{};
    m_view.SetEnabled(Control::OkBitBtn, false);
    m_secTimer->SetEnabled(false);
    SetProgressPosition(0);
    m_runSlot = m_timerSlots.StopSlot(m_runSlot);
    m_runSlot = m_timerSlots.StartSlot(kRunSlotMs);
    m_view.SetVisible(Control::WaitPanel, true);
    m_baudIndex = -1;
    m_identCmd = 0;
    m_airPressureIndex = kNoAirPressure;
    SearchStep(1);
    return core::ClearEvent();
  }
  if (event.kind == core::kTimerEvent) {
    if (m_runSlot <= 0 || event.code != m_runSlot) return event;
    RunSlotExpired();
    return core::ClearEvent();
  }
  if (event.kind != core::kCodeEvent) return event;

  const int32_t code = event.code;
  const char* text = event.text.Text() ? event.text.Text() : "";
  switch (code) {
    case 10000:
      ParseReceived(event.text.Number());
      return core::ClearEvent();
    case 10010:
    case 10040:
      Acknowledged();
      return core::ClearEvent();
    case 23:
    case 203:
    case 2013:
    case 20:
    case 200:
    case 2010:
    case 21:
    case 201:
    case 2011:
      IdentificationAnswer(code, text);
      return core::ClearEvent();
    case 25:
    case 205:
      SerialNumberArrived(text);
      return core::ClearEvent();
    case 30:
    case 31:
    case 208:
    case 262:
    case 920:
    case 1131:
    case 1132:
    case 10042:
    case 10044:
      SpecialAnswer(code, event);
      return core::ClearEvent();
    case 10021:
    case 10047:
      ReportFailure(code);
      return core::ClearEvent();
    case 10023:
      StartOwnDownload();
      return core::ClearEvent();
    case 10024:
      SecondStage();
      return core::ClearEvent();
    case 10043:
      HandOverTiTxt();
      return core::ClearEvent();
    case 10046:
      HandOverInLoader();
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
  if (m_identStep == 0) {
    SendToDevice(kFirstCommand);
    m_timerSlots.RestartSlot(m_runSlot);
  }
  if (m_identStep == 1) {
    SendToDevice(IdentificationQuery(m_identCmd));
    m_timerSlots.RestartSlot(m_runSlot);
    m_identCmd = 1;
  }
  if (m_identStep == 2 && !m_runClosed) {
    if (m_deviceRecord.FirstFile.size() > 3) {
      AppendMemo(Text(RunText::Programming, m_settings.Language));
      // The outside loaders are not part of this version.
      EndRunAtMissingStep(10030, true);
    } else {
      m_identStep = 4;
    }
  }
  if (m_identStep == 3 && !m_runClosed) m_queue.PostCode(10023);
  if (m_identStep == 4 && !m_runClosed) m_queue.PostCode(10030);
  if (m_identStep == 5 && !m_runClosed) m_queue.PostCode(10024);
  if (m_identStep == 6 && !m_runClosed) m_queue.PostCode(10025);
  if (m_identStep == 7 && !m_runClosed) m_queue.PostCode(10024);
  ++m_identStep;
}

void TUpdateForm::IdentificationAnswer(int32_t code, const char* text) {
  DeviceRecord& record = m_deviceRecord;
  switch (code) {
    case 23:
    case 203:
    case 2013:
      record.DeviceText = Clip(text, DeviceRecord::kDeviceTextCapacity);
      m_timerSlots.RestartSlot(m_runSlot);
      SendToDevice(IdentificationQuery(m_identCmd));
      m_identCmd = 2;
      return;
    case 20:
    case 200:
    case 2010:
      record.IdentNumber = Clip(text, DeviceRecord::kIdentNumberCapacity);
      if (m_settings.NoVersionTest && m_identCmd == 2) {
        record.SoftwareVersion = "1.00";
        m_identCmd = 3;
      }
      SendToDevice(IdentificationQuery(m_identCmd));
      m_timerSlots.RestartSlot(m_runSlot);
      m_identCmd = 3;
      return;
    case 2011:
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
  if (Contains(version, "X.XX")) m_versionUnknown = true;
  record.DeviceVersion = VersionThousandths(version);
  const size_t comma = version.find(',');
  if (comma != std::string::npos)
    record.DeviceVersion2 = VersionThousandths(std::string_view(version).substr(comma + 1));
  m_timerSlots.RestartSlot(m_runSlot);
  if (record.DeviceVersion >= 64 || Contains(version, "Y.YY")) {
    SendToDevice(IdentificationQuery(m_identCmd));
  } else {
    // No serial number is asked for: a blank stands in for it.
    m_queue.PostCode(205, " ");
  }
  m_identCmd = 4;
}

void TUpdateForm::SerialNumberArrived(const char* text) {
  DeviceRecord& record = m_deviceRecord;
  record.SerialNumber = Clip(text, DeviceRecord::kSerialNumberCapacity);
  m_airPressureIndex = LookUpAirPressure(record.IdentNumber, record.SerialNumber, record.DeviceVersion);
  m_runSlot = m_timerSlots.StopSlot(m_runSlot);
  // A serial number from no known instrument (a stray line) must not leave
  // the program without any port.
  for (int i = 0; m_devicePort >= 0 && i < PortTableSize(); ++i) {
    serial::TComPort* port = Port(i);
    if (port && i != m_devicePort) port->Close();
  }
  if (PrepareDownload() == 1) {
    m_queue.PostCode(DownloadCodeOf(m_loaderKind));
    return;
  }
  m_startMode = m_configuredStartMode;
  m_wait.DelayTime(kRefusedPauseMs, false);
  ClearDeviceFields();
  m_runClosed = true;
  m_view.SetEnabled(Control::OkBitBtn, true);
  SendClosingCommand();
  m_identCmd = 0;
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
    case 30:
      if (m_startMode != 2) {
        AppendMemo(Text(RunText::StoringData, language));
        m_wait.DelayTime(kRefusedPauseMs, false);
      }
      if (m_startMode == 2) {
        m_identStep = 8;
        FinishRun(0);
      } else {
        SetInstrumentClock(1);
      }
      return;
    case 31:
      m_identStep = 8;
      FinishRun(0);
      return;
    case 208:
      m_deviceRecord.TerminalVariant = text[0];
      SendToDevice(kReplyTo208);
      return;
    case 262:
      m_sensorModule = true;
      return;
    case 920:
      // 920 comes twice for a line with a value: once with the text, once
      // with the value; both count.
      if (Contains(m_deviceRecord.IdentNumber, "20363") && m_deviceRecord.DeviceVersion < 1050) {
        SendToDevice(kReplyTo920);
      } else {
        ++m_identStep;
        m_queue.PostCode(10023);
        m_searchFailures = 0;
      }
      return;
    case 1131: {
      m_runSlot = m_timerSlots.StopSlot(m_runSlot);
      const int32_t pause = std::min(AsciiToLong(text), kMaxRequestedPauseMs);
      m_wait.DelayTime(pause, false);
      return;
    }
    case 1132:
      m_runSlot = m_timerSlots.StopSlot(m_runSlot);
      m_view.SetVisible(Control::WaitPanel, false);
      m_runClosed = true;
      m_view.SetEnabled(Control::OkBitBtn, true);
      if (m_view.MessageBox(Text(RunText::BottlexNotInUpdateMode, language),
                            Text(RunText::CaptionInfo, language), MessageIcon::Question,
                            MessageButtons::YesNo) == MessageResult::Yes) {
        const std::string_view command = SearchCommand(m_startMode);
        Broadcast(command);
        LogLine(std::string(command));
        m_identStep = 0;
        m_view.SetVisible(Control::WaitPanel, true);
        m_view.SetEnabled(Control::OkBitBtn, false);
        m_identCmd = 0;
      }
      return;
    case 10042:
      m_runSlot = m_timerSlots.StopSlot(m_runSlot);
      m_deviceRecord.BootloaderId = Clip(text, DeviceRecord::kBootKennCapacity);
      // The programming from the boot loader is not part of this version;
      // a loader that goes on answering is told about once.
      if (!m_runClosed) EndRunAtMissingStep(code, false);
      return;
    case 10044:
      m_runSlot = m_timerSlots.StopSlot(m_runSlot);
      m_labKey = static_cast<uint8_t>(event.text.Number());
      if (!m_runClosed) EndRunAtMissingStep(code, false);
      return;
    default:
      return;
  }
}

void TUpdateForm::EndRunAtMissingStep(int32_t code, bool tellInstrument) {
  m_runSlot = m_timerSlots.StopSlot(m_runSlot);
  const int language = m_settings.Language;
  std::string message;
  std::string detail = std::to_string(code);
  if (code == 10042) {
    message = Text(RunText::BootLoaderFrameSeen, language);
    detail = m_deviceRecord.BootloaderId;
  } else if (code == 10044) {
    message = Text(RunText::BootLoaderByteSeen, language);
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", m_labKey);
    detail = hex;
  } else {
    message = Text(RunText::StepNotAvailable, language);
  }
  message = FillPlaceholders(message);
  const size_t at = message.find("CODE");
  if (at != std::string::npos) message.replace(at, 4, detail);
  m_view.MemoAppend(message);
  if (tellInstrument && m_devicePort >= 0) SendClosingCommand();
  m_startMode = m_configuredStartMode;
  m_runClosed = true;
  m_identCmd = 0;
  m_view.SetVisible(Control::WaitPanel, false);
  m_view.SetEnabled(Control::OkBitBtn, true);
}

void TUpdateForm::AppendMemo(const std::string& text) {
  m_view.MemoAppend(FillPlaceholders(text));
}

}  // namespace update
