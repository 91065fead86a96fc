// Starts the window as the program does (in the current folder, on the
// ports of INSTRUMENT_UPDATE_PORTS or the machine) and saves a picture of it.
//   window-screenshot OUT.png
// For the README's pictures; see docs/make-screenshots.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "platform/posix/PosixPortSystem.h"
#include "platform/qt/QtHost.h"
#include "update/TUpdateForm.h"
#include "update/UpdateEnvironment.h"
#include "update/qt/UpdateWindow.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-screenshot OUT.png\n");
    return 2;
  }
  QApplication app(argc, argv);
  platform::qt::QtHost host;
  platform::posix::PosixPortSystem ports;
  update::qt::UpdateWindow window;
  update::TUpdateForm form(host, ports, window, update::UpdateEnvironment::FromProcess());
  window.Attach(&form);
  if (!form.FormCreate()) return 1;
  window.show();
  int result = 1;
  QTimer::singleShot(800, &window, [&] {
    result = window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
    window.close();
  });
  app.exec();
  window.Attach(nullptr);
  return result;
}
