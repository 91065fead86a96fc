// Start-up to the window shown, with 256 COM numbers in a ports folder (each
// a pseudo-terminal), on the real host: the configuration files of the demo
// package, the enumeration of the ports, one TComPort per port, the package
// scan and the translation.
//
// Figure: wall seconds from creating the window to its first paint, best of
// three runs (goal <= 0.3 s).
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/PosixPortSystem.h"
#include "platform/qt/QtHost.h"
#include "update/TUpdateForm.h"
#include "update/qt/UpdateWindow.h"

namespace {

double WallSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Notices the first paint of the window.
class PaintWatch : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  char pattern[] = "/tmp/iu-startup-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::filesystem::path root = pattern;
  const std::filesystem::path ports = root / "ports";
  const std::filesystem::path package = root / "package";
  std::filesystem::create_directories(ports);
  std::filesystem::copy(IU_DEMO_DIR, package, std::filesystem::copy_options::recursive);
  std::filesystem::copy(
      IU_DEMO_BUILD_DIR, package,
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);

  std::vector<int> masters;
  for (int com = 1; com <= 256; ++com) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
      std::fprintf(stderr, "startup bench: no pseudo-terminal for COM%d\n", com);
      return 1;
    }
    masters.push_back(master);
    std::filesystem::create_symlink(ptsname(master), ports / ("COM" + std::to_string(com)));
  }
  setenv("INSTRUMENT_UPDATE_PORTS", ports.c_str(), 1);
  std::filesystem::current_path(package);

  double best = 1e9;
  int opened = 0;
  for (int run = 0; run < 3; ++run) {
    const double start = WallSeconds();
    platform::qt::QtHost host;
    platform::posix::PosixPortSystem portSystem;
    update::qt::UpdateWindow window;
    update::TUpdateForm form(host, portSystem, window, update::UpdateEnvironment::FromProcess());
    window.Attach(&form);
    if (!form.FormCreate()) return 1;
    PaintWatch watch;
    window.installEventFilter(&watch);
    window.show();
    while (!watch.painted) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    best = std::min(best, WallSeconds() - start);
    opened = 0;
    for (int i = 0; i < form.PortTableSize(); ++i) opened += form.Port(i)->IsOpen() ? 1 : 0;
    form.FormClose();
    window.Attach(nullptr);
  }
  std::printf("startup_256_ports: %.3f s (goal <= 0.3) [%d ports opened, best of 3]\n", best, opened);

  for (int fd : masters) close(fd);
  std::filesystem::remove_all(root);
  return 0;
}
