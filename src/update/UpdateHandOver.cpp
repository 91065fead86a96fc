#include <memory>
#include <string>

#include "programmers/T_BSL430.h"
#include "programmers/T_BSL_54XX_430.h"
#include "update/RunTexts.h"
#include "update/TUpdateForm.h"
#include "update/TextParts.h"

namespace update {

namespace {

// ProzTyp 0x5438: the instrument carries a 5xx/6xx with its own loader.
constexpr int32_t kFiveXXDeviceNumber = 21560;
constexpr int32_t kSecondLoaderSettleMs = 3000;
// The sensor boards that need time to restart after a new main program.
constexpr int32_t kBoard22075WaitMs = 32000;
constexpr int32_t kBoard22074WaitMs = 7000;

}  // namespace

bool TUpdateForm::RunBootstrapLoader(const std::string& file, int loaderMode, bool askResetVector,
                                     bool allowFiveXX) {
  m_deviceRecord.LoaderMode = loaderMode;
  m_deviceRecord.SyncFirst = true;
  m_deviceRecord.AskResetVector = askResetVector;
  m_deviceRecord.RestoreSlowParameters = m_startMode == 2;
  serial::TComPort* port = Port(m_run.DevicePort);
  if (!port) return false;
  std::unique_ptr<programmers::T_BSL430> programmer;
  if (allowFiveXX && m_deviceRecord.DeviceNumber == kFiveXXDeviceNumber) {
    programmer =
        std::make_unique<programmers::T_BSL_54XX_430>(m_programmerHost, m_wait, m_deviceRecord, *port);
  } else {
    programmer = std::make_unique<programmers::T_BSL430>(m_programmerHost, m_wait, m_deviceRecord, *port);
  }
  m_run.ProgrammerOwnsPort = true;
  const bool ok = programmer->Program(file);
  m_run.ProgrammerOwnsPort = false;
  programmer.reset();
  return ok;
}

void TUpdateForm::HandOverTiTxt() {
  m_run.IdentStep = 7;
  ShowDurationEstimate(1);
  if (!MainVersionNewer()) {
    m_queue.PostCode(codes::kSecondStage);
    return;
  }
  if (!RunBootstrapLoader(m_deviceRecord.MainFile, m_run.SensorMode, m_run.SensorPresent, true)) {
    m_queue.PostCode(codes::kFailedWithRetry);
    return;
  }
  // The new program starts without a word to us; the follow-up runs now,
  // and a late acknowledgement (step 8) must not run it a second time.
  m_run.IdentStep = 8;
  m_queue.PostCode(codes::kSecondStage);
}

void TUpdateForm::HandOverInLoader() {
  m_view.SetEnabled(Control::OkBitBtn, false);
  DeviceRecord& record = m_deviceRecord;
  record.AlreadyInLoader = true;
  m_run.IdentStep = 7;
  ShowDurationEstimate(1);
  // The retry talks to the loader the first attempt used: a 5xx instrument
  // keeps its own loader.
  if (!RunBootstrapLoader(record.MainFile, m_run.SensorMode, false, true)) {
    m_queue.PostCode(codes::kFailedWithRetry);
    return;
  }
  AppendMemo(texts::kStoringData.In(m_settings.Language));
  m_secTimer->SetEnabled(true);
  SetProgressPosition(1);
  m_run.IdentStep = 8;
  m_queue.PostCode(codes::kSecondStage);
}

void TUpdateForm::StartOwnDownload() {
  m_secTimer->SetEnabled(false);
  SetProgressPosition(0);
  ShowDurationEstimate(0);
  if (MainVersionNewer()) {
    SendToDevice(m_run.NextCommand);
    return;
  }
  m_run.IdentStep = 6;
  m_queue.PostCode(codes::kSecondStage);
}

void TUpdateForm::SecondStage() {
  DeviceRecord& record = m_deviceRecord;
  const bool secondNewer = SecondVersionNewer();
  if (secondNewer && record.DeviceVersion2 > 2000) {
    StartSecondFile();
    return;
  }
  if (m_run.SensorIdModule || m_parser.FrameSeen() || m_run.VersionUnknown ||
      record.DeviceVersion2 >= record.FileVersion2 || record.SecondFile.size() <= 4) {
    if (record.ExtraFileCount > 0) {
      m_run.IdentStep = 8;
      StartExtraFileTransfer();
      return;
    }
    FinishRun(0);
    return;
  }
  const bool mainNewer = MainVersionNewer();
  for (const auto& [board, waitMs] :
       {std::pair{"22075", kBoard22075WaitMs}, std::pair{"22074", kBoard22074WaitMs}}) {
    if (!Contains(record.DeviceText, board) || !mainNewer) continue;
    SetProgressPosition(0);
    SetProgressMax(100);
    m_secTimer->SetEnabled(true);
    m_wait.DelayTime(waitMs, true);
    m_secTimer->SetEnabled(false);
    SetProgressPosition(0);
  }
  record.AlreadyInLoader = false;
  record.ImageByChipId = record.DeviceVersion2 == 0 && !m_parser.FrameSeen();
  m_wait.DelayTime(kSecondLoaderSettleMs, true);
  if (!RunBootstrapLoader(record.SecondFile, 1, m_run.WinCeHandOver || !record.ImageByChipId, false)) {
    m_queue.PostCode(codes::kFailedNoRetry);
    return;
  }
  // Like the main file: the second processor restarts silently.
  m_run.IdentStep = 8;
  FinishRun(0);
}

}  // namespace update
