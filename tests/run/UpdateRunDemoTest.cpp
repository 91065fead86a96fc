// The demo package that ./run serves, against every shipped instrument
// profile: each run must end in a result the user sees. The MSP430
// instruments are programmed; the others have no bootstrap loader, so their
// download ends in the loader error and the abort text.
#include <filesystem>

#include "UpdateRunFixture.h"

namespace runtest {
namespace {

struct Outcome {
  const char* profile;
  const char* memoPart;  // a line of the log that shows the decision
  const char* boxPart;   // the first box, when one is asked
};

constexpr const char* kAbort = "Halten Sie die Taste ON";
constexpr const char* kLoaderError = "Programmierung wurde abgebrochen.";
constexpr const char* kSuccess = "Download erfolgreich";

// What each instrument comes to with the demo package.
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
    {"msp430-2xx-meter", kSuccess, nullptr},
    {"msp430-2xx-large-meter", kSuccess, nullptr},
    {"msp430-5xx-meter", kSuccess, nullptr},
    {"msp430-1xx-meter", kSuccess, nullptr},
    {"msp430-2xx-dual-meter", kSuccess, nullptr},
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
  const bool success = outcome.memoPart == kSuccess;
  for (int i = 0; i < 240 && !m_view.Enabled(Control::OkBitBtn) && !m_view.closed; ++i) {
    Run(500);
    if (success && !MemoContaining(kSuccess).empty()) break;
  }
  // After a success OK stays off: the text asks to close the program.
  EXPECT_EQ(m_view.Enabled(Control::OkBitBtn), !success) << outcome.profile;
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
