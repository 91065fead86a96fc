// Every demo package that ./run --demo serves, against every instrument
// profile its `profiles` names: each run must end in a result the user sees.
// The instruments with a loader are programmed; those of the MSP430 package
// without one end in the loader error and the abort text.
#include <filesystem>

#include "DemoPackages.h"
#include "UpdateRunFixture.h"
#include "sim/model/ShippedProfiles.h"

namespace runtest {
namespace {

struct Outcome {
  const char* profile;
  const char* memoPart;  // a line of the log that shows the decision, if any
  const char* boxPart;   // the first box, when one is asked
  bool closes = false;   // the search gives up and ends the program
};

constexpr const char* kAbort = "Halten Sie die Taste ON";
constexpr const char* kLoaderError = "Programmierung wurde abgebrochen.";
constexpr const char* kSuccess = "Download erfolgreich";

// What the instruments without a loader of their own come to with their
// package; any other profile must reach the success text without a box.
constexpr Outcome kOutcomes[] = {
    {"ph-meter", kAbort, kLoaderError},
    {"ph-meter-920", kAbort, kLoaderError},
    {"baro-meter", kAbort, kLoaderError},
    {"baro-meter-28154", kAbort, kLoaderError},
    {"baro-meter-28160-old", kAbort, kLoaderError},
    {"bottlex", kAbort, "kein Bottlex erkannt"},
    {"lab-meter", kAbort, kLoaderError},
    {"terminal", kAbort, kLoaderError},
    {"sensor-meter", kAbort, kLoaderError},
    {"sensor-meter-f3", kAbort, kLoaderError},
    {"sensor-meter-f4", kAbort, kLoaderError},
    {"meter-f5", kAbort, kLoaderError},
    {"lab-bsl-90", "(Byte 0x90)", "Taste ON"},
    {"lab-bsl-q", "(Byte 0x51)", nullptr},
    // Its wake-up frame belongs to packages whose first entry names a .MOT
    // file; this package's first is a TI-TXT file: the search gives up.
    {"meter-720q-bootloader", nullptr, kAbort, true},
};
constexpr Outcome kProgrammed = {"", kSuccess, nullptr};

struct DemoRun {
  std::string package;
  std::string profile;
};

std::vector<DemoRun> DemoRuns() {
  std::vector<DemoRun> runs;
  for (const auto& package : testing_support::DemoPackages(IU_DEMO_ROOT)) {
    for (const auto& profile : package.profiles) runs.push_back({package.name, profile.name});
  }
  return runs;
}

const Outcome& OutcomeOf(const std::string& profile) {
  for (const Outcome& outcome : kOutcomes) {
    if (profile == outcome.profile) return outcome;
  }
  return kProgrammed;
}

void PrintTo(const DemoRun& run, std::ostream* out) { *out << run.package << "/" << run.profile; }

class UpdateRunDemoTest : public UpdateRunTest, public ::testing::WithParamInterface<DemoRun> {};

TEST_P(UpdateRunDemoTest, ReachesTheDecision) {
  const DemoRun& run = GetParam();
  const Outcome& outcome = OutcomeOf(run.profile);
  const sim::InstrumentProfile profile = sim::LoadShippedProfile(run.profile);
  if (!profile.loader.empty() && !sim::ModelRegistry::WithBuiltins().Has(profile.loader)) {
    GTEST_SKIP() << run.profile << ": the loader model " << profile.loader << " is not registered yet";
  }
  namespace fs = std::filesystem;
  for (const fs::path& folder : {fs::path(IU_DEMO_ROOT) / run.package, fs::path(IU_DEMO_BUILD_ROOT) / run.package}) {
    if (!fs::exists(folder)) continue;
    fs::copy(folder, m_folder.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  Place(1, run.profile);
  m_view.answers = {MessageResult::Yes, MessageResult::Yes, MessageResult::Yes};
  m_form = std::make_unique<update::TUpdateForm>(m_host, m_ports, m_view,
                                                 testing_support::MakeEnvironment(m_folder.Path()));
  ASSERT_TRUE(m_form->FormCreate());
  PressOk();
  const bool success = outcome.memoPart == kSuccess;
  // Ten virtual minutes at most: the slowest loaders take some.
  for (int i = 0; i < 1200 && !m_view.Enabled(Control::OkBitBtn) && !m_view.closed; ++i) {
    Run(500);
    if (success && !MemoContaining(kSuccess).empty()) break;
  }
  EXPECT_EQ(m_view.closed, outcome.closes) << run.profile;
  if (outcome.closes) {
    ASSERT_FALSE(m_view.boxes.empty());
    EXPECT_NE(m_view.boxes.back().text.find("Programm wird abgebrochen"), std::string::npos)
        << m_view.boxes.back().text;
  } else {
    // After a success OK stays off: the text asks to close the program.
    EXPECT_EQ(m_view.Enabled(Control::OkBitBtn), !success) << run.profile;
  }
  std::string memo;
  for (const auto& line : m_view.memo) memo += line + "|";
  if (outcome.memoPart) {
    EXPECT_NE(memo.find(outcome.memoPart), std::string::npos) << run.profile << ": " << memo;
  }
  if (outcome.boxPart) {
    ASSERT_FALSE(m_view.boxes.empty()) << run.profile;
    EXPECT_NE(m_view.boxes[0].text.find(outcome.boxPart), std::string::npos) << m_view.boxes[0].text;
  } else {
    for (const auto& box : m_view.boxes) ADD_FAILURE() << run.profile << ": " << box.text;
  }
}

INSTANTIATE_TEST_SUITE_P(DemoPackages, UpdateRunDemoTest, ::testing::ValuesIn(DemoRuns()),
                         [](const auto& info) {
                           std::string name = info.param.package + "_" + info.param.profile;
                           for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace runtest
