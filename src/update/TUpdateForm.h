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
#include "update/UpdateEnvironment.h"
#include "update/UpdateSettings.h"
#include "update/UpdateView.h"
#include "update/protocol/LineParser.h"

namespace update {

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
  // OK: posts KeyEvent 13 for the update run.
  void OkBitBtnClick();
  // The language menu items (tag 0 German, 1 English).
  void LanguageClick(int tag);
  // Sets the dictionary of the current language and translates the window.
  void TranslateWindow();

  // Dispatch every queued Event (nested drains pump the window).
  void DrainEvents();

  // --- line protocol (UpdateLineProtocol.cpp)
  // WM_V24_RX: CodeEvent 10000 with the COM number, then a drain.
  void DataArrived(uint32_t comNumber);
  // WM_V24_FRAME: a framing error moves a running search on.
  void PortError(uint32_t comNumber);
  // Reads what the port holds and posts the CodeEvents it completes.
  void ParseReceived(int32_t comNumber);
  int PortIndexOf(int32_t comNumber) const;
  // Writes the bytes to every port in use (results are not checked).
  void Broadcast(std::string_view bytes, bool background = false);
  // A synchronous write to the device port, logged.
  void SendToDevice(std::string_view command);
  LineParser& Parser() { return m_parser; }

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
  // 10043: the TI-TXT main file through the MSP430 bootstrap loader.
  void HandOverTiTxt();
  // 10046: the retry, with the instrument already in its loader.
  void HandOverInLoader();
  // 10023: the instrument's own download of the main file.
  void StartOwnDownload();
  // 10024: the second processor's or sensor's file, then the finish.
  void SecondStage();

  // --- procedures of the run (UpdateProcedures.cpp)
  void ShowDurationEstimate(int method);
  // form 1: seconds since 31 December 2002, 0: day number.
  void SetInstrumentClock(int form);
  // flag 1: also send "U.606".
  void FinishRun(int flag);
  core::Event AirPressureStep(core::EventQueue& queue, core::Event event);
  void ReportFailure(int32_t code);
  core::Event RetryAfterFailure(core::EventQueue& queue, core::Event event);
  std::string ErrorTextProvider(int32_t step) const;
  programmers::ProgrammerHost& ProgrammerWindow() { return m_programmerHost; }
  const std::filesystem::path& PackageDirectory() const { return m_environment.workingDirectory; }
  bool FirstLoadDone() const { return m_firstLoadDone; }

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
  int DevicePort() const { return m_devicePort; }
  int DeviceComIndex() const { return m_deviceComIndex; }
  int PortsInUse() const { return m_portsInUse; }
  int AirPressureIndex() const { return m_airPressureIndex; }
  int VersionCheck() const { return m_versionCheck; }
  bool BslHintShown() const { return m_bslHintShown; }
  bool FrameSeen() const { return m_parser.FrameSeen(); }
  bool SensorModule() const { return m_sensorModule; }
  int GuiBusy() const { return m_guiBusy; }
  bool DebugMode() const { return m_debugMode; }
  void SetDebugMode(bool on) { m_debugMode = on; }
  // The run's state, for tests and the later stages.
  int RunSlot() const { return m_runSlot; }
  int BaudIndex() const { return m_baudIndex; }
  int CurrentBaud() const { return m_currentBaud; }
  int BootStage() const { return m_bootStage; }
  bool PortErrorSeen() const { return m_portErrorSeen; }
  int SearchFailures() const { return m_searchFailures; }
  int IdentStep() const { return m_identStep; }
  void SetIdentStep(int step) { m_identStep = step; }
  int IdentCmd() const { return m_identCmd; }
  bool RunClosed() const { return m_runClosed; }
  const std::string& NextCommand() const { return m_nextCommand; }
  bool VersionUnknown() const { return m_versionUnknown; }
  uint8_t LabKey() const { return m_labKey; }
  bool SameVersionConfirmed() const { return m_sameVersionConfirmed; }
  bool SensorPresent() const { return m_sensorPresent; }
  int SensorMode() const { return m_sensorMode; }
  int StartupFilePosition() const { return m_startupFilePosition; }
  int ExtraRunEnd() const { return m_extraRunEnd; }
  void SetVersionCheck(int on) { m_versionCheck = on; }
  void SetAnyFileMode(int on, std::string chosenFile = {}) {
    m_anyFileMode = on;
    m_chosenFile = std::move(chosenFile);
  }
  float& TitleTicks() { return m_titleTicks; }
  float& TitleTickBasis() { return m_titleTickBasis; }

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
  // Creates the loader the record asks for, runs it on `file` and releases it.
  bool RunBootstrapLoader(const std::string& file, bool allowFiveXX);
  bool MainVersionNewer() const;
  bool SecondVersionNewer() const;
  // The local time as a day number (days since 30 December 1899).
  double LocalDayNumber() const;

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
  int m_devicePort = -1;     // PortTable index where the instrument answered
  int m_deviceComIndex = 0;  // COM number - 1 of that port

  DeviceRecord m_deviceRecord;
  int m_airPressureIndex = -1;
  int m_versionCheck = 1;
  bool m_debugMode = false;
  bool m_bslHintShown = false;
  bool m_sensorModule = false;  // SensorIdModule: the instrument answered 262

  // Receive state of all ports, and the run (search and identification).
  LineParser m_parser;
  int m_runSlot = 0;
  int m_baudIndex = -1;
  int m_currentBaud = 2;
  int m_bootStage = 0;
  bool m_portErrorSeen = false;
  int m_searchFailures = 0;
  int m_identStep = 0;
  int m_identCmd = 0;
  bool m_runClosed = false;
  std::string m_nextCommand;
  bool m_versionUnknown = false;
  uint8_t m_labKey = 0;
  // Download preparation.
  int m_anyFileMode = 0;
  std::string m_chosenFile;
  bool m_sameVersionConfirmed = false;
  bool m_sensorPresent = true;
  int m_sensorMode = 0;
  int m_startupFilePosition = 0;
  int m_extraRunEnd = 0;

  FormProgrammerHost m_programmerHost{*this};
  bool m_firstLoadDone = false;  // an outside loader wrote FirstFile in this run
  bool m_winCeHandOver = false;  // a Windows CE image was handed over in this run
  // A programmer owns the device port: its bytes are the programmer's alone.
  bool m_programmerOwnsPort = false;

  int m_progressPosition = 0;
  int m_progressMax = 40;
  float m_titleTicks = 0;
  float m_titleTickBasis = 0;
};

}  // namespace update
