// Whole downloads from OK to the success text: the TI-TXT hand-over to the
// MSP430 bootstrap loaders (upper flash, the 1.10 patch, the slow rate, a
// second processor, the 5xx loader), the finish (air pressure and closing
// commands) and the clock. The failures are in UpdateDownloadFailureTest.
#include <algorithm>

#include "LoaderTrace.h"
#include "TiTxtImages.h"
#include "UpdateRunFixture.h"

namespace runtest {
namespace {

using Strings = std::vector<std::string>;
using Section = testing_support::ImageSection;
using testing_support::FlashHoldsImage;
using testing_support::LoaderSessions;
using testing_support::OnlyCommands;
using testing_support::Pattern;
using testing_support::SegmentRun;
using testing_support::TiTxt;
using testing_support::Vectors;

// The start of a ROM loader session of 1.61 and above at 38400: version,
// password, the switch (then everything at 38400).
const Strings kFastStart{"1E@5858/9600", "10@FFFF/9600", "20@8C80/38400"};

class UpdateHandOverTest : public DownloadRunTest {
 protected:
  // Writes `image` as the entry's main file, places the profile on COM 1 and
  // runs from OK to the end.
  sim::Instrument& RunFromOk(const std::string& profile, const EntrySpec& entry,
                             const std::vector<Section>& image) {
    std::string file = entry.progFile2;
    if (!file.empty() && file.back() == '@') file.pop_back();
    m_folder.Write(file, TiTxt(image));
    sim::Instrument& meter = Place(1, profile);
    Start("Language=1\r\n", {entry});
    PressOk();
    RunToEnd();
    return meter;
  }

  // The success as the user sees it, the flash holding `image`, and the
  // instrument's program told the closing command once after its restart.
  void ExpectSuccess(sim::Instrument& instrument, const std::vector<Section>& image) {
    EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
    EXPECT_TRUE(MemoContaining(kAbortEnglish).empty());
    EXPECT_TRUE(m_view.boxes.empty());
    EXPECT_TRUE(FlashHoldsImage(instrument.Flash(), image));
    const auto sessions = ProgramSessions(instrument);
    ASSERT_FALSE(sessions.empty());
    // The program reads only at its own settings: the port was given back
    // at the search's rate before the closing command.
    EXPECT_EQ(sessions.back(), (Strings{"A.1121"}));
    EXPECT_FALSE(m_view.Enabled(Control::OkBitBtn));
    EXPECT_FALSE(m_view.Visible(Control::WaitPanel));
  }
};

TEST_F(UpdateHandOverTest, A2xxImageWithoutUpperPartReachesTheSuccessText) {
  const auto image = MeterImage();
  m_folder.Write("MSP2XX.TXT", TiTxt(image));
  sim::Instrument& meter = Place(1, "msp430-2xx-meter");
  update::TUpdateForm& form = Start("Language=1\r\n", {MeterEntry()});
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_EQ(MemoContaining("Disconnect the MSP Meter from the COM 1 port.").size(), 1u);
  EXPECT_TRUE(MemoContaining(kAbortEnglish).empty());
  EXPECT_TRUE(m_view.boxes.empty());
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), image));
  EXPECT_EQ(Commands(1), kIdentAndRequest);
  EXPECT_EQ(ProgramSessions(meter).back(), (Strings{"A.1121"})) << "the closing command once";
  EXPECT_EQ(Caption(Control::SWStaticText), "1.01");
  EXPECT_FALSE(m_view.Enabled(Control::OkBitBtn));
  EXPECT_FALSE(m_view.Visible(Control::WaitPanel));
  EXPECT_GE(form.Run().IdentStep, 8);
  EXPECT_EQ(form.ProgressPosition(), 0);
  EXPECT_EQ(MemoContaining("The download may last up to 2 minutes !").size(), 1u);
}

TEST_F(UpdateHandOverTest, ABarometricInstrumentGetsItsAirPressureAfterTheDownload) {
  const auto image = MeterImage();
  m_folder.Write("MSP2XX.TXT", TiTxt(image));
  sim::InstrumentProfile baro = sim::LoadShippedProfile("msp430-2xx-meter");
  baro.device = "28101.000";  // from version 1.02 on it takes A.6162
  baro.version = "1.00";
  baro.serial = "14111108";  // 961.7 hPa
  baro.accepted.push_back(6162);
  sim::Instrument& meter = Place(1, baro);
  update::TUpdateForm& form = Start("Language=1\r\n", {MeterEntry("28101")});
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), image));
  // The pressure, then the closing command three times in all.
  EXPECT_EQ(ProgramSessions(meter).back(), (Strings{"A.1000", "A.6162#961.7", "A.1121", "A.1121", "A.1121"}));
  EXPECT_EQ(form.Run().AirPressureIndex, -1);
}

TEST_F(UpdateHandOverTest, AnImageWithAnUpperPartIsErasedFromTheEraseTopOfTheDeviceEntry) {
  // Large 2xx (flash 0x3100..0x1FFFF, loader 2.12 without a version
  // command); the version stands at the start of the code.
  const std::vector<Section> image{{0x1080, Pattern(32, 1)},
                                   {0x3100, VersionThen(Pattern(394, 3))},
                                   {0xFFE0, Vectors(0x3100)},
                                   {0x10000, Pattern(300, 4)},
                                   {0x12000, Pattern(40, 5)}};
  EntrySpec entry = MeterEntry("23081", "22151", "MSP2XXL.TXT");
  entry.swKenn2 = "@3100\\r\\n";
  entry.flashErase2 = "0x1FC00";
  sim::Instrument& meter = RunFromOk("msp430-2xx-large-meter", entry, image);
  EXPECT_EQ(m_form->Record().EraseTop[0], 0x1FC00);
  ExpectSuccess(meter, image);
  EXPECT_TRUE(meter.Flash().IsErased(0x3100 + 400, 0xFFE0 - 0x3100 - 400)) << "the old program is gone";
  EXPECT_EQ(ProgramSessions(meter).front(), kIdentAndRequest);

  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u);
  const Strings& s = sessions[0];
  // No version command: the password, the version read at 0x0FF0, the
  // password again, then 38400.
  const Strings start{"1E@5858/9600 NAK", "10@FFFF/9600", "1E@5858/9600 NAK",
                      "14@FF0/9600",      "10@FFFF/9600", "20@8C80/38400"};
  ASSERT_GT(s.size(), start.size());
  EXPECT_EQ(Strings(s.begin(), s.begin() + 6), start);
  // Offset 1, the upper half from 0x1FC00, offset 0, the lower half from
  // 0xFC00 (0xFE00 skipped) down to the code, then the info segment.
  Strings erase{"21@1/38400"};
  for (const auto& e : SegmentRun("16", 0x1FC00, 0x10000, 38400)) erase.push_back(e);
  erase.push_back("21@0/38400");
  for (const auto& e : SegmentRun("16", 0xFC00, 0x3200, 38400)) erase.push_back(e);
  erase.insert(erase.end(), {"16@3100/38400", "16@1080/38400"});
  ASSERT_GT(s.size(), 6 + erase.size());
  EXPECT_EQ(Strings(s.begin() + 6, s.begin() + 6 + static_cast<std::ptrdiff_t>(erase.size())), erase);
  // Writes and reads: the lower blocks, offset 1 for the upper ones, offset
  // 0 again, the vector segment erased before the vector block.
  const Strings rest(s.begin() + 6 + static_cast<std::ptrdiff_t>(erase.size()), s.end());
  const Strings expected{"12@1080/38400",  "12@3100/38400",  "12@31F0/38400",  "21@1/38400",
                         "12@10000/38400", "12@100F0/38400", "12@12000/38400", "21@0/38400",
                         "16@FFFF/38400",  "12@FFE0/38400",  "14@1080/38400",  "14@3100/38400",
                         "14@31F0/38400",  "21@1/38400",     "14@10000/38400", "14@100F0/38400",
                         "14@12000/38400", "21@0/38400",     "14@FFE0/38400",  "1A@3100/38400"};
  EXPECT_EQ(rest, expected);
}

TEST_F(UpdateHandOverTest, Loader110TakesThePatchOfThePackageFirst) {
  const auto image = MeterImage();
  m_folder.Write("Patch.TXT", TiTxt({{0x0220, Pattern(64, 8)}}));
  sim::Instrument& meter = RunFromOk("msp430-1xx-meter", MeterEntry("23082", "22152", "MSP1XX.TXT"), image);
  ExpectSuccess(meter, image);

  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u);
  const Strings& s = sessions[0];
  // 1.10 has no version command and no rate change: password, version
  // read, password; the loader restarted, the password again, the patch
  // written to RAM and read back; all at 9600.
  const Strings start{"1E@5858/9600 NAK", "10@FFFF/9600", "1E@5858/9600 NAK", "14@FF0/9600", "10@FFFF/9600",
                      "1A@C22/9600",      "10@FFFF/9600", "12@220/9600",      "14@220/9600"};
  ASSERT_GT(s.size(), start.size());
  EXPECT_EQ(Strings(s.begin(), s.begin() + 9), start);
  for (const auto& e : s) EXPECT_NE(e.find("/9600"), std::string::npos) << e;
  // Reads run through the patch: each one right after a Load PC 0x0220.
  int reads = 0;
  for (size_t i = 9; i < s.size(); ++i) {
    if (s[i].rfind("14@", 0) != 0) continue;
    ++reads;
    EXPECT_EQ(s[i - 1], "1A@220/9600") << i;
  }
  EXPECT_EQ(reads, 5);  // 0xFF00, 0xC000, 0xC0F0, 0xC1E0, 0xFFFE
  EXPECT_EQ(s.back(), "1A@C000/9600");
}

TEST_F(UpdateHandOverTest, AMainFileMarkedWithAtStaysAtTheSlowRate) {
  const auto image = MeterImage();
  // Loader 1.61 could take 38400.
  sim::Instrument& meter = RunFromOk("msp430-2xx-meter", MeterEntry("23080", "22150", "MSP2XX.TXT@"), image);
  EXPECT_EQ(m_form->Record().MainFile, "MSP2XX.TXT");
  EXPECT_EQ(m_form->Record().KeepSlowRate[0], 1);
  ExpectSuccess(meter, image);
  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u);
  ASSERT_GE(sessions[0].size(), 3u);
  // Version and password, then the erase at once: no rate-change command.
  EXPECT_EQ(Strings(sessions[0].begin(), sessions[0].begin() + 3),
            (Strings{"1E@5858/9600", "10@FFFF/9600", "16@FC00/9600"}));
  EXPECT_TRUE(OnlyCommands(sessions[0], {"20"}).empty());
  for (const auto& e : sessions[0]) EXPECT_NE(e.find("/9600"), std::string::npos) << e;
}

TEST_F(UpdateHandOverTest, ANewerSecondFileGoesToTheSecondProcessorAfterTheMainFile) {
  // The instrument reports "1.00,1.00"; the package has 1.01 for both.
  const auto main = MeterImage();
  const auto second = MeterImage(0xC000, 300, '1', 9);
  m_folder.Write("MSP2XX.TXT", TiTxt(main));
  m_folder.Write("MSP2ND.TXT", TiTxt(second));
  EntrySpec entry = MeterEntry("23084", "22154");
  entry.progFile3 = "MSP2ND.TXT";
  entry.swKenn3 = entry.swKenn2;
  // The flash as each loader session finds it.
  std::vector<bool> mainInFlash;
  sim::Instrument* meter = nullptr;
  onLoader = [&](sim::InstrumentModel&) {
    mainInFlash.push_back(bool(FlashHoldsImage(meter->Flash(), main)));
  };
  meter = &m_faultRack.Place(1, sim::LoadShippedProfile("msp430-2xx-dual-meter"));
  update::TUpdateForm& form = Start("Language=1\r\n", {entry});
  PressOk();
  RunToEnd();
  EXPECT_EQ(form.Record().DeviceVersion2, 1000);
  EXPECT_EQ(form.Record().FileVersion2, 1010);
  EXPECT_EQ(MemoContaining("The download may last up to 3 minutes !").size(), 1u);
  ExpectSuccess(*meter, second);
  EXPECT_EQ(mainInFlash, (std::vector<bool>{false, true})) << "the main file is in before the second starts";

  // The main file through A.5588, the second through A.5566 of mode 1,
  // each with its reset-vector question; then the closing command.
  const auto programs = ProgramSessions(*meter);
  ASSERT_EQ(programs.size(), 3u);
  EXPECT_EQ(programs[0], kIdentAndRequest);
  EXPECT_EQ(programs[1], (Strings{"A.1000", "A.5555", "A.5566#QT48"}));
  const auto sessions = LoaderSessions(*meter);
  ASSERT_EQ(sessions.size(), 2u);
  for (const Strings& s : sessions) {
    ASSERT_GT(s.size(), 3u);
    EXPECT_EQ(Strings(s.begin(), s.begin() + 3), kFastStart);
    EXPECT_EQ(s.back(), "1A@C000/38400");
  }
  // The second session writes the second file's blocks.
  EXPECT_EQ(OnlyCommands(sessions[1], {"12"}),
            (Strings{"12@FF00/38400", "12@C000/38400", "12@C0F0/38400", "12@FFFE/38400"}));
}

TEST_F(UpdateHandOverTest, ProzTyp5438TakesTheImageThroughThe5xxLoader) {
  const std::vector<Section> image{
      {0x1800, Pattern(64, 11)}, {0x5C00, VersionThen(Pattern(500, 12))}, {0xFFE0, Vectors(0x5C00)}};
  EntrySpec entry = MeterEntry("23083", "22153", "MSP5XX.TXT");
  entry.swKenn2 = "@5C00\\r\\n";
  entry.prozTyp = "5438";
  sim::Instrument& meter = RunFromOk("msp430-5xx-meter", entry, image);
  EXPECT_EQ(m_form->Record().DeviceNumber, 21560);
  ExpectSuccess(meter, image);
  EXPECT_EQ(ProgramSessions(meter).front(), kIdentAndRequest);

  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u);
  const Strings& s = sessions[0];
  // Password, version, device ID at 9600 (each once: a line error that
  // comes with an answer leaves the bytes to the programmer); the switch;
  // the erase from
  // 0xFC00 (0xFE00 waits) down to the code, the info segment left out.
  Strings expected{"11@0/9600", "19@0/9600", "18@1A04/9600", "52@0/38400"};
  for (const auto& e : SegmentRun("12", 0xFC00, 0x5C00, 38400)) expected.push_back(e);
  const Strings blocks{"1800", "5C00", "5CF0", "5DE0", "FFE0"};
  for (const auto& b : blocks) {
    if (b == "FFE0") expected.push_back("12@FFFF/38400");
    expected.push_back("10@" + b + "/38400");
  }
  for (const auto& b : blocks) expected.push_back("18@" + b + "/38400");
  expected.push_back("17@5C00/38400");
  EXPECT_EQ(s, expected);
}

TEST_F(UpdateHandOverTest, AnswerThirtySetsTheClockInSecondsSinceTheLastDayOf2002) {
  // 1 January 2003 12:00 local time: one and a half days.
  sim::InstrumentProfile p = sim::LoadShippedProfile("ph-meter");
  p.specials.push_back(sim::SpecialAnswer{30, "", 1000, 0, 1});
  Place(1, p);
  m_folder.Write("PH_METER.TXT", TextFirmware("1.24"));
  m_folder.Write("Update.ini", "Language=1\r\n");
  m_folder.Write("ProgDevice.ini", PhMeterEntry().Block() + kTextBlock);
  update::UpdateEnvironment environment = testing_support::MakeEnvironment(m_folder.Path());
  environment.localDayNumber = [] { return 37622.5; };
  m_form = std::make_unique<update::TUpdateForm>(m_host, m_ports, m_view, environment);
  ASSERT_TRUE(m_form->FormCreate());
  PressOk();
  Run(2500);
  const Strings commands = Commands(1);
  EXPECT_NE(std::find(commands.begin(), commands.end(), "A.1600#129600"), commands.end());
}

}  // namespace
}  // namespace runtest
