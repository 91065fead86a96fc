// What an instrument answers an EFM download, line by line: the input is cut
// into chunks, and each command the programmer ends with CR LF is answered
// with the next chunk. Whatever comes, Program must end (by the instrument's
// words or by its guard), with at most one error box, and leave no handler
// behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ProgrammerWindow.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "programmers/TEFMV24_Prog.h"
#include "serial/TComPort.h"
#include "update/protocol/LineParser.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    const auto path = std::filesystem::temp_directory_path() / "iu-fuzz-efm";
    std::filesystem::create_directories(path);
    std::ofstream(path / "FW.BIN", std::ios::binary) << std::string(300, '\x5A');
    return path.string();
  }();
  return folder;
}

// Answers each line the tool ends with the next chunk of the input.
class Answerer final : public platform::sim::SimLinePeer {
 public:
  Answerer(platform::sim::SimSerialLine& line, const uint8_t* data, size_t size)
      : m_line(line), m_data(data), m_size(size) {
    m_line.Attach(this);
  }
  ~Answerer() override { m_line.Attach(nullptr); }
  platform::sim::LineFormat Format() const override { return m_line.PortFormat(); }
  void OnCharacter(const platform::sim::ReceivedCharacter& c) override {
    if (c.byte != '\n' || m_at >= m_size) return;
    const size_t chunk = std::min<size_t>(1 + m_data[m_at] % 96, m_size - m_at - 1);
    ++m_at;
    m_line.Send(m_data + m_at, chunk, 2000);
    m_at += chunk;
  }

 private:
  platform::sim::SimSerialLine& m_line;
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

struct SimHostHolder {
  platform::sim::SimHost host;
};

class Window final : public SimHostHolder, public testing_support::ProgrammerWindow {
 public:
  Window() : ProgrammerWindow(host, host.Pump()) {}
  void ReportProgress(uint32_t, int32_t) override {}
  void LogLine(const std::string&) override {}
  std::string FindProgDefFile(int32_t) override { return {}; }
  std::string ErrorText(int32_t step) override { return step == 0 ? "no loader" : "loader error"; }
  void ShowErrorBox(const std::string&, const std::string&) override { ++boxes; }
  std::string PackageFolder() override { return Folder(); }
  int32_t Language() override { return 1; }

  platform::sim::SimPortSystem ports{host.Time()};
  std::unique_ptr<serial::TComPort> port;
  update::LineParser parser;
  int boxes = 0;
  int unconsumed = 0;

 protected:
  void OnWindowEvent(core::EventQueue& q, const core::Event& event) override {
    if (event.kind == core::kCodeEvent && event.code == core::codes::kDataArrived) {
      uint8_t buffer[251];
      const int32_t n = port->Read(buffer, 250);
      if (n > 0) parser.Feed(buffer, static_cast<size_t>(n), q, [](const std::string&) {});
      return;
    }
    if (event.kind != core::kNoEvent) ++unconsumed;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Window window;
  window.host.Time().SetTimeLimit(3600ull * 1000 * 1000);
  platform::sim::SimSerialLine& line = window.ports.AddLine(1);
  Answerer answerer(line, data, size);
  window.port = std::make_unique<serial::TComPort>(window.ports, window.host.Time());
  serial::V24ParameterTag* r = window.port->GetV24Parameter();
  r->DatenBits = serial::D_8;
  r->StopBits = serial::S_2;
  r->Baudrate = serial::B__9600;
  r->RXTimeOutproChar = 1;
  if (!window.port->Open(&window, 0, false)) std::abort();
  programmers::ProgrammerRecord record;
  bool ok = false;
  {
    programmers::TEFMV24_Prog programmer(window, window.delay, record, *window.port);
    ok = programmer.Program("FW.BIN");
  }
  if (window.boxes != (ok ? 0 : 1)) std::abort();
  // Only the window's handler is left: a key reaches it.
  window.unconsumed = 0;
  window.queue.PostKey(core::keys::kEscape);
  window.DrainEvents();
  if (window.unconsumed != 1) std::abort();
  return 0;
}
