// Whole runs from OK with a BIN package through the XMODEM loader: to the
// success text, and the retry on OK after a failed transfer.
#include <algorithm>

#include "UpdateRunFixture.h"
#include "sim/model/ProfileReader.h"
#include "sim/xmodem/XmodemLoaderModel.h"

namespace runtest {
namespace {

const char* const kMeter =
    "name = xm-meter\nfamily = 1\nline = 4800 8N1\npcb = 22300.001\ndevice = 23300.000\nversion = 1.00\n"
    "serial = 11112222\nloader = xmodem-loader after 1250 1255 1256\nxmodem = version 1.06\n";

// A binary image whose version 1.01 follows the key "SWVER=" (a zero
// before the key, one byte between it and the zero-terminated text).
std::string BinFirmware(size_t size, const std::string& version = "1.01") {
  std::string file(size, '\0');
  for (size_t i = 0; i < size; ++i) file[i] = static_cast<char>(i * 7 + 3);
  const std::string key = std::string("\0SWVER= ", 8) + version + '\0';
  std::copy(key.begin(), key.end(), file.begin() + 64);
  return file;
}

class XmodemWindowRunTest : public DownloadRunTest {
 protected:
  sim::Instrument& StartMeter(const std::string& file) {
    m_folder.Write("XMETER.BIN", file);
    auto parsed = sim::ProfileReader::Parse(kMeter, "test");
    EXPECT_TRUE(parsed.Ok());
    sim::Instrument& meter = m_faultRack.Place(1, parsed.profile);
    Start("Language=1\r\n", {MakeEntry("1", "22300", "23300", "XM Meter", "XMETER.BIN")});
    return meter;
  }
  // The loaders that took the line, oldest first.
  static std::vector<const sim::XmodemLoaderModel*> Loaders(const sim::Instrument& meter) {
    std::vector<const sim::XmodemLoaderModel*> out;
    for (const auto& m : meter.History())
      if (auto* l = dynamic_cast<const sim::XmodemLoaderModel*>(m.get())) out.push_back(l);
    return out;
  }
  void ExpectStored(const sim::XmodemLoaderModel& loader, const std::string& file) {
    const auto& image = loader.Image();
    ASSERT_GE(image.size(), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), image.begin(),
                           [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
    EXPECT_TRUE(loader.ImageValid());
    EXPECT_TRUE(loader.Started());
  }
};

TEST_F(XmodemWindowRunTest, OkToTheSuccessText) {
  const std::string file = BinFirmware(5000);
  sim::Instrument& meter = StartMeter(file);
  // While the loader runs, the version field names its version too.
  bool blvShown = false;
  std::function<void()> watch = [&] {
    blvShown = blvShown || Caption(update::Control::SWStaticText).find("   [BLV: 1.06]") != std::string::npos;
    if (!blvShown) m_host.Time().ScheduleAfter(100'000, watch);
  };
  watch();
  PressOk();
  RunToEnd();
  EXPECT_TRUE(blvShown);
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(MemoContaining(kAbortEnglish).empty());
  EXPECT_TRUE(m_view.boxes.empty());
  const auto loaders = Loaders(meter);
  ASSERT_EQ(loaders.size(), 1u);
  ExpectStored(*loaders[0], file);
  EXPECT_EQ(loaders[0]->Image().size(), 5120u);  // 5000 + 114 fill + 6
  // The new firmware took the run's closing command at the instrument's rate.
  const auto sessions = ProgramSessions(meter);
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_FALSE(sessions.back().empty());
}

TEST_F(XmodemWindowRunTest, ARetryOnOkAfterAFailedTransferSucceeds) {
  const std::string file = BinFirmware(3000);
  int loaders = 0;
  onLoader = [&loaders](sim::InstrumentModel& m) {
    // The first loader stops answering in the middle of the image.
    if (auto* l = dynamic_cast<sim::XmodemLoaderModel*>(&m); l && loaders++ == 0) l->SilentAfterPackets(4);
  };
  sim::Instrument& meter = StartMeter(file);
  PressOk();
  RunToEnd();
  ExpectFailureShown("bootloader in target not available!!  Programming abort.");
  // The loader gives up after 20 s and the old program runs again; OK once more.
  Run(25000);
  m_view.boxes.clear();
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(m_view.boxes.empty());
  const auto all = Loaders(meter);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_FALSE(all[0]->Started());
  ExpectStored(*all[1], file);
}

// The shipped XMODEM profiles, each with its package entry (the sensor
// module in a package of StartMode 3, so it is programmed in loader mode 1).
struct Shipped {
  const char* profile;
  const char* startCmd;
  const char* deviceNr;
  const char* request;  // the request of the loader mode
  const char* fileVersion = "1.01";
};

void PrintTo(const Shipped& p, std::ostream* os) {
  *os << p.profile << " DevStartCmd=" << p.startCmd;
}

class XmodemShippedRunTest : public XmodemWindowRunTest, public testing::WithParamInterface<Shipped> {};

TEST_P(XmodemShippedRunTest, ReachesTheSuccessText) {
  const Shipped& p = GetParam();
  const std::string file = BinFirmware(20000, p.fileVersion);
  m_folder.Write("FIRMWARE.BIN", file);
  sim::Instrument& instrument = Place(1, p.profile);
  Start("Language=1\r\nBaud=3\r\n", {MakeEntry(p.startCmd, p.deviceNr, p.deviceNr, "XM", "FIRMWARE.BIN")});
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(m_view.boxes.empty()) << (m_view.boxes.empty() ? "" : m_view.boxes[0].text);
  const auto loaders = Loaders(instrument);
  ASSERT_EQ(loaders.size(), 1u);
  ExpectStored(*loaders[0], file);
  const auto sessions = ProgramSessions(instrument);
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(sessions[0].back(), p.request);
}

INSTANTIATE_TEST_SUITE_P(Profiles, XmodemShippedRunTest,
                         testing::Values(Shipped{"xmodem-meter", "1", "23310", "A.1250#7"},
                                         Shipped{"xmodem-meter-old", "1", "23311", "A.1250#7"},
                                         Shipped{"xmodem-sensor", "4", "30530.002", "A.1255#7"},
                                         // As in the demo package: through the meter, in loader mode 0.
                                         Shipped{"xmodem-sensor", "1", "23312", "A.1250#7", "1.11"}),
                         [](const auto& info) {
                           std::string name = info.param.profile + std::string(info.param.startCmd);
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace runtest
