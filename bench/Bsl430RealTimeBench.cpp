// A 60 kB image through the ROM bootstrap loader in real time: the real
// TComPort with its threads on a pseudo-terminal, instrument-sim pacing its
// bytes at the line's baud rate (38400 after the switch), the Qt message
// pump. The figure is the wall time of Program over what the run cannot
// avoid, both counted in the same run:
//   line time of every byte the instrument sent, at the rate in force
// + the waits the loader protocol mandates (each Sleep of the delay component)
// + the 20 ms inter-byte interval that ends each Read with data
// + the instrument's own time (answer delays, erase and write times).
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "RealTimeBench.h"
#include "SimProcess.h"
#include "TiTxtText.h"
#include "platform/posix/PosixPortSystem.h"
#include "platform/qt/QtHost.h"
#include "programmers/T_BSL430.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"
#include "sim/bsl/RomBslModel.h"
#include "update/protocol/LineParser.h"

namespace {

using Clock = std::chrono::steady_clock;

// The instrument's time for what the tool sends: its turn-around for every
// sync and frame, erase and write times, the ASCII reply delay (10 ms).
void ChargeInstrument(bench::Budget& b, const uint8_t* bytes, uint32_t count) {
  using sim::RomBslModel;
  if (count == 1 && bytes[0] == 0x80) {
    b.instrumentMicros += RomBslModel::kAnswerMicros;
  } else if (count >= 6 && bytes[0] == 0x80) {
    b.instrumentMicros += RomBslModel::kAnswerMicros;
    if (bytes[1] == 0x16) b.instrumentMicros += RomBslModel::kSegmentEraseMicros;
    if (bytes[1] == 0x12) b.instrumentMicros += (count - 10) * RomBslModel::kWriteMicrosPerByte;
  } else if (count >= 2 && bytes[0] == 'A' && bytes[1] == '.') {
    b.instrumentMicros += 10000;
  }
}

using testing_support::TiTxtSection;

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  simtest::TempDir dir;
  // An F1xx with loader 1.61: 38400 baud after the switch.
  std::ofstream(dir / "m1xx.profile") << "name = m1xx\nfamily = 0\nline = 4800 8N1\npcb = 1\ndevice = 2\n"
                                         "version = 1.00\nserial = 3\nloader = rom-bsl after 5588\n"
                                         "flash = 0x1000 0x100 128\nflash = 0x1100 0x100 0x100\n"
                                         "flash = 0x1200 0xEE00 512\n"
                                         "bsl = family 1xx chip 0xF16C version 1.61 reset 0x1100\n";
  std::vector<uint8_t> code(60000);
  for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>((i * 37 + 11) % 251);
  std::vector<uint8_t> vectors(32, 0xFF);
  vectors[30] = 0x00;
  vectors[31] = 0x11;
  std::ofstream(dir / "FW.TXT") << TiTxtSection(0x1080, std::vector<uint8_t>(32, 0x5A)) +
                                       TiTxtSection(0x1100, code) + TiTxtSection(0xFFE0, vectors) + "q\r\n";

  simtest::SimProcess sim(
      {"--ports", dir / "ports", "--pace", "--com", "1", "--profile", dir / "m1xx.profile"},
      {dir / "ports/COM1"});
  bench::Budget budget;
  platform::posix::PosixPortSystem posixPorts{platform::posix::ComMap::Folder(dir / "ports")};
  bench::CountingPorts ports(posixPorts, budget, ChargeInstrument);
  platform::qt::QtHost host;
  bench::CountingPump delayPump(host.Pump(), host.GetClock(), budget);
  bench::BenchWindow window(host, delayPump, ports, dir.Path());
  if (!bench::OpenBenchPort(window, serial::B__4800, "bench_bsl430_realtime")) return 1;
  programmers::ProgrammerRecord record;
  record.AskResetVector = true;
  programmers::T_BSL430 programmer(window, window.delay, record, window.port);
  const auto start = Clock::now();
  const bool ok = programmer.Program("fw.txt");
  const double wall = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  if (!ok) {
    std::fprintf(stderr, "bench_bsl430_realtime: the download failed (error step %d)\n",
                 programmer.LastError());
    return 1;
  }
  bench::PrintFigure("bsl430_realtime_60k", "<= 1.02", wall, budget);
  return 0;
}
