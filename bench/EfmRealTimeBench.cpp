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

#include "RealTimeBench.h"
#include "SimProcess.h"
#include "platform/posix/PosixPortSystem.h"
#include "platform/qt/QtHost.h"
#include "programmers/TEFMV24_Prog.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"
#include "update/protocol/LineParser.h"

namespace {

using Clock = std::chrono::steady_clock;

// The instrument's time for what the tool sends (the profile below): its
// 2 ms reply delay for every line, the restart, the programming.
constexpr double kReplyMicros = 2000;
constexpr double kRestartMicros = 300000;
constexpr double kProgramMicros = 1000000;
void ChargeInstrument(bench::Budget& b, const uint8_t* bytes, uint32_t count) {
  const std::string text(reinterpret_cast<const char*>(bytes), std::min<uint32_t>(count, 8));
  if (text.rfind("A.", 0) != 0) return;
  if (text.rfind("A.9000", 0) == 0)
    b.instrumentMicros += kRestartMicros;
  else if (text.rfind("A.1263", 0) == 0)
    b.instrumentMicros += kProgramMicros + kReplyMicros;
  else
    b.instrumentMicros += kReplyMicros;
}

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
  bench::Budget budget;
  platform::posix::PosixPortSystem posixPorts{platform::posix::ComMap::Folder(dir / "ports")};
  bench::CountingPorts ports(posixPorts, budget, ChargeInstrument);
  platform::qt::QtHost host;
  bench::CountingPump delayPump(host.Pump(), host.GetClock(), budget);
  bench::BenchWindow window(host, delayPump, ports, dir.Path());
  if (!bench::OpenBenchPort(window, serial::B__9600, "bench_efm_realtime")) return 1;
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
  bench::PrintFigure("efm_realtime_200k", "<= 1.05", wall, budget);
  return 0;
}
