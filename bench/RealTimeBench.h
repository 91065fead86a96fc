// What the real-time programmer benchmarks share: the least a download can
// take (line time, mandated waits, read gaps, the instrument's own time),
// gathered at the port's line and at the delay component's pump, and a
// window around the programmer with the real line parser.
#pragma once

#include <QApplication>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ProgrammerWindow.h"
#include "platform/PortSystem.h"
#include "platform/SerialLine.h"
#include "platform/qt/QtHost.h"
#include "serial/TComPort.h"
#include "update/protocol/LineParser.h"

namespace bench {

// What the run costs at the least, gathered at the line and the pump.
struct Budget {
  std::mutex lock;
  double lineMicros = 0;
  double waitMicros = 0;
  double readGapMicros = 0;
  double instrumentMicros = 0;
  uint32_t baud = 4800;
  double bitsPerChar = 11;  // 8N2 at the start
  uint64_t reads = 0;
  double Total() const { return lineMicros + waitMicros + readGapMicros + instrumentMicros; }
};

// The line the tool's port drives: every setting, read and write noted in
// the budget; `charge` adds the instrument's own time for what is written.
class CountingLine final : public platform::SerialLine {
 public:
  using Charge = std::function<void(Budget&, const uint8_t*, uint32_t)>;
  CountingLine(std::unique_ptr<platform::SerialLine> line, Budget& budget, Charge charge)
      : m_line(std::move(line)), m_budget(budget), m_charge(std::move(charge)) {}
  bool GetState(platform::DCB& dcb) override { return m_line->GetState(dcb); }
  bool SetState(const platform::DCB& dcb) override {
    std::lock_guard<std::mutex> guard(m_budget.lock);
    m_budget.baud = dcb.BaudRate;
    m_budget.bitsPerChar = 1 + dcb.ByteSize + (dcb.Parity != 0 ? 1 : 0) + (dcb.StopBits == 2 ? 2 : 1);
    return m_line->SetState(dcb);
  }
  bool GetTimeouts(platform::COMMTIMEOUTS& t) override { return m_line->GetTimeouts(t); }
  bool SetTimeouts(const platform::COMMTIMEOUTS& t) override { return m_line->SetTimeouts(t); }
  void StartReader(platform::SerialLineEvents& events) override { m_line->StartReader(events); }
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    const uint32_t n = m_line->Read(buffer, count);
    if (n > 0) {
      std::lock_guard<std::mutex> guard(m_budget.lock);
      m_budget.lineMicros += n * m_budget.bitsPerChar * 1e6 / m_budget.baud;
      m_budget.readGapMicros += 20000;
      ++m_budget.reads;
    }
    return n;
  }
  platform::WriteResult Write(const uint8_t* bytes, uint32_t count) override {
    {
      std::lock_guard<std::mutex> guard(m_budget.lock);
      m_charge(m_budget, bytes, count);
    }
    return m_line->Write(bytes, count);
  }
  bool WriteInBackground(const uint8_t* bytes, uint32_t count, WriteDone done) override {
    return m_line->WriteInBackground(bytes, count, std::move(done));
  }
  bool WriterBusy() override { return m_line->WriterBusy(); }
  bool Purge(uint32_t flags) override { return m_line->Purge(flags); }
  void ClearBreak() override { m_line->ClearBreak(); }
  void Close() override { m_line->Close(); }

 private:
  std::unique_ptr<platform::SerialLine> m_line;
  Budget& m_budget;
  Charge m_charge;
};

class CountingPorts final : public platform::PortSystem {
 public:
  CountingPorts(platform::PortSystem& ports, Budget& budget, CountingLine::Charge charge)
      : m_ports(ports), m_budget(budget), m_charge(std::move(charge)) {}
  platform::PortStatus Probe(uint32_t com) override { return m_ports.Probe(com); }
  platform::PortOpenResult Open(uint32_t com) override {
    platform::PortOpenResult r = m_ports.Open(com);
    if (r.line) r.line = std::make_unique<CountingLine>(std::move(r.line), m_budget, m_charge);
    return r;
  }

 private:
  platform::PortSystem& m_ports;
  Budget& m_budget;
  CountingLine::Charge m_charge;
};

// The pump of the delay component: its Sleeps are the mandated waits.
class CountingPump final : public platform::MessagePump {
 public:
  CountingPump(platform::MessagePump& pump, const platform::Clock& clock, Budget& budget)
      : m_pump(pump), m_clock(clock), m_budget(budget) {}
  void ProcessMessages() override { m_pump.ProcessMessages(); }
  void WaitForMessages() override { m_pump.WaitForMessages(); }
  // A wait with messages processed is mandated as much as one without.
  void ProcessUntil(uint32_t deadline) override {
    const int32_t left = static_cast<int32_t>(deadline - m_clock.TickCount());
    if (left > 0) m_budget.waitMicros += left * 1000.0;
    m_pump.ProcessUntil(deadline);
  }
  void Sleep(uint32_t ms) override {
    m_budget.waitMicros += ms * 1000.0;
    m_pump.Sleep(ms);
  }
  void Post(Message message) override { m_pump.Post(std::move(message)); }

 private:
  platform::MessagePump& m_pump;
  const platform::Clock& m_clock;
  Budget& m_budget;
};

class BenchWindow final : public testing_support::ProgrammerWindow {
 public:
  // The delay component sleeps in `delayPump`, which counts the waits.
  BenchWindow(platform::qt::QtHost& host, platform::MessagePump& delayPump, platform::PortSystem& ports,
              const std::string& folder)
      : ProgrammerWindow(host, delayPump), port(ports, host.Pump()), m_folder(folder) {}

  void ReportProgress(uint32_t, int32_t) override {}
  void LogLine(const std::string&) override {}
  std::string FindProgDefFile(int32_t) override { return {}; }
  std::string ErrorText(int32_t step) override { return "error step " + std::to_string(step); }
  void ShowErrorBox(const std::string& text, const std::string&) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  std::string PackageFolder() override { return m_folder; }
  int32_t Language() override { return 1; }

  serial::TComPort port;

 protected:
  // The window's line parser: one read per notification.
  void OnWindowEvent(core::EventQueue& q, const core::Event& event) override {
    if (event.kind == core::kCodeEvent && event.code == 10000) {
      uint8_t buffer[251];
      const int32_t n = port.Read(buffer, 250);
      if (n > 0) m_parser.Feed(buffer, static_cast<size_t>(n), q, nullptr);
    }
  }

 private:
  std::string m_folder;
  update::LineParser m_parser;
};

// Opens the bench window's port on COM1 at `baud`, 8 data bits, 2 stop bits.
inline bool OpenBenchPort(BenchWindow& window, serial::BaudTag baud, const char* bench) {
  serial::V24ParameterTag* r = window.port.GetV24Parameter();
  r->DatenBits = serial::D_8;
  r->StopBits = serial::S_2;
  r->Baudrate = baud;
  r->RXTimeOutproChar = 1;
  r->TXTimeOut = 10000;
  r->TXTimeOutproChar = 1;
  if (window.port.Open(&window, 0, false)) return true;
  std::fprintf(stderr, "%s: cannot open COM1: %s\n", bench, window.port.LastOpenError().c_str());
  return false;
}

// The figure line: wall time against the budget and what the budget is made of.
inline void PrintFigure(const char* name, const char* goal, double wallMicros, const Budget& budget) {
  std::printf("%s: %.4f ratio (goal %s) [%.2f s wall; budget %.2f s = line %.2f + waits %.2f + %llu reads x 20 ms + "
              "instrument %.2f]\n",
              name, wallMicros / budget.Total(), goal, wallMicros / 1e6, budget.Total() / 1e6, budget.lineMicros / 1e6,
              budget.waitMicros / 1e6, static_cast<unsigned long long>(budget.reads), budget.instrumentMicros / 1e6);
}

}  // namespace bench
