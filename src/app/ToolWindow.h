// The program's window as main() starts it: the real host, the serial ports
// (INSTRUMENT_UPDATE_PORTS or the machine's devices, see the README), the Qt
// window and the update form behind it, in the working directory's package.
// Shared by the program and the picture tools, so they show what it shows.
#pragma once

#include "platform/posix/PosixPortSystem.h"
#include "platform/qt/QtHost.h"
#include "update/TUpdateForm.h"
#include "update/UpdateEnvironment.h"
#include "update/qt/UpdateWindow.h"

namespace app {

class ToolWindow {
 public:
  ToolWindow() : form(host, ports, window, update::UpdateEnvironment::FromProcess()) { window.Attach(&form); }
  ~ToolWindow() { window.Attach(nullptr); }
  ToolWindow(const ToolWindow&) = delete;
  ToolWindow& operator=(const ToolWindow&) = delete;

  // Reads the package and shows the window; false when the program cannot
  // start (a configuration file missing, its message already shown).
  bool Start() {
    if (!form.FormCreate()) return false;
    window.show();
    return true;
  }

  platform::qt::QtHost host;
  platform::posix::PosixPortSystem ports;
  update::qt::UpdateWindow window;
  update::TUpdateForm form;
};

}  // namespace app
