// The window around a programmer in the answer harnesses, in virtual time:
// the host calls do nothing but count the error boxes, and the device port's
// data goes through the window's line parser as in the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ProgrammerWindow.h"
#include "core/EventCodes.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "serial/TComPort.h"
#include "update/protocol/LineParser.h"

namespace fuzzsupport {

// The host comes first, so it outlives the window built on it.
struct SimHostHolder {
  platform::sim::SimHost host;
};

class ProgrammerFuzzWindow final : public SimHostHolder, public testing_support::ProgrammerWindow {
 public:
  ProgrammerFuzzWindow(std::string packageFolder, int32_t language)
      : ProgrammerWindow(host, host.Pump()), m_folder(std::move(packageFolder)), m_language(language) {}
  void ReportProgress(uint32_t, int32_t) override {}
  void LogLine(const std::string&) override {}
  std::string FindProgDefFile(int32_t) override { return {}; }
  std::string ErrorText(int32_t step) override { return step == 0 ? "no loader" : "loader error"; }
  void ShowErrorBox(const std::string&, const std::string&) override { ++boxes; }
  std::string PackageFolder() override { return m_folder; }
  int32_t Language() override { return m_language; }

  // The device port on COM1 of the simulated ports, 8 data bits, 2 stop
  // bits, at `baud`; the caller sets the rest and opens it.
  serial::V24ParameterTag& MakePort(serial::BaudTag baud) {
    port = std::make_unique<serial::TComPort>(ports, host.Time());
    serial::V24ParameterTag* r = port->GetV24Parameter();
    r->DatenBits = serial::D_8;
    r->StopBits = serial::S_2;
    r->Baudrate = baud;
    r->RXTimeOutproChar = 1;
    return *r;
  }

  platform::sim::SimPortSystem ports{host.Time()};
  std::unique_ptr<serial::TComPort> port;
  update::LineParser parser;
  int boxes = 0;
  int unconsumed = 0;  // Events other than data that reached the window

 protected:
  void OnWindowEvent(core::EventQueue& q, const core::Event& event) override {
    if (event.kind == core::kCodeEvent && event.code == core::codes::kDataArrived) {
      uint8_t buffer[251];
      const int32_t n = port->Read(buffer, 250);
      if (n > 0) parser.Feed(buffer, static_cast<size_t>(n), q, nullptr);
      return;
    }
    if (event.kind != core::kNoEvent) ++unconsumed;
  }

 private:
  std::string m_folder;
  int32_t m_language;
};

}  // namespace fuzzsupport
