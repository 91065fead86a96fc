// Update.ini and ProgDevice.ini as the window reads and writes them, and the
// folder mirroring of the user's copy.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include <map>
#include <string>

#include "PackageFolder.h"
#include "RecordingView.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"

namespace {

using testing_support::MakeEnvironment;
using testing_support::RecordingView;
using testing_support::TempFolder;
using update::TUpdateForm;

// A device block of the 16 keys; `extra` lines are put in front.
std::string DeviceBlock(std::map<std::string, std::string> values, const std::string& extra = "") {
  std::map<std::string, std::string> all = {
      {"DevStartCmd", "1"}, {"DeviceNrDef", "11111"}, {"DeviceNr", "22222"},      {"DeviceName", "pH 7"},
      {"ProgFile1", ""},    {"ProgFile2", "ph7.txt"}, {"ProgFile3", ""},          {"SWKenn1", "V"},
      {"SWKenn2", ""},      {"SWKenn3", ""},          {"BootLoadKenn", ""},       {"FlashErase1", ""},
      {"FlashErase2", ""},  {"FlashErase3", ""},      {"ProgDefFile", "def.txt"}, {"ProzTyp", "0"}};
  for (auto& [key, value] : values) all[key] = value;
  static const char* const kOrder[] = {"DevStartCmd", "DeviceNrDef", "DeviceNr",     "DeviceName",
                                       "ProgFile1",   "ProgFile2",   "ProgFile3",    "SWKenn1",
                                       "SWKenn2",     "SWKenn3",     "BootLoadKenn", "FlashErase1",
                                       "FlashErase2", "FlashErase3", "ProgDefFile",  "ProzTyp"};
  std::string block = extra;
  for (const char* key : kOrder) block += std::string(key) + "=" + all[key] + "\r\n";
  return block;
}

const char* const kTextBlock =
    "StarttextD=Hallo\r\nStarttextE=Hello\r\nAbbruchtextD=Abbruch D\r\nAbbruchtextE=Abort E\r\n";

class UpdateConfigTest : public ::testing::Test {
 protected:
  TUpdateForm& Form(std::map<std::string, std::string> variables = {}) {
    variables.emplace("HOME", (m_folder.Path() / "home").string());
    m_form = std::make_unique<TUpdateForm>(m_host, m_portSystem, m_view, MakeEnvironment(Work(), variables));
    return *m_form;
  }
  virtual std::filesystem::path Work() const { return m_folder.Path(); }

  TempFolder m_folder;
  platform::sim::SimHost m_host;
  platform::sim::SimPortSystem m_portSystem{m_host.Time()};
  RecordingView m_view;
  std::unique_ptr<TUpdateForm> m_form;
};

TEST_F(UpdateConfigTest, BaudListDefaultsAndLists) {
  struct Case {
    const char* line;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"", {2, 3, 4, 1, 0}},           // no Baud key
      {"Baud=\r\n", {2, 3, 4, 1, 0}},  // empty value
      {"Baud=3\r\n", {3}},             // 9600 alone
      {"Baud=5,3\r\n", {5, 3}},        // 38400, then 9600
      {"baud=4x,2\r\n", {4, 2}},       // atol from the element's start, key in any case
      {"Baud=3,42,-1,1\r\n", {3, 1}},  // codes naming no rate are dropped
      {"Baud=1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,2,2\r\n", std::vector<int>(16, 1)},  // 16 at most
  };
  for (const Case& c : cases) {
    m_folder.Write("Update.ini", std::string("Language=0\r\n") + c.line);
    TUpdateForm& form = Form();
    ASSERT_EQ(form.ReadUpdateIni("Update.ini"), 0) << c.line;
    const auto& s = form.Settings();
    EXPECT_EQ(std::vector<int>(s.BaudList.begin(), s.BaudList.begin() + s.BaudCount), c.expected) << c.line;
  }
}

TEST_F(UpdateConfigTest, UpdateIniKeysAndTheirExactRules) {
  m_folder.Write("Update.ini",
                 "[Update]\r\nLanguage = 1\r\nVersion=2.10 beta\r\nCom=3\r\nException=FOO NOVERSIONTEST\r\n");
  TUpdateForm& form = Form();
  ASSERT_EQ(form.ReadUpdateIni("Update.ini"), 0);
  EXPECT_EQ(form.Language(), 0) << "blanks around = hide the key";
  EXPECT_EQ(form.Settings().Version, "2.10 beta");
  EXPECT_TRUE(form.Settings().FixedPort);
  EXPECT_EQ(form.Settings().FixedPortNumber, 2);
  EXPECT_TRUE(form.Settings().NoVersionTest);

  m_folder.Write("Update.ini", "LANGUAGE=1\r\nException=noversiontest\r\nCom=0\r\n");
  TUpdateForm& second = Form();
  ASSERT_EQ(second.ReadUpdateIni("Update.ini"), 0);
  EXPECT_EQ(second.Language(), 1);
  EXPECT_FALSE(second.Settings().NoVersionTest) << "the word counts in upper case only";
  EXPECT_FALSE(second.Settings().FixedPort) << "COM0 does not exist";

  m_folder.Write("Update.ini", "Language=7\nCom=257\n");
  TUpdateForm& third = Form();
  ASSERT_EQ(third.ReadUpdateIni("Update.ini"), 0);
  EXPECT_EQ(third.Language(), 0) << "an unknown language is German";
  EXPECT_FALSE(third.Settings().FixedPort);
}

TEST_F(UpdateConfigTest, MissingFilesEndTheStartWithTheirMessages) {
  TUpdateForm& form = Form();
  EXPECT_FALSE(form.FormCreate());
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "Konfigurationsdatei 1 nicht vorhanden!!Programm wird beendet");
  EXPECT_EQ(m_view.boxes[0].caption, "Error");
  EXPECT_EQ(m_view.boxes[0].icon, update::MessageIcon::Error);

  m_view.boxes.clear();
  m_folder.Write("Update.ini", "Language=1\r\n");
  TUpdateForm& second = Form();
  EXPECT_FALSE(second.FormCreate());
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "Konfigurationsdatei 2 nicht vorhanden!!Programm wird beendet");
  EXPECT_EQ(m_view.boxes[0].caption, "Error");
  EXPECT_EQ(m_view.boxes[0].icon, update::MessageIcon::Error);
  EXPECT_TRUE(m_view.memo.empty()) << "nothing of the start may run";
}

// A file that is there but unusable is not "nicht vorhanden": the box says
// what is wrong, and the start still ends. A FIFO must not hang it.
TEST_F(UpdateConfigTest, UnusableConfigurationFilesSayWhatIsWrong) {
  const std::filesystem::path ini = m_folder.Path() / "Update.ini";
  struct Case {
    std::function<void()> make;
    const char* german;
    const char* english;
  };
  const Case cases[] = {
      {[&] { std::filesystem::create_directory(ini); }, "ist ein Ordner", "is a folder"},
      {[&] { std::filesystem::create_symlink(ini, ini); }, "im Kreis", "loop"},
      {[&] { ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0); }, "keine gew\xF6hnliche Datei", "not a regular file"},
      {[&] {
         m_folder.Write("Update.ini", "Language=1\r\n");
         std::filesystem::resize_file(ini, update::IniLines::kMaxFileBytes + 1);
       },
       "zu gro\xDF", "too large"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(ini);
    c.make();
    m_view.boxes.clear();
    EXPECT_FALSE(Form().FormCreate()) << c.english;
    ASSERT_EQ(m_view.boxes.size(), 1u) << c.english;
    const std::string& text = m_view.boxes[0].text;
    EXPECT_EQ(text.rfind("Konfigurationsdatei 1 (" + ini.string() + ") ", 0), 0u) << text;
    EXPECT_NE(text.find(c.german), std::string::npos) << text;
    EXPECT_NE(text.find(c.english), std::string::npos) << text;
    EXPECT_NE(text.find("!!Programm wird beendet"), std::string::npos) << text;
    EXPECT_EQ(text.find("nicht vorhanden"), std::string::npos) << text;
    EXPECT_EQ(m_view.boxes[0].icon, update::MessageIcon::Error);
  }

  // ProgDevice.ini in the language just read.
  std::filesystem::remove_all(ini);
  m_folder.Write("Update.ini", "Language=1\r\n");
  std::filesystem::create_directory(m_folder.Path() / "ProgDevice.ini");
  m_view.boxes.clear();
  EXPECT_FALSE(Form().FormCreate());
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "Configuration file 2 (" + (m_folder.Path() / "ProgDevice.ini").string() +
                                      ") is a folder!!The program ends");
  EXPECT_TRUE(m_view.memo.empty()) << "nothing of the start may run";
}

TEST_F(UpdateConfigTest, SaveWritesExactlyFiveLinesAndKeepsTheOtherValues) {
  m_folder.Write(
      "Update.ini",
      "; comment\r\nVersion=1.5\r\nLanguage=0\r\nBaud=5,3\r\nOther=x\r\nException=NOVERSIONTEST\r\n");
  TUpdateForm& form = Form();
  ASSERT_EQ(form.ReadUpdateIni("Update.ini"), 0);
  m_folder.Write("Update.ini", "Version=9.9\r\nLanguage=0\r\nBaud=4\r\nCom=2\r\nException=\r\n");
  ASSERT_EQ(form.ReadUpdateIni("Update.ini"), 0);
  // The language comes from the window, Version is the one read, the rest
  // from the file as it is now.
  form.LanguageClick(1);  // saves Update.ini
  EXPECT_TRUE(m_view.boxes.empty());
  EXPECT_TRUE(m_view.exceptions.empty());
  EXPECT_EQ(m_folder.Read("Update.ini"), "Language=1\r\nVersion=9.9\r\nBaud=4\r\nCom=2\r\nException=\r\n");
  for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) {
    EXPECT_EQ(entry.path().filename(), "Update.ini") << "no temporary file may be left";
  }
}

TEST_F(UpdateConfigTest, SaveWithoutAFileShowsItsMessageAndWritesNothing) {
  TUpdateForm& form = Form();
  EXPECT_EQ(form.SaveUpdateIni("Update.ini"), -1);
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "Konfigurationsdatei 2 nicht vorhanden!!Programm wird beendet");
  EXPECT_FALSE(std::filesystem::exists(m_folder.Path() / "Update.ini"));
}

// The package installed below the program-files folder: the user's copy of
// Update.ini lives in the same relative place below the public folder.
class UpdateMirrorTest : public UpdateConfigTest {
 protected:
  std::filesystem::path Work() const override { return m_folder.Path() / "pf" / "Vendor" / "Update"; }
  std::map<std::string, std::string> Mirror() const {
    return {{"ProgramFiles", (m_folder.Path() / "pf").string()},
            {"PUBLIC", (m_folder.Path() / "pub").string()}};
  }
  std::filesystem::path Mirrored() const { return m_folder.Path() / "pub" / "Vendor" / "Update"; }
};

TEST_F(UpdateMirrorTest, FirstLanguageChangeCreatesTheMirroredCopy) {
  m_folder.Write("pf/Vendor/Update/Update.ini", "Language=1\r\nVersion=3.0\r\nBaud=3\r\n[x]\r\n");
  TUpdateForm& form = Form(Mirror());
  EXPECT_EQ(form.ConfigDirectory(), Mirrored().string());
  EXPECT_TRUE(std::filesystem::is_directory(Mirrored())) << "the mirror folder is created";

  ASSERT_EQ(form.ReadUpdateIni("Update.ini"), 0);
  EXPECT_EQ(form.Language(), 1) << "read from the working directory";
  form.LanguageClick(0);
  EXPECT_TRUE(m_view.exceptions.empty());
  EXPECT_EQ(TempFolder::ReadFile(Mirrored() / "Update.ini"),
            "Language=0\r\nVersion=3.0\r\nBaud=3\r\nCom=\r\nException=\r\n");
  EXPECT_EQ(m_folder.Read("pf/Vendor/Update/Update.ini"), "Language=1\r\nVersion=3.0\r\nBaud=3\r\n[x]\r\n")
      << "the installed copy stays as it was";

  ASSERT_EQ(form.ReadUpdateIni("Update.ini"), 0);
  EXPECT_EQ(form.Language(), 0) << "from now on the user's copy is read";
}

TEST_F(UpdateMirrorTest, FoldersAreMatchedByWholeNamesAndDefaults) {
  auto variables = Mirror();
  variables["ProgramFiles"] = (m_folder.Path() / "p").string();  // a prefix of "pf", not a folder of the path
  EXPECT_EQ(Form(variables).ConfigDirectory(), "");

  EXPECT_EQ(Form({{"PUBLIC", "/srv/public"}}).ConfigDirectory(), "")
      << "the default /opt does not hold the package";

  std::string folder;
  EXPECT_EQ(Form().PublicDirectory(folder), 1);
  EXPECT_EQ(folder, (m_folder.Path() / "home" / ".local/share").string());
  EXPECT_EQ(Form({{"XDG_DATA_HOME", "/data"}}).PublicDirectory(folder), 1);
  EXPECT_EQ(folder, "/data");
  EXPECT_EQ(Form({{"PUBLIC", std::string(81, 'x')}}).PublicDirectory(folder), 0)
      << "longer than 80 characters";
  EXPECT_EQ(Form({{"PUBLIC", "%PUBLIC%"}}).PublicDirectory(folder), 0);
}

TEST_F(UpdateMirrorTest, AFailedWriteIsReportedAndTheProgramGoesOn) {
  m_folder.Write("pf/Vendor/Update/Update.ini", "Language=1\r\n");
  std::filesystem::create_directories(Mirrored() / "Update.ini" / "blocker");  // cannot be replaced by a file
  TUpdateForm& form = Form(Mirror());
  ASSERT_EQ(form.ReadUpdateIni("Update.ini"), 0);
  EXPECT_EQ(form.SaveUpdateIni("Update.ini"), -1);
  ASSERT_EQ(m_view.exceptions.size(), 1u);
  EXPECT_NE(m_view.exceptions[0].find("Update.ini"), std::string::npos);
  EXPECT_TRUE(m_view.boxes.empty());
  EXPECT_EQ(m_folder.Read("pf/Vendor/Update/Update.ini"), "Language=1\r\n");
}

TEST_F(UpdateConfigTest, ProgDeviceBlocksByTheirLength) {
  m_folder.Write(
      "ProgDevice.ini",
      DeviceBlock({{"DevStartCmd", "2"}, {"DeviceNr", "12345"}, {"DeviceNrDef", "1234"}}, "[Device 1]\r\n") +
          "\r\n\r\n" + kTextBlock + "\r\n" +
          DeviceBlock({{"DevStartCmd", "5"},
                       {"SWKenn1", "V\\r\\nxyz"},
                       {"ProzTyp", "5438"},
                       {"ProgFile2", "multi.mot"}}) +
          "\r\n[Texts]\r\n" + std::string(kTextBlock).replace(11, 5, "Servus") + "\r\nA=1\r\nB=2\r\nC=3\r\n");
  TUpdateForm& form = Form();
  ASSERT_EQ(form.ReadProgDeviceIni("ProgDevice.ini"), 0);
  ASSERT_EQ(form.DeviceTable().size(), 2u) << "17 lines with the section line still make an entry";
  const update::DeviceEntry& first = form.DeviceTable()[0];
  EXPECT_EQ(first.DeviceNr, "12345.000");
  EXPECT_EQ(first.DeviceNrDef, "1234");
  EXPECT_EQ(first.ProgFile2, "PH7.TXT");
  EXPECT_EQ(first.ProgDefFile, "DEF.TXT");
  EXPECT_EQ(first.DeviceName, "pH 7");
  const update::DeviceEntry& second = form.DeviceTable()[1];
  EXPECT_EQ(second.SWKenn1, "V\r\n");
  EXPECT_EQ(second.ProzTyp, 21560);
  EXPECT_EQ(form.StartMode(), 4) << "the last entry decides";
  EXPECT_EQ(form.ConfiguredStartMode(), 4);
  EXPECT_EQ(form.Texts().StarttextD, "Hallo") << "a 4-line block is the text block, 5 lines are ignored";
  EXPECT_EQ(form.Texts().StarttextE, "Hello");
  EXPECT_EQ(form.Texts().AbbruchtextE, "Abort E");
  EXPECT_EQ(form.LoaderKind(), 1) << "from ProgFile2 of the first entry";
  EXPECT_EQ(form.FindProgDefFile(21560), std::optional<std::string>("DEF.TXT"));
  EXPECT_EQ(form.FindProgDefFile(7), std::nullopt);
}

TEST_F(UpdateConfigTest, StartModeAndLoaderKindRules) {
  struct Case {
    const char* start;
    int mode;
  };
  for (const Case& c : {Case{"1", 0}, Case{"6", 5}, Case{"7", 0}, Case{"9", 2}, Case{"x", 3}, Case{"", 3}}) {
    m_folder.Write("ProgDevice.ini", DeviceBlock({{"DevStartCmd", "4"}, {"ProgFile2", "a.exe+b.hex"}}) +
                                         "\r\n" + DeviceBlock({{"DevStartCmd", c.start}}));
    TUpdateForm& form = Form();
    ASSERT_EQ(form.ReadProgDeviceIni("ProgDevice.ini"), 0);
    EXPECT_EQ(form.StartMode(), c.mode) << "DevStartCmd " << c.start;
    EXPECT_EQ(form.LoaderKind(), 2 | 3);
  }
  m_folder.Write("ProgDevice.ini", std::string(kTextBlock));
  TUpdateForm& empty = Form();
  ASSERT_EQ(empty.ReadProgDeviceIni("ProgDevice.ini"), 0);
  EXPECT_TRUE(empty.DeviceTable().empty());
  EXPECT_EQ(empty.StartMode(), 0);
  EXPECT_EQ(empty.LoaderKind(), 0);
}

TEST_F(UpdateConfigTest, ValuesBeyondTheCapacitiesAreClipped) {
  const std::string longText(700, 'k');
  std::string file;
  for (int i = 0; i < 260; ++i) {
    file += DeviceBlock({{"DeviceName", longText},
                         {"DeviceNr", longText},
                         {"ProgFile1", longText},
                         {"ProgFile2", longText},
                         {"SWKenn2", longText},
                         {"SWKenn3", std::string(70, 'v') + "\\r\\n"},
                         {"FlashErase1", longText},
                         {"ProzTyp", "FFFFFFFFFFFF"}}) +
            "\r\n";
  }
  file += "StarttextD=" + longText + "\r\nStarttextE=e\r\nAbbruchtextD=d\r\nAbbruchtextE=e\r\n";
  m_folder.Write("ProgDevice.ini", file);
  TUpdateForm& form = Form();
  ASSERT_EQ(form.ReadProgDeviceIni("ProgDevice.ini"), 0);
  ASSERT_EQ(form.DeviceTable().size(), 255u);
  const update::DeviceEntry& e = form.DeviceTable()[254];
  EXPECT_EQ(e.DeviceName.size(), 31u);
  EXPECT_EQ(e.DeviceNr.size(), 11u);
  EXPECT_EQ(e.ProgFile1, std::string(31, 'K'));
  EXPECT_EQ(e.ProgFile2.size(), 511u);
  EXPECT_EQ(e.SWKenn2.size(), 63u);
  EXPECT_EQ(e.SWKenn3, std::string(61, 'v') + "\r\n") << "the line end survives the clipping";
  EXPECT_EQ(e.FlashErase1.size(), 11u);
  EXPECT_EQ(e.ProzTyp, INT32_MAX);
  EXPECT_EQ(form.Texts().StarttextD.size(), 511u);
}

TEST_F(UpdateConfigTest, LineEndsAndEncodings) {
  // LF and CR alone end lines too; a UTF-8 byte-order mark makes the file
  // UTF-8, without one every byte is a Latin-1 character.
  m_folder.Write("ProgDevice.ini", "StarttextD=Ger\xE4t\rStarttextE=x\nAbbruchtextD=\r\nAbbruchtextE=");
  TUpdateForm& form = Form();
  ASSERT_EQ(form.ReadProgDeviceIni("ProgDevice.ini"), 0);
  EXPECT_EQ(form.Texts().StarttextD, "Ger\xE4t");
  m_folder.Write("ProgDevice.ini",
                 "\xEF\xBB\xBFStarttextD=Ger\xC3\xA4t \xE2\x82\xAC\r\nStarttextE=x\r\nA=\r\nB=\r\n");
  ASSERT_EQ(form.ReadProgDeviceIni("ProgDevice.ini"), 0);
  EXPECT_EQ(form.Texts().StarttextD, "Ger\xE4t ?");
}

}  // namespace
