#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "ToolWindow.h"

namespace {

void ShowExceptionBox(const char* message) {
  QMessageBox::critical(nullptr, QStringLiteral("Error"), QString::fromLocal8Bit(message));
}

// An exception that escapes a handler is shown and the message loop goes on,
// as with the framework the program was designed for; Qt itself would end
// the program.
class UpdateApplication final : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      ShowExceptionBox(e.what());
    } catch (...) {
      ShowExceptionBox("");
    }
    return false;
  }
};

}  // namespace

// The program takes no arguments: it runs in its package folder (the working
// directory). Exit code 0 after the window was closed, 1 when it could not
// start (a configuration file is missing, or the window could not be built).
int main(int argc, char** argv) {
  UpdateApplication app(argc, argv);
  try {
    app::ToolWindow tool;
    if (!tool.Start()) return 1;
    return app.exec();
  } catch (const std::exception& e) {
    ShowExceptionBox(e.what());
  } catch (...) {
    ShowExceptionBox("");
  }
  return 1;
}
