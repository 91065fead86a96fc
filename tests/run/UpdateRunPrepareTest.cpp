// The download decision: which entry belongs to the instrument, which files
// make up the download, and what the versions say.
#include "UpdateRunFixture.h"

namespace runtest {
namespace {

using Strings = std::vector<std::string>;

EntrySpec Entry(const std::string& nrDef, const std::string& nr, const std::string& name,
                const std::string& file) {
  EntrySpec e;
  e.deviceNrDef = nrDef;
  e.deviceNr = nr;
  e.deviceName = name;
  e.progFile2 = file;
  return e;
}

class UpdateRunPrepareTest : public UpdateRunTest {
 protected:
  void SetUp() override {
    m_rack.PlaceSilent(1);
    m_debug = true;
  }
  update::TUpdateForm& StartWith(const std::vector<EntrySpec>& entries,
                                 const std::string& ini = "Language=0\r\n") {
    return Start(ini, entries);
  }
  // What the identification would have filled in.
  void Identified(const std::string& pcb, const std::string& ident, const std::string& version,
                  const std::string& serial = "12345678") {
    update::DeviceRecord& r = m_form->Record();
    r.DeviceText = pcb;
    r.IdentNumber = ident;
    r.SoftwareVersion = version;
    r.DeviceVersion = update::VersionThousandths(version);
    const size_t comma = version.find(',');
    if (comma != std::string::npos) r.DeviceVersion2 = update::VersionThousandths(version.substr(comma + 1));
    r.SerialNumber = serial;
  }
};

TEST_F(UpdateRunPrepareTest, FirstRuleMatchFillsTheRecordAndTheTerminalGetsItsSecondFile) {
  m_folder.Write("TERM.TXT", TextFirmware("3.03"));
  EntrySpec other = Entry("22074", "23010", "pH Meter", "PH.TXT");
  other.progDefFile = "second.def";
  EntrySpec terminal = Entry("22030", "21130", "Terminal", "TERM.TXT");
  terminal.progFile1 = "first.hex";
  terminal.prozTyp = "5438";
  terminal.progDefFile = "term.def";
  update::TUpdateForm& form = StartWith({other, terminal});
  Identified("22030.001", "21130.000", "3.02");
  EXPECT_EQ(form.PrepareDownload(), 1);
  const update::DeviceRecord& r = form.Record();
  EXPECT_EQ(r.MainFile, "TERM.TXT");
  EXPECT_EQ(r.FirstFile, "FIRST.HEX");
  EXPECT_EQ(r.SecondFile, "l3_terml.a37");
  EXPECT_EQ(r.DeviceNumber, 0x5438);
  EXPECT_EQ(r.DisplayName, "Terminal");
  EXPECT_EQ(r.ProgDefFile, "TERM.DEF") << "without a lab key the second entry's file is taken";
  EXPECT_EQ(r.FileVersion, 3030);
  EXPECT_EQ(form.LoaderKind(), 1);
  EXPECT_EQ(Caption(Control::NameStaticText), "21130.000  [Terminal]");
  EXPECT_EQ(Caption(Control::PCBStaticText), "22030.001");
  EXPECT_EQ(Caption(Control::SerStaticText), "12345678");
  EXPECT_EQ(Caption(Control::SWStaticText), "3.02");
  EXPECT_EQ(m_view.panels[3], "Version 3.03");
  EXPECT_TRUE(m_view.boxes.empty());
}

TEST_F(UpdateRunPrepareTest, TheDefaultEntryServesAnUnknownInstrumentOutsideSensorModes) {
  m_folder.Write("ANY.TXT", TextFirmware("1.00"));
  update::TUpdateForm& form = StartWith({Entry("XXXXX", "11111", "Any", "ANY.TXT")});
  Identified("22000.001", "99999.000", "0.50");
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_EQ(form.Record().DisplayName, "Any");
}

TEST_F(UpdateRunPrepareTest, AWrongDeviceListsEveryNameOnceAndNoEmptyOne) {
  m_folder.Write("A.TXT", TextFirmware("1.00"));
  update::TUpdateForm& form =
      StartWith({Entry("22001", "23001", "A", "A.TXT"), Entry("22004", "23004", "", "A.TXT"),
                 Entry("22002", "23002", "B", "B.TXT"), Entry("22003", "23003", "A", "A.TXT")});
  Identified("22999.001", "29999.000", "1.00");
  EXPECT_EQ(form.PrepareDownload(), 0);
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "Falsches Ger\xE4t angeschlossen !!");
  EXPECT_EQ(m_view.boxes[0].caption, "Fehler");
  EXPECT_EQ(m_view.boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(MemoContaining("Der Download ist f\xFCr ein A, B,  !\r\nSie haben ein falsches Ger\xE4t").size(),
            1u);
}

TEST_F(UpdateRunPrepareTest, AMainFileOutsideThePackageOrAForeignBootLoaderIsTheWrongDevice) {
  EntrySpec e = Entry("22001", "23001", "A", "A.TXT");
  e.bootLoadKenn = "VE720";
  update::TUpdateForm& form = StartWith({e}, "Language=1\r\n");
  Identified("22001.001", "23001.000", "1.00");
  EXPECT_EQ(form.PrepareDownload(), 0) << "A.TXT is not in the package";
  EXPECT_EQ(MemoContaining("Download is for an A,  !").size(), 1u);

  m_folder.Write("A.TXT", TextFirmware("1.50"));
  form.ScanPackageFiles();
  form.Record().DisplayName.clear();
  form.Record().BootloaderId = "OTHER-BL";
  EXPECT_EQ(form.PrepareDownload(), 0);
  form.Record().BootloaderId = "VE720q-BL V1.02";
  EXPECT_EQ(form.PrepareDownload(), 1);
}

TEST_F(UpdateRunPrepareTest, ExtraFilesWithWildcardsAndTheSlowRateMark) {
  m_folder.Write("MAIN.HEX", TextFirmware("1.00"));
  m_folder.Write("Fw/b.bin", "x");
  m_folder.Write("Fw/A.txt", "x");
  std::filesystem::create_directories(m_folder.Path() / "Fw" / "sub");
  EntrySpec e = Entry("22001", "23001", "A", "MAIN.HEX@,fw\\*.*,none\\*.*,EXTRA.TXT");
  e.progFile3 = "SECOND.TXT@,LAST.DLL";
  update::TUpdateForm& form = StartWith({e});
  Identified("22001.001", "23001.000", "X.XX");
  EXPECT_EQ(form.PrepareDownload(), 1);
  const update::DeviceRecord& r = form.Record();
  EXPECT_EQ(r.MainFile, "MAIN.HEX");
  EXPECT_EQ(r.SecondFile, "SECOND.TXT");
  EXPECT_TRUE(r.KeepSlowRate[0]);
  EXPECT_TRUE(r.KeepSlowRate[1]);
  EXPECT_EQ(form.LoaderKind(), 3);
  // Upper-cased names after the prefix as written, sorted; folders are not files.
  EXPECT_EQ(r.ExtraFiles, (Strings{"FW\\A.TXT", "FW\\B.BIN", "EXTRA.TXT", "LAST.DLL"}));
  EXPECT_EQ(r.ExtraFileCount, 4);
}

TEST_F(UpdateRunPrepareTest, ExtraFilesStopAtTheRecordsRoom) {
  m_folder.Write("MAIN.TXT", TextFirmware("1.00"));
  for (int i = 0; i < 205; ++i) m_folder.Write("many/f" + std::to_string(1000 + i), "x");
  update::TUpdateForm& form = StartWith({Entry("22001", "23001", "A", "MAIN.TXT,MANY\\*.*")});
  Identified("22001.001", "23001.000", "0.5");
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_EQ(form.Record().ExtraFiles.size(), 200u);
  EXPECT_EQ(form.Record().ExtraFiles.back(), "MANY\\F1199");
}

class VersionRules : public UpdateRunPrepareTest {
 protected:
  update::TUpdateForm& Package(const std::string& fileVersion, int language = 0) {
    m_folder.Write("MAIN.TXT", TextFirmware(fileVersion));
    return StartWith({Entry("22001", "23001", "A", "MAIN.TXT")},
                     "Language=" + std::to_string(language) + "\r\n");
  }
};

TEST_F(VersionRules, ANewerInstrumentIsRefusedUnlessVersionsAreNotChecked) {
  update::TUpdateForm& form = Package("1.20");
  Identified("22001.001", "23001.000", "1.30");
  EXPECT_EQ(form.PrepareDownload(), 0);
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "keine g\xFCltige Software-Version !!");
  ASSERT_EQ(MemoContaining("Die Software-Version1.30 in Ihrem Ger\xE4t ist aktueller").size(), 1u);

  update::ServiceFlags flags = form.Service();
  flags.VersionCheck = 0;
  form.SetServiceFlags(flags);
  form.Record().FileVersionText.clear();
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_EQ(form.Record().DeviceVersion, 1200);
  EXPECT_TRUE(form.Run().SameVersionConfirmed);

  flags.VersionCheck = 1;
  flags.AnyFileMode = 1;
  flags.ChosenFile = "OTHER.TXT";
  form.SetServiceFlags(flags);
  Identified("22001.001", "23001.000", "1.30");
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_EQ(form.Record().MainFile, "OTHER.TXT");
  EXPECT_EQ(m_view.boxes.size(), 1u);
}

TEST_F(VersionRules, TheSameVersionIsOfferedForConfirmation) {
  update::TUpdateForm& form = Package("1.20", 1);
  Identified("22001.001", "23001.000", "1.20");
  m_view.answers = {MessageResult::Yes, MessageResult::No};
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_TRUE(form.Run().SameVersionConfirmed);
  EXPECT_EQ(form.Record().SameVersionAccepted, 1);
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text,
            "The latest software version1.20 is already in device.\r\nDo you want to continue the download "
            "nevertheless?");
  EXPECT_EQ(m_view.boxes[0].buttons, MessageButtons::YesNo);
  form.Record().FileVersionText.clear();
  EXPECT_EQ(form.PrepareDownload(), 0);
  EXPECT_FALSE(form.Run().SameVersionConfirmed);
}

TEST_F(VersionRules, AnOlderOrUnknownInstrumentPassesWithoutAQuestion) {
  update::TUpdateForm& form = Package("1.005");
  Identified("22001.001", "23001.000", "0.999");
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_EQ(form.Record().FileVersion, 1005);
  EXPECT_EQ(form.Record().DeviceVersion, 999);
  form.Record().FileVersionText.clear();
  Identified("22001.001", "23001.000", "X.XX");
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_TRUE(m_view.boxes.empty());
  EXPECT_FALSE(form.Run().SameVersionConfirmed);
}

TEST_F(VersionRules, ASensorModuleIsWarnedAbout) {
  m_folder.Write("SEC.TXT", TextFirmware("2.00"));
  m_folder.Write("MAIN.TXT", TextFirmware("1.50"));
  EntrySpec e = Entry("22001", "23001", "A", "MAIN.TXT");
  e.progFile3 = "SEC.TXT";
  e.swKenn3 = "SWVER=";
  update::TUpdateForm& form = StartWith({e});
  form.Queue().PostCode(core::codes::kAnswerSensorIdModule);
  form.DrainEvents();
  ASSERT_TRUE(form.Run().SensorIdModule);
  Identified("22001.001", "23001.000", "1.60,1.90");  // newer main, older second
  m_view.answers = {MessageResult::No};
  EXPECT_EQ(form.PrepareDownload(), 0);
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text.rfind("Die Software f\xFCr die Sensoridentifizierung kann \xFC"
                                       "ber",
                                       0),
            0u);
  EXPECT_EQ(m_view.panels[3], "Version 1.50 / 2.00");
}

class SensorModes : public UpdateRunPrepareTest {
 protected:
  update::TUpdateForm& Package(const std::string& devStart) {
    m_folder.Write("SENSOR.TXT", TextFirmware("2.06"));
    EntrySpec first = Entry("22111", "23051.0", "First", "SENSOR.TXT");
    first.devStartCmd = devStart;
    EntrySpec sensor = Entry("30503.0", "30503.0", "Sensor", "SENSOR.TXT");
    sensor.devStartCmd = devStart;
    return StartWith({first, sensor});
  }
};

TEST_F(SensorModes, SensorDataFollowTheCommaAndThePcbGivesTheVariant) {
  update::TUpdateForm& form = Package("3");  // StartMode 2
  Identified("22111.004,30503.002", "23051.000,30503.001", "1.40,2.05", "11110003,22220003");
  EXPECT_EQ(form.PrepareDownload(), 1);
  const update::DeviceRecord& r = form.Record();
  EXPECT_EQ(r.IdentNumber, "30503.002");
  EXPECT_EQ(r.DeviceText, "30503.002");
  EXPECT_EQ(r.DisplayName, "Sensor");
  EXPECT_EQ(r.SoftwareVersion, "2.05");
  EXPECT_EQ(r.DeviceVersion, 2050);
  EXPECT_EQ(r.DeviceVersion2, 0);
  EXPECT_EQ(r.SerialNumber, "22220003");
  EXPECT_EQ(form.StartMode(), 2);
  EXPECT_EQ(form.Run().NextCommand, "");
}

TEST_F(SensorModes, StartModes3And4BecomeSensorModes1And2) {
  update::TUpdateForm& form = Package("4");  // StartMode 3
  Identified("22111.004,30503.002", "23051.000,30503.001", "1.40,2.05");
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_EQ(form.StartMode(), 2);
  EXPECT_EQ(form.Run().SensorMode, 1);
  EXPECT_EQ(form.Run().NextCommand, "A.1230\r\n");
}

TEST_F(SensorModes, WithoutSensorDataTheUserDecides) {
  update::TUpdateForm& form = Package("5");  // StartMode 4
  Identified("22111.004", "23051.000", "1.40");
  m_view.answers = {MessageResult::No, MessageResult::Yes};
  EXPECT_EQ(form.PrepareDownload(), 0);
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "kein digitaler Sensor angeschlossen ?\r\n\r\nTrotzdem fortfahren ?");
  EXPECT_EQ(m_view.boxes[0].caption, "Info");

  Identified("22111.004", "23051.000", "1.40");
  form.Record().FileVersionText.clear();
  EXPECT_EQ(form.PrepareDownload(), 1);
  const update::DeviceRecord& r = form.Record();
  EXPECT_TRUE(r.ImageByChipId);
  EXPECT_FALSE(form.Run().SensorPresent);
  EXPECT_EQ(r.SoftwareVersion, "X.XX");
  EXPECT_EQ(r.IdentNumber, "23051.0");
  EXPECT_EQ(r.SerialNumber, "XXXXXXXX");
  EXPECT_EQ(r.DisplayName, "First");
  EXPECT_EQ(form.Run().SensorMode, 2);
  EXPECT_EQ(form.Run().NextCommand, "A.1231\r\n");
}

TEST_F(SensorModes, StartMode5KeepsTheNumbersAndDownloadsAsSensorMode2) {
  update::TUpdateForm& form = Package("6");  // StartMode 5
  Identified("22111.004", "23051.000,30503.001", "1.40");
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_EQ(form.StartMode(), 0);
  EXPECT_EQ(form.Run().SensorMode, 2);
  EXPECT_EQ(form.Record().IdentNumber, "23051.000,30503.001");
}

TEST_F(UpdateRunPrepareTest, AnUnreadableFileIsReportedAndCountsAsZero) {
  m_folder.Write("MAIN.TXT", TextFirmware("1.00"));
  EntrySpec e = Entry("22001", "23001", "A", "MAIN.TXT");
  e.progFile1 = "GONE.TXT";
  e.swKenn1 = "SWVER=";
  update::TUpdateForm& form = StartWith({e});
  Identified("22001.001", "23001.000", "0.90");
  EXPECT_EQ(form.PrepareDownload(), 1);
  ASSERT_EQ(m_view.exceptions.size(), 1u);
  EXPECT_NE(m_view.exceptions[0].find("GONE.TXT"), std::string::npos);
  EXPECT_EQ(m_view.panels[3], "Version 1.00 / 0");
  EXPECT_EQ(form.ReadFileVersion("SWVER=", "ALSO_GONE.TXT"), "0");
}

// A UTF-16 version resource: the key string, then its value.
std::string PeFile(const std::string& version) {
  std::string out(200, '\0');
  for (char c : std::string("SWVER= " + version)) {
    out.push_back(c);
    out.push_back('\0');
  }
  out.append(8, '\0');
  return out;
}

TEST_F(UpdateRunPrepareTest, AStartupFileAmongTheExtraFilesIsAnnouncedToTheInstrument) {
  m_folder.Write("MAIN.EXE", PeFile("1.00"));
  m_folder.Write("A.EXE", PeFile("1.10"));
  m_folder.Write("TERMIXSTARTUP.EXE", PeFile("2.00"));
  m_folder.Write("X.DLL", PeFile("1.50"));
  update::TUpdateForm& form =
      StartWith({Entry("22001", "23001", "A", "MAIN.EXE,A.EXE,TERMIXSTARTUP.EXE,X.DLL,Y.TXT,Z.EXE")});
  Identified("22001.001", "23001.000", "0.50");
  const uint32_t before = Now();
  EXPECT_EQ(form.PrepareDownload(), 1);
  EXPECT_GE(Now() - before, 3000u);
  EXPECT_EQ(form.Run().StartupFilePosition, 1);
  EXPECT_EQ(form.Run().ExtraRunEnd, 2) << "the run of EXE and DLL files ends before Y.TXT";
  EXPECT_EQ(form.Record().StartupFileVersion, 2000);
  EXPECT_EQ(form.Record().FileVersion, 2000) << "the best version of the run";
  EXPECT_EQ(m_view.panels[3], "Version 2.00");
  EXPECT_EQ(MemoContaining("A.2100").size(), 1u);
  EXPECT_EQ(form.LoaderKind(), 2);
}

}  // namespace
}  // namespace runtest
