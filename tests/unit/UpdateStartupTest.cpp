// The start of the window: the order of the construction steps as far as
// they show, the package scan and its menu side effects.
#include <gtest/gtest.h>

#include "PackageFolder.h"
#include "RecordingView.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"

namespace {

using testing_support::MakeEnvironment;
using testing_support::RecordingView;
using testing_support::TempFolder;
using update::Control;
using update::TUpdateForm;

std::string Entry(const std::string& progFile2) {
  std::string block = "[Device]\r\n";
  for (const char* key : {"DevStartCmd=1", "DeviceNrDef=1", "DeviceNr=1", "DeviceName=Meter",
                          "ProgFile1=", "ProgFile3=", "SWKenn1=", "SWKenn2=", "SWKenn3=", "BootLoadKenn=",
                          "FlashErase1=", "FlashErase2=", "FlashErase3=", "ProgDefFile=", "ProzTyp=0"}) {
    block += std::string(key) + "\r\n";
  }
  return block + "ProgFile2=" + progFile2 + "\r\n\r\n";
}

class UpdateStartupTest : public ::testing::Test {
 protected:
  void Package(const std::string& update, const std::string& entries, const std::string& texts) {
    m_folder.Write("Update.ini", update);
    m_folder.Write("ProgDevice.ini", entries + texts);
  }
  TUpdateForm& Start() {
    m_form = std::make_unique<TUpdateForm>(m_host, m_portSystem, m_view, MakeEnvironment(m_folder.Path()));
    EXPECT_TRUE(m_form->FormCreate());
    return *m_form;
  }

  TempFolder m_folder;
  platform::sim::SimHost m_host;
  platform::sim::SimPortSystem m_portSystem{m_host.Time()};
  RecordingView m_view;
  std::unique_ptr<TUpdateForm> m_form;
};

TEST_F(UpdateStartupTest, StartTextLanguageAndFlags) {
  Package("Language=1\r\n", Entry("FW.TXT"),
          "StarttextD=Willkommen\r\nStarttextE=Connect the NAME to COM X\\rand press OK\r\n"
          "AbbruchtextD=\r\nAbbruchtextE=\r\n");
  TUpdateForm& form = Start();
  EXPECT_TRUE(m_view.Checked(Control::Englisch));
  EXPECT_FALSE(m_view.Checked(Control::Deutsch));
  ASSERT_EQ(m_view.memo.size(), 1u);
  EXPECT_EQ(m_view.memo[0], "Connect the device to COM 1\r\nand press OK");
  EXPECT_EQ(form.Run().DevicePort, -1);
  EXPECT_EQ(form.Run().AirPressureIndex, -1);
  EXPECT_EQ(form.Service().VersionCheck, 1);
  EXPECT_EQ(form.GuiBusy(), 0);
  EXPECT_EQ(form.Slots().RegisteredCount(), 5);
  for (int tag = 1; tag <= 5; ++tag) {
    EXPECT_EQ(form.SlotTimer(tag).Tag(), tag);
    EXPECT_FALSE(form.SlotTimer(tag).Enabled());
  }
  EXPECT_EQ(form.SecTimer().Interval(), 500u);
  EXPECT_EQ(form.TitleTimer().Interval(), 300u);
  EXPECT_FALSE(form.SecTimer().Enabled());
  EXPECT_FALSE(form.TitleTimer().Enabled());
}

TEST_F(UpdateStartupTest, PlaceholdersAreReplacedOnce) {
  Package("Language=0\r\n", "", "StarttextD=NAME DATEI\r\nStarttextE=\r\nAbbruchtextD=\r\nAbbruchtextE=\r\n");
  TUpdateForm& form = Start();
  EXPECT_EQ(m_view.memo.at(0), "Ger\xE4t ");
  form.Record().DisplayName = "NAME of DATEI";
  form.Record().MainFile = "DATEI.TXT";
  EXPECT_EQ(form.FillPlaceholders("Kein NAME gefunden, DATEI"), "Kein NAME of DATEI gefunden, DATEI.TXT");
}

TEST_F(UpdateStartupTest, PackageScanRules) {
  Package("Language=0\r\n", Entry("multi720") + Entry("ph720") + Entry("") + Entry("cond720"),
          "StarttextD=\r\nStarttextE=\r\nAbbruchtextD=\r\nAbbruchtextE=\r\n");
  for (const char* name : {"ph720q.mot", "Multi720q_Version.MOT", "version.txt", "fw_version.hex", "main.txt",
                           "eep_data.bin", "Lab.Bin", "tool.exe", "lib.dll", "notes.doc", "x.mot.bak"}) {
    m_folder.Write(name, "data");
  }
  std::filesystem::create_directories(m_folder.Path() / "folder.txt");
  TUpdateForm& form = Start();
  // Per pattern in the order .mot .txt .exe .dll .hex .bin, upper-cased;
  // VERSION is only skipped outside .mot files, EEP always.
  const std::vector<std::string> expected = {
      "MULTI720Q_VERSION.MOT", "PH720Q.MOT", "MAIN.TXT", "TOOL.EXE", "LIB.DLL", "LAB.BIN"};
  EXPECT_EQ(form.PackageFiles(), expected);
  EXPECT_EQ(m_view.list,
            (std::vector<std::string>{"MULTI720Q_VERSION", "PH720Q", "MAIN", "TOOL", "LIB", "LAB"}));
  // The last .mot file decides the submenu: PH720Q.MOT does not hold entry
  // 0's ProgFile2, so the submenu is hidden again.
  EXPECT_FALSE(m_view.Visible(Control::VE720dProgramming));
  EXPECT_TRUE(m_view.Enabled(Control::DevMulti720q));
  EXPECT_TRUE(m_view.Enabled(Control::DevpH720q)) << "once enabled, it stays enabled";
  EXPECT_FALSE(m_view.Enabled(Control::DevOxi720q)) << "an empty ProgFile2 matches nothing";
  EXPECT_FALSE(m_view.Enabled(Control::DevCond720q));
}

TEST_F(UpdateStartupTest, SubmenuShownByTheLastMotFileAndLabByOtherFiles) {
  Package("Language=0\r\n", Entry("multi720") + Entry("lab"),
          "StarttextD=\r\nStarttextE=\r\nAbbruchtextD=\r\nAbbruchtextE=\r\n");
  m_folder.Write("a.mot", "");
  m_folder.Write("b_multi720.mot", "");
  m_folder.Write("labxxx.txt", "");
  m_view.SetEnabled(Control::LabXXX, false);
  Start();
  EXPECT_TRUE(m_view.Visible(Control::VE720dProgramming));
  EXPECT_TRUE(m_view.Enabled(Control::LabXXX));
}

TEST_F(UpdateStartupTest, AtMost160PackageFiles) {
  Package("Language=0\r\n", "", "");
  for (int i = 0; i < 170; ++i) m_folder.Write("f" + std::to_string(1000 + i) + ".hex", "");
  TUpdateForm& form = Start();
  EXPECT_EQ(form.PackageFiles().size(), 160u);
  EXPECT_EQ(m_view.list.size(), 160u);
}

}  // namespace

namespace {

TEST_F(UpdateStartupTest, TranslationAtStartAndLanguageSwitch) {
  Package("Language=1\r\nVersion=2.0\r\nBaud=3\r\n", Entry("FW.TXT"),
          "StarttextD=Willkommen\r\nStarttextE=Welcome\r\nAbbruchtextD=\r\nAbbruchtextE=\r\n");
  TUpdateForm& form = Start();
  ASSERT_EQ(m_view.translations.size(), 1u);
  EXPECT_EQ(m_view.translations[0], (m_folder.Path() / "Update.Eng").string());

  form.LanguageClick(0);
  EXPECT_EQ(form.Language(), 0);
  EXPECT_TRUE(m_view.Checked(Control::Deutsch));
  EXPECT_FALSE(m_view.Checked(Control::Englisch));
  ASSERT_EQ(m_view.translations.size(), 2u);
  EXPECT_EQ(m_view.translations[1], (m_folder.Path() / "Update.Deu").string());
  EXPECT_EQ(m_view.memo, std::vector<std::string>{"Willkommen"}) << "the log starts anew in the new language";
  EXPECT_EQ(m_folder.Read("Update.ini"), "Language=0\r\nVersion=2.0\r\nBaud=3\r\nCom=\r\nException=\r\n");
}

TEST_F(UpdateStartupTest, DictionaryFoundInAnyCase) {
  Package("Language=0\r\n", "", "");
  m_folder.Write("update.deu", "[UpdateForm]Download ::=Herunterladen\r\n");
  Start();
  EXPECT_EQ(m_view.translations.at(0), (m_folder.Path() / "update.deu").string());
}

}  // namespace
