// The device search of an update run, in virtual time: ports and baud rates,
// a fixed port, competing instruments, framing errors, the boot-loader
// wake-ups and the failed searches.
#include "UpdateRunFixture.h"

namespace runtest {
namespace {

using Strings = std::vector<std::string>;

sim::InstrumentProfile PhMeterAt(uint32_t baud, const std::string& serial = "11110001") {
  sim::InstrumentProfile p = sim::LoadShippedProfile("ph-meter");
  p.line.baud = baud;
  p.serial = serial;
  return p;
}

class UpdateRunSearchTest : public UpdateRunTest {
 protected:
  void SetUp() override {
    m_folder.Write("PH_METER.TXT", TextFirmware("1.24"));
    m_standInDownload = true;
  }
};

TEST_F(UpdateRunSearchTest, FindsTheInstrumentOnTheThirdPortAtTheSecondRate) {
  LineTap& com1 = Tap(1);
  LineTap& com2 = Tap(2);
  Place(3, PhMeterAt(9600));
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2,3\r\n", {PhMeterEntry()});
  EXPECT_EQ(m_view.panels[0], "[Com1] [2] [3]");
  PressOk();
  EXPECT_FALSE(m_view.Enabled(Control::OkBitBtn));
  EXPECT_TRUE(m_view.Visible(Control::WaitPanel));
  EXPECT_EQ(m_view.panels[2], "4800");
  RunTo(5900);
  EXPECT_EQ(m_view.panels[2], "4800");
  RunTo(6100);
  EXPECT_EQ(m_view.panels[2], "9600") << "one slot period per rate";
  RunTo(10000);

  // Each rate: two line breaks, then the search command half a second later.
  const Strings search = {"4800:\r\n\r\n", "4800:A.1111\r\n", "9600:\r\n\r\n", "9600:A.1111\r\n"};
  EXPECT_EQ(com1.Summary(), search);
  EXPECT_EQ(com2.Summary(), search);
  EXPECT_EQ(Commands(3), (Strings{"A.1111", "A.1000", "A.2003", "A.2000", "A.2001", "A.4001", "A.1121"}))
      << "nothing sent at 4800 reaches an instrument at 9600 intact";
  EXPECT_EQ(form.Run().DevicePort, 2);
  EXPECT_EQ(m_view.panels[1], "Com3");
  EXPECT_EQ(Caption(Control::NameStaticText), "23010.000  [pH Meter]");
  EXPECT_EQ(Caption(Control::SerStaticText), "11110001");
  EXPECT_EQ(Caption(Control::PCBStaticText), "22074.001");
  EXPECT_EQ(Caption(Control::SWStaticText), "1.23");
  EXPECT_EQ(m_view.panels[3], "Version 1.24");
  // The serial number closes every other port.
  EXPECT_FALSE(m_ports.Line(1)->PortOpen());
  EXPECT_FALSE(m_ports.Line(2)->PortOpen());
  EXPECT_TRUE(m_ports.Line(3)->PortOpen());
  EXPECT_EQ(form.Run().RunSlot, 0);
  // The package is newer: the download starts here (a stand-in in these
  // tests).
  EXPECT_EQ(m_downloads, (std::vector<int32_t>{core::codes::kDownloadTiTxt}));
  EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn));
  EXPECT_FALSE(m_view.Visible(Control::WaitPanel));
  EXPECT_TRUE(m_view.boxes.empty());
  // The debug log shows what went out and what came back.
  EXPECT_EQ(MemoContaining("A.1111!").size(), 1u);
  EXPECT_EQ(MemoContaining("I.25#11110001 <-").size(), 1u);
}

TEST_F(UpdateRunSearchTest, AFixedPortIsTheOnlyOneSearched) {
  Place(1, PhMeterAt(4800, "11110011"));
  Place(2, PhMeterAt(4800, "11110022"));
  update::TUpdateForm& form = Start("Language=0\r\nCom=2\r\n", {PhMeterEntry()});
  EXPECT_EQ(m_view.panels[0], "Com2");
  PressOk();
  Run(4000);
  EXPECT_TRUE(Commands(1).empty());
  EXPECT_EQ(Commands(2).front(), "A.1111");
  EXPECT_EQ(form.Record().SerialNumber, "11110022");
  EXPECT_EQ(m_view.panels[1], "Com2");
  EXPECT_EQ(form.ComNumbers(), (std::vector<int>{1, 2}));
}

TEST_F(UpdateRunSearchTest, OfTwoInstrumentsTheFirstAcknowledgementWins) {
  sim::InstrumentProfile slow = PhMeterAt(4800, "11110011");
  slow.replyDelayMs = 60;
  Place(1, slow);
  Place(2, PhMeterAt(4800, "11110022"));
  update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
  PressOk();
  Run(4000);
  EXPECT_EQ(form.Run().DevicePort, 1);
  EXPECT_EQ(m_view.panels[1], "Com2");
  EXPECT_EQ(Commands(1), Strings{"A.1111"}) << "the slower one hears the search only";
  EXPECT_EQ(Commands(2), (Strings{"A.1111", "A.1000", "A.2003", "A.2000", "A.2001", "A.4001", "A.1121"}));
  EXPECT_EQ(form.Record().SerialNumber, "11110022");
  EXPECT_FALSE(m_ports.Line(1)->PortOpen());
}

TEST_F(UpdateRunSearchTest, AFramingErrorMovesOnAndThenTheRateIsRepeated) {
  LineTap& noise = Tap(1);
  Place(2, PhMeterAt(19200));
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2,3,4\r\n", {PhMeterEntry()});
  PressOk();
  Run(2000);
  // A zero byte at 1200 baud is a framing error at 4800.
  const platform::sim::LineFormat slow{1200, 8, platform::sim::Parity::None, platform::sim::StopBits::One};
  auto framingError = [&] {
    noise.SetFormat(slow);
    const uint8_t zero = 0;
    m_ports.Line(1)->Send(&zero, 1);
    Run(20);
    noise.SetFormat(std::nullopt);
  };
  framingError();
  Run(1600);
  EXPECT_TRUE(form.Run().PortErrorSeen);
  EXPECT_EQ(m_view.panels[2], "9600") << "at once, not after the slot period";
  // The next three expiries repeat 9600.
  Run(20000);
  EXPECT_EQ(m_view.panels[2], "9600");
  EXPECT_TRUE(Commands(2).empty());
  int at9600 = 0;
  for (const auto& chunk : noise.Summary()) at9600 += chunk == "9600:A.1111\r\n" ? 1 : 0;
  EXPECT_GE(at9600, 3);
  // Another framing error moves on to 19200, where the instrument answers.
  framingError();
  Run(3000);
  EXPECT_EQ(m_view.panels[2], "19200");
  EXPECT_EQ(Commands(2).size(), 7u);
  EXPECT_EQ(form.Record().SerialNumber, "11110001");
}

TEST_F(UpdateRunSearchTest, AFramingErrorThenSilenceStillEndsInNoDeviceFound) {
  LineTap& noise = Tap(1);
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2,3\r\n", {PhMeterEntry()});
  PressOk();
  Run(2000);
  noise.SetFormat(
      platform::sim::LineFormat{1200, 8, platform::sim::Parity::None, platform::sim::StopBits::One});
  const uint8_t zero = 0;
  m_ports.Line(1)->Send(&zero, 1);
  Run(20);
  noise.SetFormat(std::nullopt);
  // The error moves on to 9600 at once; 9600 is then tried three slot
  // periods more, and the search goes on as without the error.
  Run(60000);
  ASSERT_GE(m_view.boxes.size(), 2u) << "the search must end";
  EXPECT_EQ(m_view.boxes[0].caption, "Info");  // the ROM loader's hint
  EXPECT_EQ(m_view.boxes[1].text.rfind("Kein Ger\xE4t gefunden !!\r\nIst das Ger\xE4t", 0), 0u);
  EXPECT_EQ(form.Run().SearchFailures, 1);
  int at9600 = 0;
  for (const auto& chunk : noise.Summary()) at9600 += chunk == "9600:A.1111\r\n" ? 1 : 0;
  EXPECT_EQ(at9600, 4) << "the switch to 9600 and three repeats";
}

TEST_F(UpdateRunSearchTest, RomLoaderWakeUpsHintOncePerFailedSearchThenTheProgramEnds) {
  LineTap& com1 = Tap(1);
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2\r\n", {PhMeterEntry()});
  ASSERT_EQ(form.LoaderKind(), 1);
  PressOk();
  RunTo(5900);
  EXPECT_EQ(m_view.panels[2], "4800");
  RunTo(6300);
  EXPECT_EQ(m_view.panels[2], "BL-Baud");
  EXPECT_EQ(form.Run().BootStage, 3);
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text,
            "Taste ON halten und einschalten.\r\nBest\xE4tigen Sie dies danach mit dem Ok-Button!\r\n");
  EXPECT_EQ(m_view.boxes[0].caption, "Info");
  EXPECT_EQ(m_view.boxes[0].icon, MessageIcon::Information);
  RunTo(12300);
  EXPECT_EQ(form.Run().BootStage, 4);
  RunTo(19400);
  // The first failure: the message, then a new search by itself.
  ASSERT_GE(m_view.boxes.size(), 2u);
  EXPECT_EQ(m_view.boxes[1].text,
            "Kein Ger\xE4t gefunden !!\r\nIst das Ger\xE4t auch richtig angeschlossen und eingeschalten ?\r"
            "Automatische Suche wiederholen mit Ok");
  EXPECT_EQ(m_view.boxes[1].caption, "Fehler");
  EXPECT_EQ(m_view.boxes[1].icon, MessageIcon::Error);
  EXPECT_EQ(form.Run().SearchFailures, 1);
  EXPECT_EQ(m_view.panels[2], "4800");
  EXPECT_TRUE(m_view.Visible(Control::WaitPanel));
  EXPECT_FALSE(m_view.closed);

  RunTo(37000);
  // The second search: the hint again (the failure cleared its flag), then
  // the second failure ends the program.
  ASSERT_EQ(m_view.boxes.size(), 4u);
  EXPECT_EQ(m_view.boxes[2].caption, "Info");
  EXPECT_EQ(m_view.boxes[3].text, "Kein Ger\xE4t gefunden !!\r\nProgramm wird abgebrochen !!");
  EXPECT_TRUE(m_view.closed);
  EXPECT_TRUE(m_view.Enabled(Control::VE720dProgramming));

  // 0x80 at 9600, one slot period later 85 01 00 1A; the port's parity is
  // only changed for its next opening.
  const Strings run = {"4800:\r\n\r\n", "4800:A.1111\r\n", "9600:\x80",
                       std::string("9600:\x85\x01\x00\x1A", 9)};
  Strings twice = run;
  twice.insert(twice.end(), run.begin(), run.end());
  EXPECT_EQ(com1.Summary(), twice);
  EXPECT_EQ(com1.chunks[3].tick - com1.chunks[2].tick, 6000u);
  EXPECT_EQ(form.Port(0)->GetV24Parameter()->Paritaet, serial::Even);
  EXPECT_EQ(form.Port(0)->GetV24Parameter()->StopBits, serial::S_1);
}

TEST_F(UpdateRunSearchTest, TheSecondFailureEndsTheProgramEvenAfterASuccessfulRun) {
  m_rack.PlaceSilent(1);
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2,3\r\n", {PhMeterEntry()});
  PressOk();
  RunTo(25000);  // the first search failed (at 24.2 s); the second one is at 4800
  ASSERT_EQ(form.Run().SearchFailures, 1);
  Place(1, PhMeterAt(9600));
  RunTo(34000);
  ASSERT_EQ(form.Record().SerialNumber, "11110001");
  ASSERT_TRUE(m_view.Enabled(Control::OkBitBtn));
  EXPECT_EQ(form.Run().SearchFailures, 1) << "a successful run does not forgive the failure";
  m_rack.Remove(1);
  PressOk();
  Run(30000);
  ASSERT_FALSE(m_view.boxes.empty());
  // The run start zeroed the record: NAME is the word for the instrument.
  EXPECT_EQ(m_view.boxes.back().text, "Kein Ger\xE4t gefunden !!\r\nProgramm wird abgebrochen !!");
  EXPECT_TRUE(m_view.closed);
}

TEST_F(UpdateRunSearchTest, FrameLoaderWakeUpsAt38400WithoutHint) {
  LineTap& com1 = Tap(1);
  EntrySpec entry = PhMeterEntry();
  entry.progFile2 = "VE720Q.MOT";
  update::TUpdateForm& form = Start("Language=1\r\nBaud=2\r\n", {entry});
  ASSERT_EQ(form.LoaderKind(), 0);
  PressOk();
  RunTo(18400);
  const Strings expected = {"4800:\r\n\r\n", "4800:A.1111\r\n",
                            std::string("38400:\x68\x00\x00\x68\x00\x00\x00\x00\x16", 15), "38400:\r\n",
                            // the new search after the failure
                            "4800:\r\n\r\n", "4800:A.1111\r\n"};
  EXPECT_EQ(com1.Summary(), expected);
  ASSERT_EQ(m_view.boxes.size(), 1u) << "no hint for this loader";
  EXPECT_EQ(m_view.boxes[0].text,
            "No device found !!\r\nIs the meter correctly connected an switched on?\rRepeat automatic search "
            "with Ok");
  EXPECT_EQ(m_view.boxes[0].caption, "Error");
}

TEST_F(UpdateRunSearchTest, KindsWithoutASecondSequenceSendNothingForIt) {
  LineTap& com1 = Tap(1);
  EntrySpec entry = PhMeterEntry();
  entry.progFile2 = "FW.HEX";
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2\r\n", {entry});
  ASSERT_EQ(form.LoaderKind(), 3);
  PressOk();
  RunTo(18100);
  EXPECT_EQ(com1.Summary(), (Strings{"4800:\r\n\r\n", "4800:A.1111\r\n", "38400:\r\n"}));
  EXPECT_EQ(form.Run().BootStage, 4);
  EXPECT_TRUE(m_view.boxes.empty());
}

TEST_F(UpdateRunSearchTest, TheHintNeedsTwoLineBreaksAndIsClipped) {
  Tap(1);
  m_folder.Write("Update.ini", "Language=1\r\nBaud=2\r\n");
  const std::string longLine(500, 'h');
  m_folder.Write("ProgDevice.ini", PhMeterEntry().Block() +
                                       "StarttextD=\r\nStarttextE=\r\nAbbruchtextD=\r\nAbbruchtextE=one\\r" +
                                       longLine + "\\rthree\r\n");
  m_form = std::make_unique<update::TUpdateForm>(m_host, m_ports, m_view,
                                                 testing_support::MakeEnvironment(m_folder.Path()));
  ASSERT_TRUE(m_form->FormCreate());
  PressOk();
  RunTo(6300);
  // The second break lies beyond the part of the text that is looked at.
  EXPECT_TRUE(m_view.boxes.empty());
}

TEST_F(UpdateRunSearchTest, AnInstrumentInItsFrameLoaderAnswersTheWakeUp) {
  Tap(1);
  Place(2, "meter-720q-bootloader");
  EntrySpec entry = PhMeterEntry();
  entry.progFile2 = "VE720Q.MOT";
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2\r\n", {entry});
  PressOk();
  Run(7000);
  EXPECT_EQ(form.Run().DevicePort, 1);
  EXPECT_EQ(m_view.panels[1], "Com2");
  EXPECT_TRUE(form.Parser().FrameSeen());
  EXPECT_EQ(form.Run().RunSlot, 0);
  EXPECT_EQ(form.Record().BootloaderId, "VE720q-BL V1.02");
  ASSERT_EQ(MemoContaining("Boot-Loader (VE720q-BL V1.02)").size(), 1u);
  EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn));
  Run(20000);
  EXPECT_TRUE(m_view.boxes.empty()) << "the search has ended";
}

TEST_F(UpdateRunSearchTest, RomLoaderBytesEndTheSearch) {
  Place(1, "lab-bsl-90");
  Place(2, "lab-bsl-q");
  update::TUpdateForm& form = Start("Language=0\r\nBaud=2\r\n", {PhMeterEntry()});
  PressOk();
  Run(8000);
  EXPECT_EQ(form.Run().LabKey, 0x90);
  EXPECT_EQ(m_view.panels[1], "Com1");
  EXPECT_EQ(MemoContaining("(Byte 0x90)").size(), 1u);
  EXPECT_EQ(form.Run().RunSlot, 0);
}

TEST_F(UpdateRunSearchTest, ALoaderThatAnswersQDuringTheSearch) {
  Place(3, "lab-bsl-q");
  update::TUpdateForm& form = Start("Language=0\r\nBaud=3\r\n", {PhMeterEntry()});
  PressOk();
  Run(3000);
  EXPECT_EQ(form.Run().LabKey, 'Q');
  EXPECT_EQ(m_view.panels[1], "Com3");
  EXPECT_EQ(MemoContaining("(Byte 0x51)").size(), 1u);
}

}  // namespace
}  // namespace runtest
