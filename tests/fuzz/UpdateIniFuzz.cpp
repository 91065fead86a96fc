// Update.ini as the window reads it: any bytes must give settings within the
// model's limits.
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
  form.ReadUpdateLines(update::IniLines::Parse(std::string_view(reinterpret_cast<const char*>(data), size)));
  const update::UpdateSettings& s = form.Settings();
  if (s.Language != 0 && s.Language != 1) std::abort();
  if (s.BaudCount < 1 || s.BaudCount > 16) std::abort();
  for (int i = 0; i < s.BaudCount; ++i) {
    if (s.BaudList[static_cast<size_t>(i)] < 0 || s.BaudList[static_cast<size_t>(i)] > 9) std::abort();
  }
  if (s.FixedPort && (s.FixedPortNumber < 0 || s.FixedPortNumber > 255)) std::abort();
  if (s.Version.size() > 255) std::abort();
  return 0;
}
