#include <algorithm>
#include <memory>
#include <string>

#include "programmers/TEFMV24_Prog.h"
#include "programmers/TWinCEProg.h"
#include "programmers/T_EMFLoader.h"
#include "update/RunTexts.h"
#include "update/TUpdateForm.h"

namespace update {

namespace {

// The sensor mode that selects the EFM hex-line download; every other mode
// goes to the XMODEM loader.
constexpr int kEfmSensorMode = 2;
// The bar that runs while an EFM instrument stores its new program.
constexpr int kEfmStoreProgressMax = 120;

}  // namespace

template <typename Programmer, typename Call>
bool TUpdateForm::RunProgrammer(Call call) {
  serial::TComPort* port = Port(m_run.DevicePort);
  if (!port) return false;
  // The binary transfers write long blocks: no time-out per character.
  port->ChangeV24TimeOut(-1, -1, -1, 0);
  auto programmer = std::make_unique<Programmer>(m_programmerHost, m_wait, m_deviceRecord, *port);
  m_run.ProgrammerOwnsPort = true;
  const bool ok = call(*programmer);
  m_run.ProgrammerOwnsPort = false;
  programmer.reset();
  return ok;
}

void TUpdateForm::HandOverWinCe() {
  DeviceRecord& record = m_deviceRecord;
  m_run.IdentStep = 7;
  ShowDurationEstimate(2);
  m_run.WinCeHandOver = true;
  const bool startupCurrent =
      record.StartupVersionInDevice >= record.StartupFileVersion && record.StartupVersionInDevice > 0;
  // Position 0 means the package has no start-up program: nothing to drop.
  if (startupCurrent && m_run.StartupFilePosition > 0) {
    const int count = static_cast<int>(record.ExtraFiles.size());
    const int first = std::min(m_run.StartupFilePosition, count);
    const int last = std::min(std::max(m_run.ExtraRunEnd, first), count - 1);
    if (first <= last) {
      record.ExtraFiles.erase(record.ExtraFiles.begin() + first, record.ExtraFiles.begin() + last + 1);
      record.ExtraFileCount = static_cast<int32_t>(record.ExtraFiles.size());
    }
  }
  // An instrument that reports no start-up program (version 0) is not sent
  // the whole image for it: its start-up files stay among the extra files.
  const bool startupOlder =
      record.StartupVersionInDevice > 0 && record.StartupVersionInDevice < record.StartupFileVersion;
  if (!MainVersionNewer() && !startupOlder) {
    SetInstrumentClock(0);
    return;
  }
  record.LoaderMode = m_run.SensorMode;
  record.RestoreSlowParameters = m_startMode == 2;
  const bool ok = RunProgrammer<programmers::TWinCEProg>(
      [&](programmers::TWinCEProg& programmer) { return programmer.Program(record.MainFile); });
  if (!ok) {
    m_queue.PostCode(codes::kFailedWithRetry);
    return;
  }
  AppendMemo(texts::kStoringData.In(m_settings.Language));
  m_run.IdentStep = 7;
  // The extra files went with the image.
  record.ExtraFileCount = 0;
  SetInstrumentClock(0);
}

void TUpdateForm::HandOverBin() {
  DeviceRecord& record = m_deviceRecord;
  m_secTimer->SetEnabled(false);
  SetProgressPosition(0);
  m_run.IdentStep = 7;
  if (!MainVersionNewer()) {
    m_queue.PostCode(codes::kSecondStage);
    return;
  }
  ShowDurationEstimate(4);
  bool ok = false;
  if (m_run.SensorMode == kEfmSensorMode) {
    ok = RunProgrammer<programmers::TEFMV24_Prog>(
        [&](programmers::TEFMV24_Prog& programmer) { return programmer.Program(record.MainFile); });
  } else {
    ok = RunProgrammer<programmers::T_EMFLoader>([&](programmers::T_EMFLoader& programmer) {
      return programmer.Program(m_run.SensorMode, record.MainFile, m_run.SameVersionConfirmed);
    });
  }
  if (!ok) {
    m_queue.PostCode(codes::kFailedWithRetry);
    return;
  }
  if (m_run.SensorMode == kEfmSensorMode) {
    AppendMemo(texts::kStoringData.In(m_settings.Language));
    m_secTimer->SetEnabled(true);
    SetProgressPosition(0);
    SetProgressMax(kEfmStoreProgressMax);
  }
  // The new program starts without a word to us: the follow-up runs now,
  // and a late acknowledgement must not run it a second time.
  m_run.IdentStep = 8;
  m_queue.PostCode(codes::kSecondStage);
}

}  // namespace update
