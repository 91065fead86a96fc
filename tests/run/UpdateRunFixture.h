#pragma once

// A whole update run in virtual time: the window's logic with a recording
// view, its package folder, and instrument models on simulated COM ports.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PackageFolder.h"
#include "RecordingView.h"
#include "TiTxtText.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "sim/line/SimInstrumentRack.h"
#include "sim/model/AsciiModel.h"
#include "sim/model/ModelRegistry.h"
#include "sim/model/ShippedProfiles.h"
#include "update/TUpdateForm.h"
#include "update/versions/VersionNumber.h"

namespace runtest {

using update::Control;
using update::MessageButtons;
using update::MessageIcon;
using update::MessageResult;

// A port with nothing but a listener on it: records every byte the tool
// sends, at the port's own settings, so it reads them all.
class LineTap final : public platform::sim::SimLinePeer {
 public:
  struct Chunk {
    std::string bytes;
    uint32_t baud = 0;
    platform::sim::Parity parity = platform::sim::Parity::None;
    uint32_t tick = 0;  // ms of the first byte
  };

  LineTap(platform::sim::SimSerialLine& line, platform::sim::VirtualTime& time) : m_line(line), m_time(time) {
    m_line.Attach(this);
  }
  ~LineTap() override { m_line.Attach(nullptr); }

  platform::sim::LineFormat Format() const override { return m_format ? *m_format : m_line.PortFormat(); }
  // Sends (and listens) at this format instead of the port's.
  void SetFormat(std::optional<platform::sim::LineFormat> format) { m_format = format; }
  void OnCharacter(const platform::sim::ReceivedCharacter& c) override {
    const platform::sim::LineFormat format = m_line.PortFormat();
    const uint32_t now = m_time.TickCount();
    if (chunks.empty() || chunks.back().baud != format.baud || chunks.back().parity != format.parity ||
        now - m_lastTick > 50) {
      chunks.push_back(Chunk{{}, format.baud, format.parity, now});
    }
    chunks.back().bytes.push_back(static_cast<char>(c.byte));
    m_lastTick = now;
  }
  // Every chunk's bytes and rate as "baud:bytes".
  std::vector<std::string> Summary() const {
    std::vector<std::string> out;
    for (const Chunk& c : chunks) out.push_back(std::to_string(c.baud) + ":" + c.bytes);
    return out;
  }

  std::vector<Chunk> chunks;

 private:
  platform::sim::SimSerialLine& m_line;
  platform::sim::VirtualTime& m_time;
  uint32_t m_lastTick = 0;
  std::optional<platform::sim::LineFormat> m_format;
};

// One device block of ProgDevice.ini.
struct EntrySpec {
  std::string devStartCmd = "1";
  std::string deviceNrDef;
  std::string deviceNr;
  std::string deviceName;
  std::string progFile1;
  std::string progFile2;
  std::string progFile3;
  std::string swKenn1;
  std::string swKenn2 = "SWVER=";
  std::string swKenn3;
  std::string bootLoadKenn;
  std::string flashErase2 = "0xFFBF";
  std::string flashErase3 = "1234";
  std::string progDefFile;
  std::string prozTyp = "0";

  std::string Block() const {
    return "DevStartCmd=" + devStartCmd + "\r\nDeviceNrDef=" + deviceNrDef + "\r\nDeviceNr=" + deviceNr +
           "\r\nDeviceName=" + deviceName + "\r\nProgFile1=" + progFile1 + "\r\nProgFile2=" + progFile2 +
           "\r\nProgFile3=" + progFile3 + "\r\nSWKenn1=" + swKenn1 + "\r\nSWKenn2=" + swKenn2 +
           "\r\nSWKenn3=" + swKenn3 + "\r\nBootLoadKenn=" + bootLoadKenn +
           "\r\nFlashErase1=\r\nFlashErase2=" + flashErase2 + "\r\nFlashErase3=" + flashErase3 +
           "\r\nProgDefFile=" + progDefFile + "\r\nProzTyp=" + prozTyp + "\r\n\r\n";
  }
};

// A text firmware file whose version follows "SWVER=" as hex pairs.
inline std::string TextFirmware(const std::string& version) {
  std::string hex;
  char pair[4];
  for (unsigned char c : version) {
    std::snprintf(pair, sizeof pair, "%02X ", c);
    hex += pair;
  }
  return "; firmware\r\nSWVER= " + hex + "00\r\n@C000\r\n01 02\r\nq\r\n";
}

inline const char* kTextBlock =
    "StarttextD=Bitte OK dr\xFC"
    "cken\r\nStarttextE=Press OK\r\n"
    "AbbruchtextD=Kein Ger\xE4t.\\rTaste ON halten und einschalten.\\rEnde\r\n"
    "AbbruchtextE=No instrument.\\rHold ON and switch on.\\rEnd\r\n";

class UpdateRunTest : public ::testing::Test {
 protected:
  UpdateRunTest() { m_host.Time().SetTimeLimit(3600ull * 1000 * 1000); }

  // Writes the package and starts the window.
  update::TUpdateForm& Start(const std::string& updateIni, const std::vector<EntrySpec>& entries) {
    m_folder.Write("Update.ini", updateIni);
    std::string ini;
    for (const EntrySpec& e : entries) ini += e.Block();
    m_folder.Write("ProgDevice.ini", ini + kTextBlock);
    m_form = std::make_unique<update::TUpdateForm>(m_host, m_ports, m_view,
                                                   testing_support::MakeEnvironment(m_folder.Path()));
    EXPECT_TRUE(m_form->FormCreate());
    m_form->SetServiceFlags({.DebugMode = m_debug});
    if (m_standInDownload)
      m_form->Queue().Subscribe(core::MakeHandler<&UpdateRunTest::DownloadStandIn>(this));
    return *m_form;
  }

  // For the tests of the search and the identification: the download the
  // run decides on is recorded instead of carried out, and the run ends as
  // after a failure without retry (closing command, abort text, OK free).
  core::Event DownloadStandIn(core::EventQueue&, core::Event event) {
    if (event.kind != core::kCodeEvent ||
        (event.code != core::codes::kOwnDownload && event.code != core::codes::kDownloadTiTxt))
      return event;
    m_downloads.push_back(event.code);
    m_form->SendToDevice("A.1121\r\n");
    m_form->ReportFailure(core::codes::kFailedNoRetry);
    return core::ClearEvent();
  }

  void PressOk() { m_form->OkBitBtnClick(); }
  void Run(uint32_t ms) { m_host.Time().RunFor(ms); }
  // Runs until the virtual tick (ms since the start).
  void RunTo(uint32_t tick) { Run(tick > Now() ? tick - Now() : 0); }
  uint32_t Now() { return m_host.Time().TickCount(); }

  sim::Instrument& Place(uint32_t com, const std::string& profile) {
    return m_rack.PlaceShipped(com, profile);
  }
  sim::Instrument& Place(uint32_t com, sim::InstrumentProfile profile) {
    return m_rack.Place(com, std::move(profile));
  }
  LineTap& Tap(uint32_t com) {
    m_rack.PlaceSilent(com);
    auto tap = std::make_unique<LineTap>(*m_ports.Line(com), m_host.Time());
    LineTap& ref = *tap;
    m_taps[com] = std::move(tap);
    return ref;
  }

  // The commands an instrument has received, in order.
  std::vector<std::string> Commands(uint32_t com) {
    sim::Instrument* instrument = m_rack.At(com);
    if (!instrument) return {};
    for (const auto& model : instrument->History()) {
      if (auto* ascii = dynamic_cast<sim::AsciiModel*>(model.get())) return ascii->Commands();
    }
    return {};
  }

  std::vector<std::string> MemoContaining(const std::string& part) const {
    std::vector<std::string> out;
    for (const std::string& line : m_view.memo) {
      if (line.find(part) != std::string::npos) out.push_back(line);
    }
    return out;
  }

  std::string Caption(Control c) const { return m_view.Caption(c); }

  testing_support::TempFolder m_folder;
  platform::sim::SimHost m_host;
  platform::sim::SimPortSystem m_ports{m_host.Time()};
  sim::SimInstrumentRack m_rack{m_ports, m_host.Time()};
  std::map<uint32_t, std::unique_ptr<LineTap>> m_taps;
  testing_support::RecordingView m_view;
  std::unique_ptr<update::TUpdateForm> m_form;
  bool m_debug = true;
  bool m_standInDownload = false;
  std::vector<int32_t> m_downloads;  // the download codes the stand-in took
};

// A device block with the keys that tell instruments apart; the others
// keep their defaults.
inline EntrySpec MakeEntry(const std::string& devStart, const std::string& deviceNrDef,
                           const std::string& deviceNr, const std::string& deviceName,
                           const std::string& mainFile) {
  EntrySpec e;
  e.devStartCmd = devStart;
  e.deviceNrDef = deviceNrDef;
  e.deviceNr = deviceNr;
  e.deviceName = deviceName;
  e.progFile2 = mainFile;
  return e;
}

// The demo-like entry of the bench pH meter (profile ph-meter).
inline EntrySpec PhMeterEntry(const std::string& devStart = "1") {
  return MakeEntry(devStart, "22074", "23010", "pH Meter", "PH_METER.TXT");
}

constexpr const char* kSuccessEnglish = "Download successfully completed !";
constexpr const char* kAbortEnglish = "No instrument.";  // AbbruchtextE of kTextBlock

// The image of a 2xx meter, version 1.01: the version block where the key
// "@FF00" finds it, code at 0xC000 and the reset vector.
inline std::vector<testing_support::ImageSection> MeterImage(uint32_t code = 0xC000, size_t codeSize = 600,
                                                             char minor = '1', uint8_t seed = 7) {
  return {{0xFF00, {'1', '.', '0', static_cast<uint8_t>(minor), 0, 0xFF}},
          {code, testing_support::Pattern(codeSize, seed)},
          {0xFFFE, {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)}}};
}

// Code that starts with the version text 1.01, for a key "@ADDRESS".
inline std::vector<uint8_t> VersionThen(std::vector<uint8_t> code) {
  code.insert(code.begin(), {'1', '.', '0', '1', 0, 0xFF});
  return code;
}

// An MSP430 meter's device block: the version after the key "@FF00".
inline EntrySpec MeterEntry(const std::string& deviceNr = "23080", const std::string& deviceNrDef = "22150",
                            const std::string& mainFile = "MSP2XX.TXT") {
  EntrySpec e = MakeEntry("1", deviceNrDef, deviceNr, "MSP Meter", mainFile);
  e.swKenn2 = "@FF00\\r\\n";
  e.flashErase2 = "";
  e.flashErase3 = "";
  return e;
}

// The request half the window's run sends before the loader takes the line.
inline const std::vector<std::string> kIdentAndRequest{"A.1111", "A.1000", "A.2003", "A.2000",     "A.2001",
                                                       "A.4001", "A.1000", "A.5577", "A.5588#QT48"};

// Whole downloads from OK: the window's run hands the firmware to a
// programmer. Instruments on m_faultRack get their loader model handed to
// onLoader as it takes the line, to plant faults or to look at the flash
// at that moment.
class DownloadRunTest : public UpdateRunTest {
 protected:
  sim::ModelRegistry FaultRegistry() {
    sim::ModelRegistry registry = sim::ModelRegistry::WithBuiltins();
    const sim::ModelRegistry plain = sim::ModelRegistry::WithBuiltins();
    for (const char* name : sim::ModelRegistry::kLoaders) {
      if (!plain.Has(name)) continue;
      registry.Register(name, [this, plain, name](sim::ModelContext& c) {
        auto model = plain.Create(name, c);
        if (model && onLoader) onLoader(*model);
        return model;
      });
    }
    return registry;
  }

  // Runs until the OK button is free again or the window has shown the
  // success text; at most `seconds` of virtual time, then 5 s more.
  void RunToEnd(int seconds = 300) {
    for (int i = 0; i < seconds * 2; ++i) {
      Run(500);
      if (m_view.Enabled(Control::OkBitBtn) || !MemoContaining(kSuccessEnglish).empty()) break;
    }
    Run(5000);
  }

  // The commands each run of the instrument's program took, oldest first:
  // before the first loader, after the loader started it again, ...
  std::vector<std::vector<std::string>> ProgramSessions(const sim::Instrument& instrument) const {
    std::vector<std::vector<std::string>> out;
    for (const auto& model : instrument.History()) {
      if (auto* ascii = dynamic_cast<const sim::AsciiModel*>(model.get())) out.push_back(ascii->Commands());
    }
    return out;
  }

  // Presses Escape (KeyEvent 27 and a drain, as a key press would) once
  // `when` holds, checked every 100 ms of virtual time.
  void PressEscapeWhen(std::function<bool()> when) {
    m_host.Time().ScheduleAfter(100'000, [this, when] {
      if (!when()) {
        PressEscapeWhen(when);
        return;
      }
      m_host.Time().Post([this] {
        m_form->Queue().PostKey(core::keys::kEscape);
        m_form->DrainEvents();
      });
    });
  }

  // A failed download as the user sees it: the one error box, the abort
  // text, OK free for the retry, no wait panel, no success text.
  void ExpectFailureShown(const std::string& box) {
    EXPECT_EQ(MemoContaining(kAbortEnglish).size(), 1u);
    EXPECT_TRUE(MemoContaining(kSuccessEnglish).empty());
    EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn));
    EXPECT_FALSE(m_view.Visible(Control::WaitPanel));
    ASSERT_EQ(m_view.boxes.size(), 1u);
    EXPECT_EQ(m_view.boxes[0].text, box);
    EXPECT_EQ(m_view.boxes[0].caption, "Error");
  }

  std::function<void(sim::InstrumentModel&)> onLoader;
  sim::SimInstrumentRack m_faultRack{m_ports, m_host.Time(), FaultRegistry()};
};

}  // namespace runtest
