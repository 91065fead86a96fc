// What an instrument (or line noise) answers the Windows CE programmer, in
// chunks of any size and timing: the run always ends, within the guard's
// reach of the last answer, with its handler gone, and with exactly one
// box when it failed and none when it succeeded.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ProgrammerFuzzWindow.h"
#include "SilentPeer.h"
#include "programmers/TWinCEProg.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

const std::string& Package() {
  static std::string folder;
  if (!folder.empty()) return folder;
  const auto path = std::filesystem::temp_directory_path() / ("iu-fuzz-wince-" + std::to_string(::getpid()));
  std::filesystem::create_directories(path);
  std::ofstream(path / "MAIN.EXE", std::ios::binary) << std::string(4500, 'm');
  std::ofstream(path / "ONE.DAT", std::ios::binary) << std::string(10, 'o');
  std::ofstream(path / "TWO.DAT", std::ios::binary) << "";
  folder = path.string();
  return folder;
}

using Window = fuzzsupport::ProgrammerFuzzWindow;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Window window(Package(), 0);
  window.ports.AddLine(1);
  fuzzsupport::SilentPeer instrument(*window.ports.Line(1));
  serial::V24ParameterTag& r = window.MakePort(serial::B__4800);
  r.TXTimeOut = 10000;
  r.TXTimeOutproChar = 1;
  Check(window.port->Open(&window, 0, false));

  programmers::ProgrammerRecord record;
  record.SameVersionAccepted = data[0] & 1;
  record.StartupVersionInDevice = (data[0] & 2) ? 1100 : 0;
  const int extras = (data[0] >> 2) % 3;
  for (int i = 0; i < extras; ++i) record.ExtraFiles.push_back(i == 0 ? "ONE.DAT" : "TWO.DAT");
  // Sometimes a count beyond the list, as a damaged record would carry.
  record.ExtraFileCount = static_cast<int32_t>(record.ExtraFiles.size()) + ((data[0] & 0x20) ? 1 : 0);

  // The answers: a length byte, a pause byte (10 ms steps), the bytes.
  uint64_t atMicros = 0;
  for (size_t at = 1; at + 2 <= size;) {
    const size_t length = data[at] % 64;
    atMicros += 10'000ull * data[at + 1];
    const size_t begin = at + 2;
    const size_t end = std::min(size, begin + length);
    std::string chunk(reinterpret_cast<const char*>(data + begin), end - begin);
    window.host.Time().ScheduleAfter(atMicros, [&window, chunk] {
      window.ports.Line(1)->Send(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size());
    });
    at = end;
  }
  const size_t handlers = window.queue.HandlerCount();
  bool ok = false;
  {
    programmers::TWinCEProg programmer(window, window.delay, record, *window.port);
    ok = programmer.Program("MAIN.EXE");
  }
  Check(window.queue.HandlerCount() == handlers);
  Check(window.boxes == (ok ? 0 : 1));
  // After the last answer: at most the guard, the two rate waits, the end
  // wait and the line time of what its acknowledgements may still send.
  const uint64_t limitMs = atMicros / 1000 + 8000 + 2000 + 1500 + 500 + 15000;
  Check(window.host.Time().TickCount() <= limitMs);
  return 0;
}
