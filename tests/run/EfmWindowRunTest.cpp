// Whole EFM downloads from OK to the success text: the window finds the
// instrument, reads the BIN file's version, hands the file to the EFM
// programmer, and finishes with the instrument's new program.
#include <string>
#include <vector>

#include "UpdateRunFixture.h"
#include "sim/efm/EfmLoaderModel.h"

namespace runtest {
namespace {

// A binary image whose version follows "FWVER=" and a blank, behind code
// that holds zero bytes (so the version is read as a plain text).
std::string BinImage(const std::string& version, size_t size) {
  std::string image(size, '\0');
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<char>((i * 13 + 5) & 0xFF);
  const std::string tag = "FWVER= " + version + std::string(1, '\0');
  image.replace(size / 2, tag.size(), tag);
  return image;
}

class EfmWindowRunTest : public DownloadRunTest {
 public:
  struct Case {
    const char* profile;
    const char* devStartCmd;  // the StartMode + 1
    const char* deviceNr;
  };

 protected:

  sim::Instrument& StartRun(const Case& c, const std::string& image) {
    m_folder.Write("EFM_FW.BIN", image);
    EntrySpec entry = MakeEntry(c.devStartCmd, "22125", c.deviceNr, "EFM Meter", "EFM_FW.BIN");
    entry.swKenn2 = "FWVER=";
    onLoader = [this](sim::InstrumentModel& m) {
      if (auto* efm = dynamic_cast<sim::EfmLoaderModel*>(&m)) {
        loader = efm;
        if (plant) plant(*efm);
      }
    };
    sim::Instrument& meter = m_faultRack.Place(1, sim::LoadShippedProfile(c.profile));
    Start("Language=1\r\nBaud=3\r\n", {entry});
    PressOk();
    RunToEnd();
    return meter;
  }

  void ExpectStored(const std::string& image) {
    ASSERT_NE(loader, nullptr);
    std::vector<uint8_t> expected(image.begin(), image.end());
    expected.resize(image.size() + 128 - (image.size() + 6) % 128, 0xFF);
    EXPECT_EQ(loader->Image(), expected);
    EXPECT_TRUE(loader->Programmed());
  }

  void ExpectSuccess(sim::Instrument& meter, const std::string& image) {
    EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
    EXPECT_TRUE(m_view.boxes.empty()) << (m_view.boxes.empty() ? "" : m_view.boxes[0].text);
    ExpectStored(image);
    // The new program took the window's closing command.
    const auto sessions = ProgramSessions(meter);
    ASSERT_GE(sessions.size(), 2u);
    EXPECT_FALSE(sessions.back().empty());
    EXPECT_FALSE(m_view.Visible(Control::WaitPanel));
  }

  sim::EfmLoaderModel* loader = nullptr;
  std::function<void(sim::EfmLoaderModel&)> plant;
};

const EfmWindowRunTest::Case kSensorMeter{"efm-sensor-meter", "5", "30530.002"};
const EfmWindowRunTest::Case kMeter{"efm-meter", "6", "23066"};

TEST_F(EfmWindowRunTest, TheSensorMeterInStartMode4ReachesTheSuccessText) {
  const std::string image = BinImage("1.21", 5000);
  sim::Instrument& meter = StartRun(kSensorMeter, image);
  ExpectSuccess(meter, image);
}

TEST_F(EfmWindowRunTest, TheMeterInStartMode5ReachesTheSuccessText) {
  const std::string image = BinImage("1.21", 20000);
  sim::Instrument& meter = StartRun(kMeter, image);
  ExpectSuccess(meter, image);
}

TEST_F(EfmWindowRunTest, TheSensorMeterInAStartMode5PackageIsFoundByItsMeterNumber) {
  const std::string image = BinImage("1.21", 4000);
  sim::Instrument& meter = StartRun({"efm-sensor-meter", "6", "23065"}, image);
  ExpectSuccess(meter, image);
}

TEST_F(EfmWindowRunTest, AFailedDownloadIsRetriedOnOk) {
  const std::string image = BinImage("1.21", 3000);
  // The application misses the first rate command: the run ends by the
  // guard, the instrument still in its application.
  plant = [](sim::EfmLoaderModel& m) { m.IgnoreOnce(1301); };
  sim::Instrument& meter = StartRun(kMeter, image);
  ExpectFailureShown("bootloader in target not available!!  Programming abort.");
  plant = nullptr;
  m_view.boxes.clear();
  PressOk();
  RunToEnd();
  ExpectSuccess(meter, image);
}

}  // namespace
}  // namespace runtest
