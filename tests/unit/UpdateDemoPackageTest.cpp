// The demo package that ./run serves: an entry for every shipped instrument
// profile, a firmware file for every entry, and the search command set of
// the default instrument.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "PackageFolder.h"
#include "RecordingView.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"
#include "update/versions/ReadFileVersion.h"

namespace {

TEST(UpdateDemoPackageTest, EveryProfileHasAnEntryAndEveryEntryItsFile) {
  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports(host.Time());
  testing_support::RecordingView view;
  update::TUpdateForm form(host, ports, view, testing_support::MakeEnvironment(IU_DEMO_DIR));
  ASSERT_EQ(form.ReadUpdateIni("Update.ini"), 0);
  ASSERT_EQ(form.ReadProgDeviceIni("ProgDevice.ini"), 0);
  EXPECT_EQ(form.StartMode(), 0) << "the default instrument (family 0) must be found";
  EXPECT_EQ(form.LoaderKind(), 1);
  EXPECT_FALSE(form.Texts().StarttextD.empty());
  EXPECT_FALSE(form.Texts().StarttextE.empty());

  std::set<std::string> deviceNumbers;
  for (const update::DeviceEntry& entry : form.DeviceTable()) deviceNumbers.insert(entry.DeviceNr);
  std::set<std::string> sections;
  std::ifstream ini(std::filesystem::path(IU_DEMO_DIR) / "ProgDevice.ini");
  for (std::string line; std::getline(ini, line);) {
    if (line.starts_with("[")) sections.insert(line.substr(1, line.find(']') - 1));
  }
  for (const auto& file : std::filesystem::directory_iterator(IU_PROFILE_DIR)) {
    const std::string profile = file.path().stem().string();
    EXPECT_TRUE(sections.contains(profile)) << "no entry for the profile " << profile;
    std::ifstream in(file.path());
    for (std::string line; std::getline(in, line);) {
      if (!line.starts_with("device = ")) continue;
      const std::string number = line.substr(9, line.find(',') == std::string::npos ? 9 : line.find(',') - 9);
      EXPECT_TRUE(deviceNumbers.contains(number)) << profile << ": no entry with DeviceNr " << number;
    }
  }

  std::set<std::string> generated;
  std::ifstream list(IU_FIRMWARE_LIST);
  for (std::string line; std::getline(list, line);) {
    if (!line.empty() && line[0] != '#') generated.insert(line.substr(0, line.find(' ')));
  }
  for (const update::DeviceEntry& entry : form.DeviceTable()) {
    EXPECT_TRUE(generated.contains(entry.ProgFile2)) << entry.DeviceName << ": " << entry.ProgFile2;
    if (!entry.ProgFile3.empty()) {
      EXPECT_TRUE(generated.contains(entry.ProgFile3)) << entry.ProgFile3;
    }
  }
}

// Every entry's files carry the version of the firmware list where the
// entry's version keys look for it.
TEST(UpdateDemoPackageTest, GeneratedFirmwareCarriesItsVersionUnderTheEntrysKey) {
  std::map<std::string, std::string> versions;
  std::ifstream list(IU_FIRMWARE_LIST);
  for (std::string line; std::getline(list, line);) {
    if (line.empty() || line[0] == '#') continue;
    versions[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
  }
  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports(host.Time());
  testing_support::RecordingView view;
  update::TUpdateForm form(host, ports, view, testing_support::MakeEnvironment(IU_DEMO_DIR));
  ASSERT_EQ(form.ReadProgDeviceIni("ProgDevice.ini"), 0);
  auto check = [&](const std::string& key, const std::string& file) {
    const auto path = std::filesystem::path(IU_DEMO_BUILD_DIR) / file;
    const update::FileVersionResult result = update::ReadFileVersion(key, path.string());
    EXPECT_TRUE(result.readable) << file << ": " << result.error;
    EXPECT_EQ(result.text, versions[file]) << file;
  };
  for (const update::DeviceEntry& entry : form.DeviceTable()) {
    check(entry.SWKenn2, entry.ProgFile2);
    if (!entry.ProgFile3.empty()) check(entry.SWKenn3, entry.ProgFile3);
  }
}

}  // namespace
