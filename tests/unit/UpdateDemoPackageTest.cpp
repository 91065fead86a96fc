// The demo packages that ./run --demo serves: each one's configuration
// reads, every entry's files are in the package and carry the version of
// the firmware list where the entry's keys look for it, and every profile
// it names is a shipped one whose instrument an entry matches. Every shipped
// profile is served by some package.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "DemoPackages.h"
#include "PackageFolder.h"
#include "RecordingView.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"
#include "update/versions/ReadFileVersion.h"

namespace {

namespace fs = std::filesystem;
using testing_support::DemoPackage;
using testing_support::UpperCase;

const std::vector<DemoPackage>& Packages() {
  static const std::vector<DemoPackage> packages = testing_support::DemoPackages(IU_DEMO_ROOT);
  return packages;
}

std::vector<std::string> PackageNames() {
  std::vector<std::string> names;
  for (const DemoPackage& p : Packages()) names.push_back(p.name);
  return names;
}

const DemoPackage& PackageNamed(const std::string& name) {
  for (const DemoPackage& p : Packages()) {
    if (p.name == name) return p;
  }
  throw std::runtime_error("no demo package " + name);
}

// The comma-separated elements of a ProgFile value; a trailing "@" (keep
// the slow rate) is no part of the name.
std::vector<std::string> Elements(const std::string& value) {
  std::vector<std::string> out;
  std::stringstream in(value);
  for (std::string element; std::getline(in, element, ',');) {
    if (!element.empty() && element.back() == '@') element.pop_back();
    if (!element.empty()) out.push_back(element);
  }
  return out;
}

class UpdateDemoPackageTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    m_package = &PackageNamed(GetParam());
    m_form = std::make_unique<update::TUpdateForm>(m_host, m_ports, m_view,
                                                   testing_support::MakeEnvironment(m_package->folder));
  }

  // The folder that holds a package file: generated or checked in.
  fs::path FolderOf(const std::string& file) const {
    for (const auto& [name, version] : m_package->versions) {
      if (UpperCase(name) == file) return fs::path(IU_DEMO_BUILD_ROOT) / m_package->name;
    }
    for (const auto& entry : fs::directory_iterator(m_package->folder)) {
      if (UpperCase(entry.path().filename().string()) == file) return m_package->folder;
    }
    return {};
  }
  std::string ListedVersion(const std::string& file) const {
    for (const auto& [name, version] : m_package->versions) {
      if (UpperCase(name) == file) return version;
    }
    return {};
  }

  platform::sim::SimHost m_host;
  platform::sim::SimPortSystem m_ports{m_host.Time()};
  testing_support::RecordingView m_view;
  std::unique_ptr<update::TUpdateForm> m_form;
  const DemoPackage* m_package = nullptr;
};

TEST_P(UpdateDemoPackageTest, ConfigurationReads) {
  ASSERT_EQ(m_form->ReadUpdateIni("Update.ini"), 0);
  ASSERT_EQ(m_form->ReadProgDeviceIni("ProgDevice.ini"), 0);
  EXPECT_FALSE(m_form->DeviceTable().empty());
  EXPECT_FALSE(m_form->Texts().StarttextD.empty());
  EXPECT_FALSE(m_form->Texts().StarttextE.empty());
  for (const char* dictionary : {"Update.Deu", "Update.Eng"}) {
    EXPECT_TRUE(fs::is_regular_file(m_package->folder / dictionary)) << dictionary;
  }
  EXPECT_FALSE(m_package->profiles.empty()) << "no profiles: ./run --demo cannot start it";
}

TEST_P(UpdateDemoPackageTest, EveryEntrysFilesAreThereWithTheirListedVersions) {
  ASSERT_EQ(m_form->ReadProgDeviceIni("ProgDevice.ini"), 0);
  for (const update::DeviceEntry& entry : m_form->DeviceTable()) {
    const std::vector<std::string> main = Elements(entry.ProgFile2);
    const std::vector<std::string> second = Elements(entry.ProgFile3);
    ASSERT_FALSE(main.empty()) << entry.DeviceName << ": no main file";
    // The files whose versions the run reads, with their keys.
    const std::pair<std::string, std::string> versioned[] = {
        {entry.ProgFile1, entry.SWKenn1}, {main[0], entry.SWKenn2}, {second.empty() ? "" : second[0], entry.SWKenn3}};
    for (const auto& [file, key] : versioned) {
      if (file.empty()) continue;
      const fs::path folder = FolderOf(file);
      ASSERT_FALSE(folder.empty()) << entry.DeviceName << ": " << file << " is not in the package";
      if (key.empty()) continue;
      const update::FileVersionResult result = update::ReadFileVersion(key, file, folder);
      EXPECT_TRUE(result.readable) << file << ": " << result.error;
      EXPECT_FALSE(ListedVersion(file).empty() || ListedVersion(file) == "-") << file << " is listed without a version";
      EXPECT_EQ(result.text, ListedVersion(file)) << entry.DeviceName << ": " << file << " under the key " << key;
    }
    // The extra files; a wildcard is expanded by the run.
    std::vector<std::string> extras(main.begin() + 1, main.end());
    if (second.size() > 1) extras.insert(extras.end(), second.begin() + 1, second.end());
    for (const std::string& file : extras) {
      if (file.find("*.*") != std::string::npos) continue;
      EXPECT_FALSE(FolderOf(file).empty()) << entry.DeviceName << ": the extra file " << file << " is missing";
    }
  }
}

TEST_P(UpdateDemoPackageTest, EveryProfileIsShippedAndFindsItsEntry) {
  ASSERT_EQ(m_form->ReadProgDeviceIni("ProgDevice.ini"), 0);
  std::set<std::string> deviceNumbers;
  for (const update::DeviceEntry& entry : m_form->DeviceTable()) deviceNumbers.insert(entry.DeviceNr);
  // In the sensor modes the run rebuilds the device number from the
  // sensor's answer, so only the other modes match the profile's text.
  const int mode = m_form->StartMode();
  const bool sensorMode = mode >= 2 && mode <= 4;
  for (const testing_support::DemoProfile& profile : m_package->profiles) {
    const fs::path file = fs::path(IU_PROFILE_DIR) / (profile.name + ".profile");
    ASSERT_TRUE(fs::is_regular_file(file)) << profile.name << " is no profile of sim/profiles";
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
      if (sensorMode || !line.starts_with("device = ")) continue;
      const std::string number = line.substr(9, line.find(',') == std::string::npos ? 9 : line.find(',') - 9);
      EXPECT_TRUE(deviceNumbers.contains(number)) << profile.name << ": no entry with DeviceNr " << number;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Packages, UpdateDemoPackageTest, ::testing::ValuesIn(PackageNames()),
                         [](const auto& info) { return info.param; });

// The package ./run starts without a name: the default instrument's command
// set (family 0) and the MSP430 bootstrap loader for TI-TXT files.
TEST(UpdateDemoPackages, TheMsp430PackageIsTheDefaultOne) {
  const DemoPackage& msp430 = PackageNamed("msp430");
  platform::sim::SimHost host;
  platform::sim::SimPortSystem ports(host.Time());
  testing_support::RecordingView view;
  update::TUpdateForm form(host, ports, view, testing_support::MakeEnvironment(msp430.folder));
  ASSERT_EQ(form.ReadProgDeviceIni("ProgDevice.ini"), 0);
  EXPECT_EQ(form.StartMode(), 0);
  EXPECT_EQ(form.LoaderKind(), 1);
  ASSERT_FALSE(msp430.profiles.empty());
  EXPECT_EQ(msp430.profiles[0].name, "msp430-2xx-meter");
  // Its entries are named after the profiles they serve.
  std::set<std::string> sections;
  std::ifstream ini(msp430.folder / "ProgDevice.ini");
  for (std::string line; std::getline(ini, line);) {
    if (line.starts_with("[")) sections.insert(line.substr(1, line.find(']') - 1));
  }
  for (const auto& profile : msp430.profiles) EXPECT_TRUE(sections.contains(profile.name)) << profile.name;
}

TEST(UpdateDemoPackages, EveryShippedProfileIsServedOnce) {
  std::map<std::string, std::vector<std::string>> servedBy;
  for (const DemoPackage& package : Packages()) {
    for (const auto& profile : package.profiles) servedBy[profile.name].push_back(package.name);
  }
  for (const auto& file : fs::directory_iterator(IU_PROFILE_DIR)) {
    if (file.path().extension() != ".profile") continue;
    const std::string profile = file.path().stem().string();
    EXPECT_EQ(servedBy[profile].size(), 1u) << profile << " is listed by " << servedBy[profile].size()
                                            << " packages' profiles";
  }
}

}  // namespace
