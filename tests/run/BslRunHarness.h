// A stand-in for the main window around a programmer run in virtual time:
// the event queue with the window's handler at the bottom (it reads the
// device port and turns lines into CodeEvents), five timer slots, the delay
// component, the device port on a simulated line and an instrument there.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ProgrammerWindow.h"
#include "TiTxtImages.h"
#include "core/EventCodes.h"
#include "platform/PortSystem.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "programmers/ProgrammerHost.h"
#include "programmers/ProgrammerRecord.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"
#include "sim/bsl/Bsl5xxModel.h"
#include "sim/bsl/RomBslModel.h"
#include "sim/line/SimInstrumentRack.h"
#include "sim/model/ProfileReader.h"
#include "update/protocol/LineParser.h"

namespace bsltest {

inline sim::InstrumentProfile Profile(const std::string& text) {
  auto result = sim::ProfileReader::Parse(text, "test");
  if (!result.Ok()) throw std::runtime_error(result.ErrorText("test"));
  return result.profile;
}

using testing_support::FlashHolds;
using testing_support::FlashHoldsImage;
using testing_support::ImageSection;
using testing_support::Pattern;
using testing_support::TiTxt;
using testing_support::Vectors;

// The port system in front of the simulated one: every write, settings
// change and purge on an opened line is noted, with its virtual time, and
// each write is shown to `onWrite` first.
class RecordingPorts final : public platform::PortSystem {
 public:
  struct Operation {
    uint32_t atMs;
    std::string what;  // "write", "settings", "purge"
  };

  RecordingPorts(platform::PortSystem& ports, platform::Clock& clock) : m_ports(ports), m_clock(clock) {}

  platform::PortStatus Probe(uint32_t com) override { return m_ports.Probe(com); }
  platform::PortOpenResult Open(uint32_t com) override {
    platform::PortOpenResult result = m_ports.Open(com);
    if (result.line) result.line = std::make_unique<Line>(*this, std::move(result.line));
    return result;
  }

  std::vector<Operation> operations;
  std::function<void(const uint8_t* bytes, uint32_t count)> onWrite;

 private:
  class Line final : public platform::SerialLine {
   public:
    Line(RecordingPorts& owner, std::unique_ptr<platform::SerialLine> line)
        : m_owner(owner), m_line(std::move(line)) {}
    bool GetState(platform::DCB& dcb) override { return m_line->GetState(dcb); }
    bool SetState(const platform::DCB& dcb) override {
      m_owner.Note("settings");
      return m_line->SetState(dcb);
    }
    bool GetTimeouts(platform::COMMTIMEOUTS& t) override { return m_line->GetTimeouts(t); }
    bool SetTimeouts(const platform::COMMTIMEOUTS& t) override { return m_line->SetTimeouts(t); }
    void StartReader(platform::SerialLineEvents& events) override { m_line->StartReader(events); }
    uint32_t Read(uint8_t* buffer, uint32_t count) override { return m_line->Read(buffer, count); }
    platform::WriteResult Write(const uint8_t* bytes, uint32_t count) override {
      m_owner.Wrote(bytes, count);
      return m_line->Write(bytes, count);
    }
    bool WriteInBackground(const uint8_t* bytes, uint32_t count, WriteDone done) override {
      m_owner.Wrote(bytes, count);
      return m_line->WriteInBackground(bytes, count, std::move(done));
    }
    bool WriterBusy() override { return m_line->WriterBusy(); }
    bool Purge(uint32_t flags) override {
      m_owner.Note("purge");
      return m_line->Purge(flags);
    }
    void ClearBreak() override { m_line->ClearBreak(); }
    void Close() override { m_line->Close(); }

   private:
    RecordingPorts& m_owner;
    std::unique_ptr<platform::SerialLine> m_line;
  };

  void Note(const char* what) { operations.push_back({m_clock.TickCount(), what}); }
  void Wrote(const uint8_t* bytes, uint32_t count) {
    if (onWrite) onWrite(bytes, count);
    Note("write");
  }

  platform::PortSystem& m_ports;
  platform::Clock& m_clock;
};

// The SimHost comes first: the window's timers are made on it.
struct SimHostHolder {
  platform::sim::SimHost host;
};

class TestWindow : public SimHostHolder, public testing_support::ProgrammerWindow {
 public:
  explicit TestWindow(uint32_t com = 1)
      : ProgrammerWindow(host, host.Pump()),
        m_com(com),
        folder(std::filesystem::temp_directory_path() /
               ("bsl-run-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    std::filesystem::create_directories(folder);
  }
  ~TestWindow() override { std::filesystem::remove_all(folder); }

  // Places the instrument and opens the device port as the search left it:
  // the instrument's baud rate, 8 data bits, 2 stop bits, no parity.
  sim::Instrument& Connect(const sim::InstrumentProfile& profile, serial::BaudTag baud) {
    sim::Instrument& instrument = rack.Place(m_com, profile);
    port = std::make_unique<serial::TComPort>(recording, host.Time());
    serial::V24ParameterTag* r = port->GetV24Parameter();
    r->DatenBits = serial::D_8;
    r->StopBits = serial::S_2;
    r->Paritaet = serial::NoParity;
    r->Baudrate = baud;
    r->RXTimeOutproChar = 1;
    r->TXTimeOut = 10000;
    r->TXTimeOutproChar = 1;
    EXPECT_TRUE(port->Open(this, static_cast<int32_t>(m_com) - 1, true));
    return instrument;
  }
  void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(folder / name, std::ios::binary) << content;
  }

  // Notes where the port's operations stood when its hang-up reached the window.
  void OnV24Message(uint32_t message, uint32_t com) override {
    if (message == serial::WM_V24_HANGUP) {
      lineLostAtMs = host.Time().TickCount();
      operationsBeforeLoss = recording.operations.size();
    }
    ProgrammerWindow::OnV24Message(message, com);
  }
  // The line's operations after its hang-up reached the window.
  std::vector<RecordingPorts::Operation> OperationsAfterLoss() const {
    return {recording.operations.begin() + static_cast<std::ptrdiff_t>(operationsBeforeLoss),
            recording.operations.end()};
  }

  // ProgrammerHost
  void ReportProgress(uint32_t command, int32_t value) override { progress.emplace_back(command, value); }
  void LogLine(const std::string& text) override {
    if (std::getenv("BSL_TRACE")) std::fprintf(stderr, "%u ms: %s\n", host.Time().TickCount(), text.c_str());
    log.push_back(text);
  }
  std::string FindProgDefFile(int32_t prozTyp) override {
    const auto it = progDef.find(prozTyp);
    return it == progDef.end() ? std::string() : it->second;
  }
  std::string ErrorText(int32_t step) override {
    return step == 0 ? "bootloader in target not available!!  Programming abort."
                     : "Error in bootloader !!  Programming abort.";
  }
  void ShowErrorBox(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + ": " + text);
  }
  std::string PackageFolder() override { return folder.string(); }
  int32_t Language() override { return 1; }

  // Called with each loader model as it takes the line (to plant faults).
  std::function<void(sim::InstrumentModel&)> onLoader;

  sim::ModelRegistry Registry() {
    sim::ModelRegistry registry = sim::ModelRegistry::WithBuiltins();
    const sim::ModelRegistry plain = sim::ModelRegistry::WithBuiltins();
    for (const char* name : sim::ModelRegistry::kLoaders) {
      if (!plain.Has(name)) continue;
      registry.Register(name, [this, plain, name = std::string(name)](sim::ModelContext& c) {
        auto model = plain.Create(name, c);
        if (model && onLoader) onLoader(*model);
        return model;
      });
    }
    return registry;
  }

  platform::sim::SimPortSystem ports{host.Time()};
  RecordingPorts recording{ports, host.Time()};
  sim::SimInstrumentRack rack{ports, host.Time(), Registry()};
  uint32_t m_com;
  std::unique_ptr<serial::TComPort> port;
  update::LineParser parser;
  std::filesystem::path folder;
  std::vector<std::pair<uint32_t, int32_t>> progress;
  std::vector<std::string> log;
  std::vector<std::string> boxes;
  std::vector<int32_t> unconsumed;
  std::map<int32_t, std::string> progDef;
  uint32_t lineLostAtMs = 0;  // 0: the line was never lost
  size_t operationsBeforeLoss = 0;

 protected:
  // Reads the port and parses lines; records what reaches it unconsumed.
  void OnWindowEvent(core::EventQueue& q, const core::Event& event) override {
    if (event.kind == core::kCodeEvent && event.code == core::codes::kDataArrived) {
      uint8_t buffer[512];
      for (;;) {
        const int32_t n = port->Read(buffer, sizeof buffer - 1);
        if (n <= 0) break;
        parser.Feed(buffer, static_cast<size_t>(n), q, [this](const std::string& line) { LogLine(line); });
      }
      return;
    }
    if (event.kind != core::kNoEvent) unconsumed.push_back(event.code);
  }
};

// The progress bar as the window keeps it, from the programmer's reports:
// where it stood before the run's final reset, against the maximum then,
// and how far it went past its maximum on the way (unclamped).
struct ProgressBar {
  int32_t position = 0;
  int32_t maximum = 0;
  int32_t beyond = 0;

  explicit ProgressBar(const std::vector<std::pair<uint32_t, int32_t>>& reports) {
    for (size_t i = 0; i < reports.size(); ++i) {
      const auto [command, value] = reports[i];
      const bool finalReset = command == 1 && i + 1 == reports.size();
      if ((command == 0 || command == 1) && !finalReset) position = value;
      if (command == 2) maximum = value;
      if (command == 3) position += value;
      beyond = std::max(beyond, position - maximum);
    }
  }
};

inline std::string Hex(uint32_t value) {
  char t[12];
  std::snprintf(t, sizeof t, "%X", static_cast<unsigned>(value));
  return t;
}

// The first loader model of this kind that took the instrument's line.
template <class Model>
const Model* LoaderOf(const sim::Instrument& instrument) {
  for (const auto& model : instrument.History()) {
    if (const auto* bsl = dynamic_cast<const Model*>(model.get())) return bsl;
  }
  return nullptr;
}

// A loader command as "CMD@ADDRESS/BAUD", for order checks; a NAK or a
// message status other than OK follows.
inline std::string TraceEntry(const sim::RomBslModel::Command& c) {
  char text[40];
  std::snprintf(text, sizeof text, "%02X@%X/%u%s", c.command, static_cast<unsigned>(c.address),
                static_cast<unsigned>(c.baud), c.acknowledged ? "" : " NAK");
  return text;
}
inline std::string TraceEntry(const sim::Bsl5xxModel::Command& c) {
  char text[48];
  std::snprintf(text, sizeof text, "%02X@%X/%u", c.command, static_cast<unsigned>(c.address),
                static_cast<unsigned>(c.baud));
  return text + std::string(c.status != 0 && c.status != 0xFF ? " status " + std::to_string(c.status) : "");
}

// The text commands the programmer sent to the instrument's program, in order
// (the window's log also holds what came back, marked " <-").
inline std::vector<std::string> SentCommands(const std::vector<std::string>& log) {
  std::vector<std::string> sent;
  for (const auto& line : log)
    if (line.rfind("A.", 0) == 0 && line.find(" <-") == std::string::npos) sent.push_back(line);
  return sent;
}

// Every command of every loader model of this kind, in order.
template <class Model>
std::vector<std::string> Trace(const sim::Instrument& instrument) {
  std::vector<std::string> out;
  for (const auto& model : instrument.History()) {
    if (const auto* bsl = dynamic_cast<const Model*>(model.get()))
      for (const auto& c : bsl->Commands()) out.push_back(TraceEntry(c));
  }
  return out;
}

// Every loader command went at 9600 baud, and none asked for another rate.
inline void ExpectAllAt9600(const std::vector<std::string>& trace, const std::string& baudCommand) {
  for (const auto& entry : trace) {
    EXPECT_NE(entry.substr(0, 2), baudCommand) << entry;
    EXPECT_NE(entry.find("/9600"), std::string::npos) << entry;
  }
}

// One programmer on the test window, with the instrument of `profile` at
// 4800 baud and `image` as the package's "FW.TXT". Each Program call makes
// a new programmer on the same record, as the window does for a retry.
template <class Programmer, class Model>
struct ProgrammerRun {
  TestWindow window;
  programmers::ProgrammerRecord record;
  sim::Instrument* instrument = nullptr;
  int32_t lastError = -1;

  ProgrammerRun(const std::string& profile, const std::string& image) {
    instrument = &window.Connect(Profile(profile), serial::B__4800);
    window.WriteFile("FW.TXT", image);
  }
  bool Program(const std::string& file = "fw.txt") {
    Programmer programmer(window, window.delay, record, *window.port);
    const bool ok = programmer.Program(file);
    lastError = programmer.LastError();
    if (std::getenv("BSL_TRACE"))
      for (const auto& t : Trace()) std::fprintf(stderr, "  %s\n", t.c_str());
    return ok;
  }
  // Calls `plant` with the loader model as it takes the line, and keeps it
  // in `loader` for faults planted later.
  void PlantInLoader(std::function<void(Model&)> plant) {
    window.onLoader = [this, plant](sim::InstrumentModel& m) {
      loader = &dynamic_cast<Model&>(m);
      plant(*loader);
    };
  }
  // The retry on OK after a failed download: straight into the loader, as
  // the window sets the record for it.
  bool RetryInLoader() {
    record.AlreadyInLoader = true;
    record.SyncFirst = true;
    record.AskResetVector = false;
    m_retryFrom = Trace().size();
    return Program();
  }
  // The loader commands of the last RetryInLoader.
  std::vector<std::string> RetryTrace() const {
    const auto all = Trace();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(m_retryFrom, all.size())), all.end()};
  }
  std::vector<std::string> Trace() const { return bsltest::Trace<Model>(*instrument); }

  // An instrument that drops its line on the hand-over command ("drop-at =
  // 5588" in its profile): the download ends at once.
  void ExpectTheDropAtTheHandOverEndsTheRun() {
    uint32_t handOverAt = 0;
    window.recording.onWrite = [&](const uint8_t* bytes, uint32_t count) {
      if (std::string(reinterpret_cast<const char*>(bytes), count).rfind("A.5588", 0) == 0)
        handOverAt = window.host.Time().TickCount();
    };
    const bool ok = Program();
    ASSERT_NE(handOverAt, 0u);
    ExpectEndedByTheLostLine(ok, handOverAt);
    EXPECT_TRUE(Trace().empty());
  }
  // The cable pulled 20 ms after the third block went out (a frame whose
  // byte `at` is `command`): the download ends at once.
  void ExpectAnUnplugDuringTheWritesEndsTheRun(size_t at, uint8_t command) {
    uint32_t unpluggedAt = 0;
    int writes = 0;
    window.recording.onWrite = [&](const uint8_t* bytes, uint32_t count) {
      if (unpluggedAt || count <= at || bytes[0] != 0x80 || bytes[at] != command || ++writes < 3) return;
      unpluggedAt = window.host.Time().TickCount() + 20;
      window.host.Time().ScheduleAfter(20'000, [this] { window.ports.Line(1)->Disconnect(); });
    };
    const bool ok = Program();
    ASSERT_NE(unpluggedAt, 0u);
    ExpectEndedByTheLostLine(ok, unpluggedAt);
    EXPECT_FALSE(Loader()->Started());
  }
  // A download that lost its line at `lostAtMs` (or later) ended as it
  // should: within a second, failed, with the one box that says so, and
  // without touching the port after the window got the notice.
  void ExpectEndedByTheLostLine(bool ok, uint32_t lostAtMs) {
    const uint32_t endedAt = window.host.Time().TickCount();
    EXPECT_FALSE(ok);
    EXPECT_NE(window.lineLostAtMs, 0u) << "the hang-up never reached the window";
    EXPECT_LT(endedAt - lostAtMs, 1000u) << "lost at " << lostAtMs << " ms, ended at " << endedAt << " ms";
    EXPECT_EQ(window.boxes,
              std::vector<std::string>{
                  "Error: The connection to the instrument on COM1 was lost (cable or USB adapter "
                  "unplugged?). Reconnect the instrument and restart the download with Ok."});
    for (const auto& op : window.OperationsAfterLoss())
      ADD_FAILURE() << op.what << " at " << op.atMs << " ms";
    EXPECT_EQ(std::count(window.unconsumed.begin(), window.unconsumed.end(), core::codes::kConnectionLost),
              0);
  }

  const Model* Loader() const { return LoaderOf<Model>(*instrument); }

  Model* loader = nullptr;  // by PlantInLoader

 private:
  size_t m_retryFrom = 0;
};

// A vector table of a firmware that uses one vector besides reset (0xFFE0).
inline std::vector<uint8_t> TwoVectors(uint16_t first, uint16_t reset) {
  std::vector<uint8_t> v = Vectors(reset);
  v[0] = static_cast<uint8_t>(first);
  v[1] = static_cast<uint8_t>(first >> 8);
  return v;
}

}  // namespace bsltest
