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

#include "ProgrammerFuzzWindow.h"
#include "programmers/TEFMV24_Prog.h"

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

using Window = fuzzsupport::ProgrammerFuzzWindow;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Window window(Folder(), 1);
  window.host.Time().SetTimeLimit(3600ull * 1000 * 1000);
  platform::sim::SimSerialLine& line = window.ports.AddLine(1);
  Answerer answerer(line, data, size);
  window.MakePort(serial::B__9600);
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
