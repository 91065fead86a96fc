// Starts the window as the program does (in the current folder, on the
// ports of INSTRUMENT_UPDATE_PORTS or the machine) and saves a picture of it.
//   window-screenshot OUT.png
// For the README's pictures; see docs/make-screenshots.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "ToolWindow.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-screenshot OUT.png\n");
    return 2;
  }
  QApplication app(argc, argv);
  app::ToolWindow tool;
  if (!tool.Start()) return 1;
  int result = 1;
  QTimer::singleShot(800, &tool.window, [&] {
    result = tool.window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
    tool.window.close();
  });
  app.exec();
  return result;
}
