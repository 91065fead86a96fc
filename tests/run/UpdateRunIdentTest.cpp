// The identification of an update run against the instrument models:
// command sets, the version and serial-number variants, the special
// answers, and what a second run uses.
#include "UpdateRunFixture.h"

namespace runtest {
namespace {

using Strings = std::vector<std::string>;

sim::InstrumentProfile Profile(const std::string& name) {
  return sim::LoadShippedProfile(name);
}

class UpdateRunIdentTest : public UpdateRunTest {
 protected:
  void SetUp() override {
    m_folder.Write("PH_METER.TXT", TextFirmware("1.24"));
    m_standInDownload = true;
  }
};

TEST_F(UpdateRunIdentTest, StartMode1SkipsTheFirstCommandAndReadsTwoVersions) {
  m_folder.Write("LAB_MAIN.TXT", TextFirmware("2.11"));
  m_folder.Write("LAB_SEC.TXT", TextFirmware("1.06"));
  Place(1, "lab-meter");  // 9600, "2.10,1.05"
  EntrySpec lab = MakeEntry("2", "22081", "23510", "Lab Meter", "LAB_MAIN.TXT");
  lab.progFile3 = "LAB_SEC.TXT";
  lab.swKenn3 = "SWVER=";
  update::TUpdateForm& form = Start("Language=0\r\nBaud=3\r\n", {lab});
  ASSERT_EQ(form.StartMode(), 1);
  PressOk();
  Run(3000);
  EXPECT_EQ(Commands(1), (Strings{"A.1000", "A.2003", "A.2000", "A.2001", "A.4001", "A.1121"}));
  const update::DeviceRecord& r = form.Record();
  EXPECT_EQ(r.SoftwareVersion, "2.10,1.05");
  EXPECT_EQ(r.DeviceVersion, 2100);
  EXPECT_EQ(r.DeviceVersion2, 1050);
  EXPECT_EQ(r.FileVersion, 2110);
  EXPECT_EQ(r.FileVersion2, 1060) << "the second file's version goes to slot 2";
  EXPECT_EQ(r.SecondFile, "LAB_SEC.TXT");
  EXPECT_EQ(m_view.panels[3], "Version 2.11 / 1.06");
  EXPECT_EQ(form.LoaderKind(), 1);
  EXPECT_EQ(r.EraseTop[0], 0xFFBF);
  EXPECT_EQ(r.EraseTop[1], 1234);
}

TEST_F(UpdateRunIdentTest, NoVersionTestAsksForTheSerialNumberAtOnce) {
  Place(1, "ph-meter");
  update::TUpdateForm& form = Start("Language=0\r\nException=xx NOVERSIONTEST\r\n", {PhMeterEntry()});
  PressOk();
  Run(3000);
  EXPECT_EQ(Commands(1), (Strings{"A.1111", "A.1000", "A.2003", "A.2000", "A.4001", "A.1121"}));
  EXPECT_EQ(form.Record().SoftwareVersion, "1.00");
  EXPECT_EQ(Caption(Control::SWStaticText), "1.00");
}

TEST_F(UpdateRunIdentTest, AnUnknownVersionGetsABlankSerialNumber) {
  m_folder.Write("METER_F5.TXT", TextFirmware("1.00"));
  Place(1, "meter-f5");  // 2400 baud, X.XX
  const EntrySpec f5 = MakeEntry("6", "22120", "23060", "Meter F5", "METER_F5.TXT");
  update::TUpdateForm& form = Start("Language=0\r\nBaud=1\r\n", {f5});
  ASSERT_EQ(form.ConfiguredStartMode(), 5);
  PressOk();
  Run(3000);
  EXPECT_EQ(Commands(1), (Strings{"A.1111", "A.1000", "A.2003", "A.2000", "A.2001", "A.1121"}));
  EXPECT_EQ(form.Record().SerialNumber, " ");
  EXPECT_TRUE(form.Run().VersionUnknown);
  EXPECT_EQ(form.Record().DeviceVersion, 0);
  EXPECT_EQ(form.Run().SensorMode, 2) << "command set 5 downloads as sensor mode 2";
  EXPECT_TRUE(m_view.boxes.empty()) << "any package version passes an unknown one";
  EXPECT_EQ(m_downloads, (std::vector<int32_t>{core::codes::kDownloadTiTxt}));
}

TEST_F(UpdateRunIdentTest, StartupVersionAnswerDependsOnTheLoaderKind) {
  sim::InstrumentProfile p = Profile("ph-meter");
  p.startupVersion = "2.00";
  {
    Place(1, p);
    update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
    PressOk();
    Run(3000);
    // Taken as a version answer: it asks for the serial number, the real
    // version answer then asks once more with nothing left to ask.
    EXPECT_EQ(Commands(1), (Strings{"A.1111", "A.1000", "A.2003", "A.2000", "A.2001", "A.4001", "A.1121"}));
    EXPECT_EQ(form.Record().StartupVersionInDevice, 0);
    EXPECT_EQ(form.Record().SoftwareVersion, "1.23");
  }
  m_form.reset();
  m_view = testing_support::RecordingView();
  m_rack.Remove(1);
  m_folder.Write("PH_METER.EXE", std::string(100, 'x'));
  EntrySpec exe = PhMeterEntry();
  exe.progFile2 = "PH_METER.EXE";
  Place(2, p);
  update::TUpdateForm& form = Start("Language=1\r\n", {exe});
  ASSERT_EQ(form.LoaderKind(), 2);
  PressOk();
  Run(3000);
  EXPECT_EQ(form.Record().StartupVersionInDevice, 2000);
  EXPECT_EQ(Commands(2), (Strings{"A.1111", "A.1000", "A.2003", "A.2000", "A.2001", "A.4001", "A.1111"}));
  // No version in the file: the instrument counts as newer and is refused.
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "No valid software version !!");
  EXPECT_EQ(MemoContaining("The software version1.23 in your device is more up to date").size(), 1u);
  EXPECT_TRUE(form.Run().RunClosed);
  EXPECT_EQ(Caption(Control::NameStaticText), "") << "a refused instrument's fields are cleared";
}

TEST_F(UpdateRunIdentTest, ASecondRunUsesTheDevicePortOnly) {
  LineTap& com1 = Tap(1);
  Place(2, "ph-meter");
  update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
  PressOk();
  Run(3000);
  const size_t before = com1.chunks.size();
  ASSERT_TRUE(m_view.Enabled(Control::OkBitBtn));
  PressOk();
  Run(3000);
  EXPECT_EQ(com1.chunks.size(), before) << "the closed port hears nothing";
  EXPECT_EQ(Commands(2).size(), 14u);
  EXPECT_EQ(Commands(2)[7], "A.1111");
  EXPECT_EQ(form.Run().DevicePort, 1);
  EXPECT_EQ(m_downloads, (std::vector<int32_t>{core::codes::kDownloadTiTxt, core::codes::kDownloadTiTxt}));
}

TEST_F(UpdateRunIdentTest, AnInstrumentThatAsksForAPauseBlocksTheWindow) {
  m_folder.Write("SENSOR_F4.TXT", TextFirmware("1.21"));
  Place(1, "sensor-meter-f4");  // I.1131#2500, acknowledges 2.5 s later
  EntrySpec f4;
  f4.devStartCmd = "5";
  f4.deviceNrDef = "22113";
  f4.deviceNr = "30520.0";  // five digits alone would become 30520.000
  f4.deviceName = "Sensor F4";
  f4.progFile2 = "SENSOR_F4.TXT";
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2\r\n", {f4});
  PressOk();
  const uint32_t start = Now();
  Run(200);
  EXPECT_GE(Now() - start, 2500u) << "the wait does not let time be driven from outside";
  EXPECT_EQ(form.Run().RunSlot, 0);
  Run(3000);
  EXPECT_EQ(Commands(1), (Strings{"A.1131", "A.1000", "A.2003", "A.2000", "A.2001", "A.4001", "A.1121"}));
  const update::DeviceRecord& r = form.Record();
  // Sensor data after the comma; the variant digits come from the PCB number.
  EXPECT_EQ(r.IdentNumber, "30520.002");
  EXPECT_EQ(r.DeviceText, "30520.002");
  EXPECT_EQ(r.SerialNumber, "22220005");
  EXPECT_EQ(r.SoftwareVersion, "1.20");
  EXPECT_EQ(r.DeviceVersion, 1200);
  EXPECT_EQ(form.Run().SensorMode, 2);
  EXPECT_EQ(form.Run().NextCommand, "A.1230\r\n");
  EXPECT_EQ(form.StartMode(), 4) << "the run's end restores the configured command set";
}

TEST_F(UpdateRunIdentTest, AnAbsurdPauseIsHeldToAMinute) {
  sim::InstrumentProfile p = Profile("ph-meter");
  p.specials.push_back(sim::SpecialAnswer{1131, "#999999999", 1111, 0, 1});
  Place(1, p);
  Start("Language=0\r\n", {PhMeterEntry()});
  PressOk();
  const uint32_t start = Now();
  Run(100);
  EXPECT_GE(Now() - start, 60000u);
  EXPECT_LT(Now() - start, 62000u);
}

TEST_F(UpdateRunIdentTest, ABottlexOutOfUpdateModeIsAskedAbout) {
  m_folder.Write("BOTTLEX.TXT", TextFirmware("1.11"));
  EntrySpec bottlex;
  bottlex.deviceNrDef = "22140";
  bottlex.deviceNr = "24010";
  bottlex.deviceName = "Bottlex";
  bottlex.progFile2 = "BOTTLEX.TXT";
  {
    Place(1, "bottlex");
    update::TUpdateForm& form = Start("Language=0\r\nBaud=3\r\n", {bottlex});
    m_view.answers.push_back(MessageResult::No);
    PressOk();
    Run(40000);
    ASSERT_EQ(m_view.boxes.size(), 1u);
    EXPECT_EQ(m_view.boxes[0].text,
              "kein Bottlex erkannt!!\rim Bottlex unter Service->Update-Mode aktivieren.");
    EXPECT_EQ(m_view.boxes[0].caption, "Info");
    EXPECT_EQ(m_view.boxes[0].icon, MessageIcon::Question);
    EXPECT_EQ(m_view.boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(Commands(1), Strings{"A.1111"}) << "no slot runs on after a No";
    EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn));
    EXPECT_FALSE(m_view.Visible(Control::WaitPanel));
    EXPECT_EQ(form.Run().RunSlot, 0);
  }
  m_form.reset();
  m_view = testing_support::RecordingView();
  m_rack.Remove(1);
  Place(2, "bottlex");
  update::TUpdateForm& form = Start("Language=0\r\nBaud=3\r\n", {bottlex});
  m_view.answers.push_back(MessageResult::Yes);
  PressOk();
  Run(3000);
  EXPECT_EQ(Commands(2),
            (Strings{"A.1111", "A.1111", "A.1000", "A.2003", "A.2000", "A.2001", "A.4001", "A.1121"}));
  EXPECT_EQ(form.Record().SerialNumber, "11110009");
}

TEST_F(UpdateRunIdentTest, SpecialAnswers208And262And920) {
  sim::InstrumentProfile p = Profile("ph-meter");
  p.device = "20363.000";
  p.version = "1.04";
  p.specials.push_back(sim::SpecialAnswer{208, "#0", 2000, 0, 0});
  p.specials.push_back(sim::SpecialAnswer{262, "", 1000, 0, 0});
  p.specials.push_back(sim::SpecialAnswer{920, "", 2001, 0, 0});
  p.accepted = {1220, 1500};
  p.replyDelayMs = 10;
  Place(1, p);
  EntrySpec e = PhMeterEntry();
  e.deviceNr = "20363";
  update::TUpdateForm& form = Start("Language=0\r\n", {e});
  PressOk();
  Run(3000);
  EXPECT_TRUE(form.Run().SensorIdModule);
  EXPECT_EQ(form.Record().TerminalVariant, '0');
  const Strings commands = Commands(1);
  EXPECT_NE(std::find(commands.begin(), commands.end(), "A.1220"), commands.end());
  EXPECT_NE(std::find(commands.begin(), commands.end(), "A.1500"), commands.end())
      << "instrument 20363 below 1.050 gets A.1500";
  EXPECT_EQ(commands.back(), "A.1121");
}

TEST_F(UpdateRunIdentTest, Answer920FromAnotherInstrumentGoesOnToTheDownload) {
  sim::InstrumentProfile p = Profile("ph-meter");
  p.specials.push_back(sim::SpecialAnswer{920, "$1013.5", 2001, 0, 1});
  Place(1, p);
  update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
  PressOk();
  Run(3000);
  ASSERT_FALSE(m_downloads.empty());
  EXPECT_EQ(m_downloads[0], core::codes::kOwnDownload) << "the instrument's own download comes first";
  EXPECT_EQ(form.Run().SearchFailures, 0);
  EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn));
}

}  // namespace
}  // namespace runtest
