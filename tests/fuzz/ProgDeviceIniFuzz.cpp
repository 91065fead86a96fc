// ProgDevice.ini as the window reads it: any bytes must give a device table
// and texts within their capacities.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "RecordingView.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/IniLines.h"
#include "update/TUpdateForm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::sim::SimHost host;
  testing_support::RecordingView view;
  update::UpdateEnvironment environment;
  environment.workingDirectory = std::filesystem::path("/nonexistent");
  environment.getEnv = [](const std::string&) { return std::nullopt; };
  platform::sim::SimPortSystem ports(host.Time());
  update::TUpdateForm form(host, ports, view, environment);
  form.ReadProgDeviceLines(
      update::IniLines::Parse(std::string_view(reinterpret_cast<const char*>(data), size)));
  using E = update::DeviceEntry;
  if (form.DeviceTable().size() > update::TUpdateForm::kMaxDeviceEntries) std::abort();
  for (const E& e : form.DeviceTable()) {
    if (e.DeviceNrDef.size() > E::kDeviceNrDefCapacity || e.DeviceNr.size() > E::kDeviceNrCapacity ||
        e.DeviceName.size() > E::kDeviceNameCapacity || e.ProgFile1.size() > E::kProgFile1Capacity ||
        e.ProgFile2.size() > E::kProgFile2Capacity || e.ProgFile3.size() > E::kProgFile3Capacity ||
        e.SWKenn1.size() > E::kSWKennCapacity || e.SWKenn2.size() > E::kSWKennCapacity ||
        e.SWKenn3.size() > E::kSWKennCapacity || e.BootLoadKenn.size() > E::kBootLoadKennCapacity ||
        e.FlashErase1.size() > E::kFlashEraseCapacity || e.ProgDefFile.size() > E::kProgDefFileCapacity) {
      std::abort();
    }
  }
  if (form.StartMode() < 0 || form.StartMode() > 5 || form.StartMode() != form.ConfiguredStartMode())
    std::abort();
  if (form.LoaderKind() < 0 || form.LoaderKind() > 3) std::abort();
  const auto& t = form.Texts();
  for (const std::string* text : {&t.StarttextD, &t.StarttextE, &t.AbbruchtextD, &t.AbbruchtextE}) {
    if (text->size() > update::PackageTexts::kCapacity) std::abort();
  }
  form.FillPlaceholders(t.StarttextD);
  return 0;
}
