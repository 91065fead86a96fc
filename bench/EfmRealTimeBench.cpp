// A 200 kB image through the EFM hex-line download in real time: the real
// TComPort with its threads on a pseudo-terminal, instrument-sim pacing its
// bytes at the line's baud rate (115200 after the switch), the Qt message
// pump. The figure is the wall time of Program over what the run cannot
// avoid, both counted in the same run:
//   line time of every byte the instrument sent, at the rate in force
// + the waits the download mandates (each wait of the delay component: the
//   rate switches, the hello delay, the closing wait)
// + the 20 ms inter-byte interval that ends each Read with data
// + the instrument's own time (answer delays, its restart, the programming).
// The pseudo-terminal does not pace what the tool writes, so the hex lines'
// own line time is in neither figure.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ProgrammerWindow.h"
#include "SimProcess.h"
#include "platform/posix/PosixPortSystem.h"
#include "platform/qt/QtHost.h"
#include "programmers/TEFMV24_Prog.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"
#include "update/protocol/LineParser.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// The instrument's time for what the tool sends (the profile below): its
// 2 ms reply delay for every line, the restart, the programming.
constexpr double kReplyMicros = 2000;
constexpr double kRestartMicros = 300000;
constexpr double kProgramMicros = 1000000;
void ChargeInstrument(Budget& b, const uint8_t* bytes, uint32_t count) {
  const std::string text(reinterpret_cast<const char*>(bytes), std::min<uint32_t>(count, 8));
  if (text.rfind("A.", 0) != 0) return;
  if (text.rfind("A.9000", 0) == 0)
    b.instrumentMicros += kRestartMicros;
  else if (text.rfind("A.1263", 0) == 0)
    b.instrumentMicros += kProgramMicros + kReplyMicros;
  else
    b.instrumentMicros += kReplyMicros;
}

class CountingLine final : public platform::SerialLine {
 public:
  CountingLine(std::unique_ptr<platform::SerialLine> line, Budget& budget)
      : m_line(std::move(line)), m_budget(budget) {}
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
      ChargeInstrument(m_budget, bytes, count);
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
};

class CountingPorts final : public platform::PortSystem {
 public:
  CountingPorts(platform::PortSystem& ports, Budget& budget) : m_ports(ports), m_budget(budget) {}
  platform::PortStatus Probe(uint32_t com) override { return m_ports.Probe(com); }
  platform::PortOpenResult Open(uint32_t com) override {
    platform::PortOpenResult r = m_ports.Open(com);
    if (r.line) r.line = std::make_unique<CountingLine>(std::move(r.line), m_budget);
    return r;
  }

 private:
  platform::PortSystem& m_ports;
  Budget& m_budget;
};

// The pump of the delay component: its Sleeps are the mandated waits.
class CountingPump final : public platform::MessagePump {
 public:
  CountingPump(platform::MessagePump& pump, const platform::Clock& clock, Budget& budget)
      : m_pump(pump), m_clock(clock), m_budget(budget) {}
  void ProcessMessages() override { m_pump.ProcessMessages(); }
  void WaitForMessages() override { m_pump.WaitForMessages(); }
  // The rate switches wait with messages processed.
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

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  simtest::TempDir dir;
  std::ofstream(dir / "efm.profile") << "name = efm\nfamily = 5\nline = 9600 8N1\npcb = 1\ndevice = 2\n"
                                        "version = 1.00\nserial = 3\nloader = efm-loader after 5004\n"
                                        "reply-delay-ms = 2\nefm = text EFM-LDR-2.04 restart-ms 300 "
                                        "program-ms 1000\n";
  std::string image(200000, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 37 + 11) % 251);
  std::ofstream(dir / "FW.BIN", std::ios::binary) << image;

  simtest::SimProcess sim(
      {"--ports", dir / "ports", "--pace", "--com", "1", "--profile", dir / "efm.profile"},
      {dir / "ports/COM1"});
  Budget budget;
  platform::posix::PosixPortSystem posixPorts{platform::posix::ComMap::Folder(dir / "ports")};
  CountingPorts ports(posixPorts, budget);
  platform::qt::QtHost host;
  CountingPump delayPump(host.Pump(), host.GetClock(), budget);
  BenchWindow window(host, delayPump, ports, dir.Path());
  serial::V24ParameterTag* r = window.port.GetV24Parameter();
  r->DatenBits = serial::D_8;
  r->StopBits = serial::S_2;
  r->Baudrate = serial::B__9600;
  r->RXTimeOutproChar = 1;
  r->TXTimeOut = 10000;
  r->TXTimeOutproChar = 1;
  if (!window.port.Open(&window, 0, false)) {
    std::fprintf(stderr, "bench_efm_realtime: cannot open COM1: %s\n",
                 window.port.LastOpenError().c_str());
    return 1;
  }
  programmers::ProgrammerRecord record;
  window.port.ChangeV24TimeOut(-1, -1, -1, 0);  // as the window does before the download
  programmers::TEFMV24_Prog programmer(window, window.delay, record, window.port);
  const auto start = Clock::now();
  const bool ok = programmer.Program("fw.bin");
  const double wall = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  if (!ok) {
    std::fprintf(stderr, "bench_efm_realtime: the download failed\n");
    return 1;
  }
  std::printf(
      "efm_realtime_200k: %.4f ratio (goal <= 1.05) [%.2f s wall; budget %.2f s = line %.2f + waits "
      "%.2f + "
      "%llu reads x 20 ms + instrument %.2f]\n",
      wall / budget.Total(), wall / 1e6, budget.Total() / 1e6, budget.lineMicros / 1e6,
      budget.waitMicros / 1e6, static_cast<unsigned long long>(budget.reads), budget.instrumentMicros / 1e6);
  return 0;
}
