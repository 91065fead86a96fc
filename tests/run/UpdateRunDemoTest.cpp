// The demo package that ./run serves, against every shipped instrument
// profile: each run must end in a decision the user sees.
#include <filesystem>

#include "UpdateRunFixture.h"

namespace runtest {
namespace {

struct Outcome {
  const char* profile;
  const char* memoPart;  // a line of the log that shows the decision
  const char* boxPart;   // the first box, when one is asked
};

// What each instrument comes to with the demo package.
constexpr Outcome kOutcomes[] = {
    {"ph-meter", "Schritt 10043", nullptr},
    {"ph-meter-920", "Schritt 10043", nullptr},
    {"baro-meter", "Schritt 10043", nullptr},
    {"baro-meter-28154", "Schritt 10043", nullptr},
    {"baro-meter-28160-old", "Schritt 10043", nullptr},
    {"bottlex", "Schritt 10043", "kein Bottlex erkannt"},
    {"lab-meter", "Schritt 10043", nullptr},
    {"terminal", "Schritt 10043", nullptr},
    {"sensor-meter", "Schritt 10043", nullptr},
    {"sensor-meter-f3", "Schritt 10043", nullptr},
    {"sensor-meter-f4", "Schritt 10043", nullptr},
    {"meter-f5", "Schritt 10043", nullptr},
    {"lab-bsl-90", "(Byte 0x90)", "Taste ON"},
    {"lab-bsl-q", "(Byte 0x51)", nullptr},
};

class UpdateRunDemoTest : public UpdateRunTest, public ::testing::WithParamInterface<Outcome> {};

TEST_P(UpdateRunDemoTest, ReachesTheDecision) {
  const Outcome& outcome = GetParam();
  namespace fs = std::filesystem;
  for (const char* folder : {IU_DEMO_DIR, IU_DEMO_BUILD_DIR}) {
    fs::copy(folder, m_folder.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  Place(1, outcome.profile);
  m_view.answers = {MessageResult::Yes, MessageResult::Yes, MessageResult::Yes};
  m_form = std::make_unique<update::TUpdateForm>(m_host, m_ports, m_view,
                                                 testing_support::MakeEnvironment(m_folder.Path()));
  ASSERT_TRUE(m_form->FormCreate());
  PressOk();
  for (int i = 0; i < 120 && !m_view.Enabled(Control::OkBitBtn) && !m_view.closed; ++i) Run(500);
  EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn)) << outcome.profile;
  EXPECT_FALSE(m_view.closed);
  std::string memo;
  for (const auto& line : m_view.memo) memo += line + "|";
  EXPECT_NE(memo.find(outcome.memoPart), std::string::npos) << outcome.profile << ": " << memo;
  if (outcome.boxPart) {
    ASSERT_FALSE(m_view.boxes.empty()) << outcome.profile;
    EXPECT_NE(m_view.boxes[0].text.find(outcome.boxPart), std::string::npos) << m_view.boxes[0].text;
  } else {
    for (const auto& box : m_view.boxes) ADD_FAILURE() << outcome.profile << ": " << box.text;
  }
}

INSTANTIATE_TEST_SUITE_P(ShippedProfiles, UpdateRunDemoTest, ::testing::ValuesIn(kOutcomes),
                         [](const auto& info) {
                           std::string name = info.param.profile;
                           for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace runtest
