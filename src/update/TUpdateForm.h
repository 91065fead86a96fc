#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/EventCodes.h"
#include "core/EventQueue.h"
#include "core/TimerSlots.h"
#include "platform/Host.h"
#include "platform/PortSystem.h"
#include "platform/Timer.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"
#include "serial/V24Listener.h"
#include "translation/TLanguage.h"
#include "update/DeviceEntry.h"
#include "update/DeviceRecord.h"
#include "update/FormProgrammerHost.h"
#include "update/IniLines.h"
#include "update/PortProbeCache.h"
#include "update/RunState.h"
#include "update/UpdateEnvironment.h"
#include "update/UpdateSettings.h"
#include "update/UpdateView.h"
#include "update/protocol/LineParser.h"

namespace update {

// The CodeEvent numbers and key codes, by name.
namespace codes = core::codes;
namespace keys = core::keys;

// The main window's logic: owns everything that lives for the program's run
// and drives the window through UpdateView. Its operations are spread over
// files by concern (UpdateStartup, UpdateConfig, PackageScan, UpdatePorts,
// UpdateProgress, UpdateLog). GUI thread only, except ReportProgress.
class TUpdateForm final : public serial::V24Listener {
 public:
  static constexpr int kTimerCount = 5;
  static constexpr uint32_t kSecTimerMs = 500;
  static constexpr uint32_t kTitleTimerMs = 300;
  static constexpr size_t kMaxDeviceEntries = 255;
  static constexpr size_t kMaxPackageFiles = 160;
  // The run's time-out: one slot period per baud rate and per answer awaited.
  static constexpr int kRunSlotMs = 6000;

  // The view and the port system must outlive the form. Nothing happens
  // until FormCreate.
  TUpdateForm(platform::Host& host, platform::PortSystem& ports, UpdateView& view,
              UpdateEnvironment environment);
  ~TUpdateForm() override;
  TUpdateForm(const TUpdateForm&) = delete;
  TUpdateForm& operator=(const TUpdateForm&) = delete;

  // --- start-up and closing (UpdateStartup.cpp)
  // The construction steps. False when a configuration file is missing: the
  // message has been shown and the window must not be shown.
  bool FormCreate();
  // The window is being closed: stop what runs, close every port.
  void FormClose();

  // --- configuration files (UpdateConfig.cpp); names resolve in the package folder
  int ReadUpdateIni(const std::string& fileName);
  int SaveUpdateIni(const std::string& fileName);
  int ReadProgDeviceIni(const std::string& fileName);
  // The same two readers on lines already loaded.
  void ReadUpdateLines(const IniLines& ini);
  void ReadProgDeviceLines(const IniLines& ini);
  // The folder of the user's copy of Update.ini, or empty (see the README).
  std::string ConfigDirectory();
  // 1 and the shared public folder in `buffer`, or 0.
  int PublicDirectory(std::string& buffer);
  std::optional<std::string> FindProgDefFile(int32_t prozTyp) const;

  // --- package files (PackageScan.cpp)
  void ScanPackageFiles();

  // --- ports (UpdatePorts.cpp)
  // Lists the usable COM ports (ComNumbers).
  void EnumeratePorts();
  // One TComPort per usable port (or the fixed one); status panel 0.
  void OpenPorts();
  // Closes and releases every port of the PortTable.
  void ClosePorts();
  // The ports' notifications, on the GUI thread.
  void OnV24Message(uint32_t message, uint32_t comNumber) override;

  // --- progress and title (UpdateProgress.cpp)
  std::string ShowPercent(const std::string& prefix, float percent);
  // Any thread: from another thread the report is posted to the GUI thread.
  void ReportProgress(uint32_t command, int32_t value);
  void TitleTimerTimer(platform::Timer& timer);
  void SecTimerTimer(platform::Timer& timer);
  void SetProgressPosition(int position);
  void SetProgressMax(int maximum);
  int ProgressPosition() const { return m_progressPosition; }
  int ProgressMax() const { return m_progressMax; }

  // --- log and texts (UpdateLog.cpp)
  // Appends to the log only while DebugMode is on.
  void LogLine(const std::string& text);
  // DATEI, NAME, COM X and backslash-r, each occurrence replaced once.
  std::string FillPlaceholders(std::string text) const;
  void ClearDeviceFields();
  // The start text of ProgDevice.ini in the current language.
  void ShowStartText();

  // --- commands of the window (UpdateCommands.cpp)
  // OK: posts KeyEvent kReturn for the update run.
  void OkBitBtnClick();
  // The language menu items (tag 0 German, 1 English).
  void LanguageClick(int tag);
  // Sets the dictionary of the current language and translates the window.
  void TranslateWindow();

  // Dispatch every queued Event (nested drains pump the window).
  void DrainEvents();

  // --- line protocol (UpdateLineProtocol.cpp)
  // WM_V24_RX: CodeEvent kDataArrived with the COM number, then a drain.
  void DataArrived(uint32_t comNumber);
  // WM_V24_FRAME: a framing error moves a running search on.
  void PortError(uint32_t comNumber);
  // WM_V24_HANGUP: the line of a port is gone (a USB adapter unplugged).
  void PortHungUp(uint32_t comNumber);
  // Reads what the port holds and posts the CodeEvents it completes.
  void ParseReceived(int32_t comNumber);
  int PortIndexOf(int32_t comNumber) const;
  // Writes the bytes to every port in use (results are not checked).
  void Broadcast(std::string_view bytes, bool background = false);
  // A synchronous write to the device port, logged.
  void SendToDevice(std::string_view command);
  const LineParser& Parser() const { return m_parser; }

  // --- device search (UpdateSearch.cpp)
  // next 1: on to the next baud rate, 0: the current one again. False when
  // the search has failed.
  bool SearchStep(uint8_t next);
  void SearchFailed();
  // The run slot has expired.
  void RunSlotExpired();

  // --- update state machine (UpdateStateMachine.cpp); the first handler
  core::Event UpdateStateMachine(core::EventQueue& queue, core::Event event);

  // --- download preparation (PrepareDownload.cpp)
  // 1: go ahead with the download, 0: the run ends without one.
  uint8_t PrepareDownload();
  // The version of a package file; fills slot 1 or 2 of the record.
  std::string ReadFileVersion(const std::string& key, const std::string& fileName);

  // --- download hand-over (UpdateHandOver.cpp)
  // kDownloadTiTxt: the TI-TXT main file through the MSP430 bootstrap loader.
  void HandOverTiTxt();
  // kDownloadInLoader: the retry, with the instrument already in its loader.
  void HandOverInLoader();
  // kOwnDownload: the instrument's own download of the main file.
  void StartOwnDownload();
  // kSecondStage: the second processor's or sensor's file, then the finish.
  void SecondStage();

  // --- the binary images (UpdateImageHandOver.cpp)
  // kDownloadWinCe: the Windows CE image with its extra files.
  void HandOverWinCe();
  // kDownloadBin: a BIN file through the EFM download or the XMODEM loader.
  void HandOverBin();

  // --- procedures of the run (UpdateProcedures.cpp)
  void ShowDurationEstimate(int method);
  // The sensor's software at 19200 baud through the instrument.
  void StartSecondFile();
  // The extra files through the instrument's file commands (UpdateExtraFiles.cpp):
  // each file's name, its packets and its end, every step on the
  // instrument's acknowledgement; FinishRun(1) after the last one.
  void StartExtraFileTransfer();
  void NextExtraFile();
  core::Event ExtraFileTransferHandler(core::EventQueue& queue, core::Event event);
  // form 1: seconds since 31 December 2002, 0: day number.
  void SetInstrumentClock(int form);
  // flag 1: also send "U.606".
  void FinishRun(int flag);
  core::Event AirPressureStep(core::EventQueue& queue, core::Event event);
  void ReportFailure(int32_t code);
  core::Event RetryAfterFailure(core::EventQueue& queue, core::Event event);
  std::string ErrorTextProvider(int32_t step) const;
  programmers::ProgrammerHost& ProgrammerWindow() { return m_programmerHost; }
  // The local time as a day number (days since 30 December 1899).
  double LocalDayNumber() const;
  const std::filesystem::path& PackageDirectory() const { return m_environment.workingDirectory; }

  // --- state
  platform::Host& Host() { return m_host; }
  UpdateView& View() { return m_view; }
  core::EventQueue& Queue() { return m_queue; }
  core::TimerSlots& Slots() { return m_timerSlots; }
  serial::TDelay& Wait() { return m_wait; }
  translation::TLanguage& UpdateSprachDialog() { return m_sprachDialog; }
  serial::TComPort& UpdateCom() { return m_updateCom; }
  // PortTable[index]: null once the window has closed its ports.
  serial::TComPort* Port(int index) const {
    return index >= 0 && index < static_cast<int>(m_portTable.size())
               ? m_portTable[static_cast<size_t>(index)]
               : nullptr;
  }
  int PortTableSize() const { return static_cast<int>(m_portTable.size()); }
  platform::Timer& SecTimer() { return *m_secTimer; }
  platform::Timer& TitleTimer() { return *m_titleTimer; }
  platform::Timer& SlotTimer(int tag) { return *m_timers.at(static_cast<size_t>(tag - 1)); }

  const UpdateSettings& Settings() const { return m_settings; }
  int Language() const { return m_settings.Language; }
  const std::vector<DeviceEntry>& DeviceTable() const { return m_deviceTable; }
  const PackageTexts& Texts() const { return m_packageTexts; }
  int StartMode() const { return m_startMode; }
  int ConfiguredStartMode() const { return m_configuredStartMode; }
  int LoaderKind() const { return m_loaderKind; }
  const std::vector<std::string>& PackageFiles() const { return m_packageFiles; }
  const std::vector<int>& ComNumbers() const { return m_comNumbers; }
  DeviceRecord& Record() { return m_deviceRecord; }
  int PortsInUse() const { return m_portsInUse; }
  int GuiBusy() const { return m_guiBusy; }

  // The state of the run and the service switches, as one value each.
  const RunState& Run() const { return m_run; }
  const ServiceFlags& Service() const { return m_service; }
  // What the hidden keys and the file menu set.
  void SetServiceFlags(ServiceFlags flags) { m_service = std::move(flags); }
  // An outside loader starts: the ticks it is expected to take; the count
  // starts again at 0.
  void ResetTitleEstimate(float tickBasis) {
    m_run.TitleTickBasis = tickBasis;
    m_run.TitleTicks = 0;
  }

 private:
  // The run ends at a step this version does not have yet, visibly.
  void EndRunAtMissingStep(int32_t code, bool tellInstrument);
  void SendClosingCommand();
  void IdentificationAnswer(int32_t code, const char* text);
  void SerialNumberArrived(const char* text);
  void Acknowledged();
  void SpecialAnswer(int32_t code, core::Event event);
  void BootLoaderPhase();
  void ShowBslHint();
  void ReadVersionsOfPackage();
  uint8_t Decide();
  bool SensorWarning();
  void AppendMemo(const std::string& text);
  // AbbruchtextD/E of ProgDevice.ini in the current language.
  const std::string& AbortText() const;
  // Sets the record's loader fields, creates the loader (the 5xx/6xx one for
  // such an instrument when `allowFiveXX`), runs it on `file` and releases it.
  bool RunBootstrapLoader(const std::string& file, int loaderMode, bool askResetVector, bool allowFiveXX);
  // Creates a programmer of the binary images on the device port, hands it
  // to `call` (which runs its Program) and releases it.
  template <typename Programmer, typename Call>
  bool RunProgrammer(Call call);
  // The extra-file transfer's steps: the start command of ExtraFiles[
  // ExtraFileIndex] (false when the file cannot be read: the run has
  // failed), the end of the transfer, and its failure with the box `message`.
  bool BeginExtraFile(bool later);
  void EndExtraFileTransfer();
  void FailExtraFileTransfer(const std::string& message);
  bool MainVersionNewer() const;
  bool SecondVersionNewer() const;

  void ResolveUpdateIni(const std::string& fileName, std::filesystem::path& firstPath,
                        std::filesystem::path& fallbackPath);
  std::filesystem::path InPackage(const std::string& fileName) const;

  platform::Host& m_host;
  UpdateView& m_view;
  UpdateEnvironment m_environment;
  std::thread::id m_guiThread;
  // Posted progress reports hold a weak reference, so they are dropped once
  // the form is gone.
  std::shared_ptr<TUpdateForm*> m_self;

  core::EventQueue m_queue;
  int m_guiBusy = 0;
  core::TimerSlots m_timerSlots;
  // Timer1..Timer5 (tags 1..5, shared tick handler TimerIntervall), SecTimer
  // and TitleTimer. They come from the Host rather than the form
  // description, which cannot hold timers.
  std::array<std::unique_ptr<platform::Timer>, kTimerCount> m_timers;
  std::unique_ptr<platform::Timer> m_secTimer;
  std::unique_ptr<platform::Timer> m_titleTimer;
  serial::TDelay m_wait;
  translation::TLanguage m_sprachDialog{"own.lng"};

  UpdateSettings m_settings;
  std::vector<DeviceEntry> m_deviceTable;
  PackageTexts m_packageTexts;
  int m_startMode = 0;
  int m_configuredStartMode = 0;
  int m_loaderKind = 0;
  std::vector<std::string> m_packageFiles;

  platform::PortSystem& m_ports;
  // What the further ports are created on (see PortProbeCache).
  PortProbeCache m_portCache;
  // UpdateCom is PortTable[0]; the further ports are owned by the window.
  serial::TComPort m_updateCom;
  std::vector<std::unique_ptr<serial::TComPort>> m_ownedPorts;
  std::vector<serial::TComPort*> m_portTable;
  std::vector<int> m_comNumbers;  // 1-based COM numbers of the usable ports
  int m_portsInUse = 0;

  DeviceRecord m_deviceRecord;
  // Receive state of all ports.
  LineParser m_parser;
  RunState m_run;
  ServiceFlags m_service;
  FormProgrammerHost m_programmerHost{*this};

  int m_progressPosition = 0;
  int m_progressMax = 40;
};

}  // namespace update
