#pragma once

#include <memory>
#include <string>

#include "PackageFolder.h"
#include "RecordingView.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"

namespace testing_support {

// A main window in virtual time for tests: a package folder, the simulated
// host and port system, the recording view, and the form.
//   UpdateFormRig rig;
//   rig.ports.AddLine(1);                       // COM1, a peer may attach
//   rig.Package("Language=1\r\n", progDevice);  // the two configuration files
//   rig.Start();                                // the construction steps
//   rig.view.answers.push_back(update::MessageResult::Yes);  // next Yes/No box
//   rig.form->OkBitBtnClick(); rig.host.Time().RunFor(6000);
struct UpdateFormRig {
  TempFolder folder;
  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports{host.Time()};
  RecordingView view;
  std::unique_ptr<update::TUpdateForm> form;

  // Writes Update.ini and ProgDevice.ini (an empty text block when none).
  void Package(
      const std::string& updateIni,
      const std::string& progDevice = "StarttextD=\r\nStarttextE=\r\nAbbruchtextD=\r\nAbbruchtextE=\r\n") {
    folder.Write("Update.ini", updateIni);
    folder.Write("ProgDevice.ini", progDevice);
  }
  // Creates the form and runs its construction steps; false as FormCreate.
  bool Start() {
    form = std::make_unique<update::TUpdateForm>(host, ports, view, MakeEnvironment(folder.Path()));
    return form->FormCreate();
  }
};

}  // namespace testing_support
