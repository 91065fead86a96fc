#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "platform/qt/QtHost.h"

// Until the update window lands this is the bare frame of the program: the
// framework, the real host and one window with the message loop.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  platform::qt::QtHost host;

  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Download :"));
  window.resize(547, 494);
  auto* label = new QLabel(QStringLiteral("Instrument update"), &window);
  label->setAlignment(Qt::AlignCenter);
  window.setCentralWidget(label);
  window.show();
  return app.exec();
}
