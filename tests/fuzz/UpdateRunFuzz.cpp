// What an instrument (or line noise) sends during a run, in chunks of any
// size and timing: the window's receive path, the state machine and the
// download decision must keep every text within the record's room and never
// read or write outside a buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "RecordingView.h"
#include "SilentPeer.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"

namespace {

// Answers every question with the button the input chooses.
class FuzzView final : public testing_support::RecordingView {
 public:
  bool yes = true;
  update::MessageResult MessageBox(const std::string& text, const std::string& caption,
                                   update::MessageIcon icon, update::MessageButtons buttons) override {
    boxes.push_back(Box{text, caption, icon, buttons});
    if (buttons == update::MessageButtons::Ok) return update::MessageResult::Ok;
    return yes ? update::MessageResult::Yes : update::MessageResult::No;
  }
};

using Instrument = fuzzsupport::SilentPeer;

const std::filesystem::path& Package(int startMode) {
  static std::filesystem::path folders[2];
  std::filesystem::path& folder = folders[startMode == 0 ? 0 : 1];
  if (!folder.empty()) return folder;
  folder = std::filesystem::temp_directory_path() / ("iu-fuzz-run-" + std::to_string(startMode));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Update.ini", std::ios::binary) << "Language=0\r\nBaud=2\r\n";
  const std::string start = startMode == 0 ? "1" : "3";
  std::string ini;
  for (const char* nr : {"23010", "XXXXX"}) {
    ini += "DevStartCmd=" + start + "\r\nDeviceNrDef=" + std::string(nr) + "\r\nDeviceNr=" + nr +
           "\r\nDeviceName=Fuzz "
           "NAME\r\nProgFile1=\r\nProgFile2=MAIN.TXT,X\\*.*,MORE.EXE\r\nProgFile3=SEC.TXT@\r\n"
           "SWKenn1=\r\nSWKenn2=SWVER=\r\nSWKenn3=SWVER=\r\nBootLoadKenn=BL\r\nFlashErase1=\r\n"
           "FlashErase2=0xFFFFFFFFFF\r\nFlashErase3=-99999999999\r\nProgDefFile=\r\nProzTyp=5438\r\n\r\n";
  }
  std::ofstream(folder / "ProgDevice.ini", std::ios::binary)
      << ini << "StarttextD=\r\nStarttextE=\r\nAbbruchtextD=a\\rb\\rc\r\nAbbruchtextE=\r\n";
  std::ofstream(folder / "MAIN.TXT", std::ios::binary) << "SWVER= 31 2E 32 00\r\n";
  return folder;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports(host.Time());
  FuzzView view;
  view.yes = (data[0] & 1) != 0;
  const int startMode = (data[0] & 2) ? 2 : 0;
  update::UpdateEnvironment environment;
  environment.workingDirectory = Package(startMode);
  environment.getEnv = [](const std::string&) { return std::nullopt; };
  ports.AddLine(1);
  ports.AddLine(2);
  Instrument instrument(*ports.Line(1));
  update::TUpdateForm form(host, ports, view, environment);
  if (!form.FormCreate()) std::abort();
  form.SetServiceFlags({.DebugMode = (data[0] & 4) != 0});
  form.OkBitBtnClick();

  size_t at = 1;
  while (at + 2 <= size && !view.closed) {
    const size_t length = data[at] % 64;
    const uint32_t pauseMs = 10u * data[at + 1];
    const size_t begin = at + 2;
    const size_t end = std::min(size, begin + length);
    ports.Line(1)->Send(data + begin, end - begin);
    host.Time().RunFor(pauseMs);
    at = end;
    if (view.Enabled(update::Control::OkBitBtn) && (data[at - 1] & 0x80)) form.OkBitBtnClick();
  }
  if (!view.closed) host.Time().RunFor(20000);

  const update::DeviceRecord& r = form.Record();
  Check(r.DeviceText.size() <= update::DeviceRecord::kDeviceTextCapacity);
  Check(r.IdentNumber.size() <= update::DeviceRecord::kIdentNumberCapacity);
  Check(r.SoftwareVersion.size() <= update::DeviceRecord::kVersionTextCapacity);
  Check(r.SerialNumber.size() <= update::DeviceRecord::kSerialNumberCapacity);
  Check(r.DisplayName.size() <= update::DeviceRecord::kDisplayNameCapacity);
  Check(r.BootloaderId.size() <= update::DeviceRecord::kBootKennCapacity);
  Check(r.ExtraFiles.size() <= update::DeviceRecord::kMaxExtraFiles);
  Check(r.ExtraFileCount == static_cast<int32_t>(r.ExtraFiles.size()));
  Check(form.Parser().AccumulatedCount() <= update::LineParser::kAccumulatorCapacity);
  return 0;
}
