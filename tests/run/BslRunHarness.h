// A stand-in for the main window around a programmer run in virtual time:
// the event queue with the window's handler at the bottom (it reads the
// device port and turns lines into CodeEvents), five timer slots, the delay
// component, the device port on a simulated line and an instrument there.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/DrainEvents.h"
#include "core/EventHandler.h"
#include "core/EventQueue.h"
#include "core/TimerSlots.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "programmers/ProgrammerHost.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"
#include "sim/line/SimInstrumentRack.h"
#include "sim/model/ProfileReader.h"
#include "update/protocol/LineParser.h"
#include "TiTxtImages.h"

namespace bsltest {

inline sim::InstrumentProfile Profile(const std::string& text) {
  auto result = sim::ProfileReader::Parse(text, "test");
  if (!result.Ok()) throw std::runtime_error(result.ErrorText("test"));
  return result.profile;
}

using testing_support::FlashHolds;
using testing_support::Pattern;
using testing_support::TiTxt;
using testing_support::Vectors;

class TestWindow : public programmers::ProgrammerHost, public serial::V24Listener {
 public:
  explicit TestWindow(uint32_t com = 1)
      : m_com(com),
        slots(queue, [this] { DrainEvents(); }),
        delay(host.Time(), host.Time()),
        folder(std::filesystem::temp_directory_path() /
               ("bsl-run-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    std::filesystem::create_directories(folder);
    for (int i = 0; i < 5; ++i) {
      m_timers.push_back(host.CreateTimer());
      m_timers.back()->SetTag(i + 1);  // the form gives Timer1..Timer5 their slot numbers
    }
    std::vector<platform::Timer*> raw;
    for (auto& t : m_timers) raw.push_back(t.get());
    slots.RegisterTimers(raw);
    delay.SetEnable(true);
    queue.Subscribe(core::MakeHandler<&TestWindow::WindowHandler>(this));
  }
  ~TestWindow() override { std::filesystem::remove_all(folder); }

  // Places the instrument and opens the device port as the search left it:
  // the instrument's baud rate, 8 data bits, 2 stop bits, no parity.
  sim::Instrument& Connect(const sim::InstrumentProfile& profile, serial::BaudTag baud) {
    sim::Instrument& instrument = rack.Place(m_com, profile);
    port = std::make_unique<serial::TComPort>(ports, host.Time());
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

  // ProgrammerHost
  void ReportProgress(uint32_t command, int32_t value) override { progress.emplace_back(command, value); }
  void LogLine(const std::string& text) override {
    if (std::getenv("BSL_TRACE")) std::fprintf(stderr, "%u ms: %s\n", host.Time().TickCount(), text.c_str());
    log.push_back(text);
  }
  void DrainEvents() override { core::DrainEvents(queue, m_guiBusy, host.Time()); }
  core::EventQueue& Events() override { return queue; }
  core::TimerSlots& Slots() override { return slots; }
  platform::MessagePump& Pump() override { return host.Time(); }
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

  // V24Listener: a data notification becomes CodeEvent 10000 and a drain.
  void OnV24Message(uint32_t message, uint32_t com) override {
    if (message != serial::WM_V24_RX) return;
    queue.PostCode(10000, core::EventText::Number(static_cast<int32_t>(com)));
    DrainEvents();
  }

  // The window's own handler, oldest in the chain: reads the port and parses
  // lines; records what reaches it unconsumed.
  core::Event WindowHandler(core::EventQueue& q, core::Event event) {
    if (event.kind == core::kCodeEvent && event.code == 10000) {
      uint8_t buffer[512];
      for (;;) {
        const int32_t n = port->Read(buffer, sizeof buffer - 1);
        if (n <= 0) break;
        parser.Feed(buffer, static_cast<size_t>(n), q, [this](const std::string& line) { LogLine(line); });
      }
      return core::ClearEvent();
    }
    if (event.kind != core::kNoEvent) unconsumed.push_back(event.code);
    return core::ClearEvent();
  }

  // Called with each loader model as it takes the line (to plant faults).
  std::function<void(sim::InstrumentModel&)> onLoader;

  sim::ModelRegistry Registry() {
    sim::ModelRegistry registry = sim::ModelRegistry::WithBuiltins();
    const sim::ModelRegistry plain = sim::ModelRegistry::WithBuiltins();
    for (const char* name : {sim::ModelRegistry::kRomBsl, sim::ModelRegistry::kBsl5xx}) {
      registry.Register(name, [this, plain, name = std::string(name)](sim::ModelContext& c) {
        auto model = plain.Create(name, c);
        if (onLoader) onLoader(*model);
        return model;
      });
    }
    return registry;
  }

  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports{host.Time()};
  sim::SimInstrumentRack rack{ports, host.Time(), Registry()};
  uint32_t m_com;
  core::EventQueue queue;
  core::TimerSlots slots;
  serial::TDelay delay;
  std::unique_ptr<serial::TComPort> port;
  update::LineParser parser;
  std::filesystem::path folder;
  std::vector<std::pair<uint32_t, int32_t>> progress;
  std::vector<std::string> log;
  std::vector<std::string> boxes;
  std::vector<int32_t> unconsumed;
  std::map<int32_t, std::string> progDef;

 private:
  int m_guiBusy = 0;
  std::vector<std::unique_ptr<platform::Timer>> m_timers;
};

// Whether the flash holds `bytes` at `address`.
}  // namespace bsltest
