// Whole runs from OK for an instrument on a Windows CE image: the package's
// .EXE main file (its version read from the version resource) and its
// extra files reach the instrument byte for byte, the run ends with the
// success text; a failed transfer shows its box and the retry on OK works.
#include <string>
#include <vector>

#include "PeVersionFile.h"
#include "UpdateRunFixture.h"
#include "sim/model/ShippedProfiles.h"
#include "sim/wince/WinCeReceiverModel.h"

namespace runtest {
namespace {

using sim::WinCeReceiverModel;

// A program file whose version resource carries "FileVersion" = "V<version>"
// (the tool reads the value without its first character).
std::string ProgramFile(const std::string& version, size_t codeSize, uint8_t seed) {
  std::string file = "MZ" + std::string(126, '\0');
  for (size_t i = 0; i < codeSize; ++i) file += static_cast<char>((i * 31 + seed) & 0xFF);
  std::u16string value = u"V";
  for (char c : version) value += static_cast<char16_t>(c);
  file += testing_support::PeResourceString(u"FileVersion", value);
  return file + std::string(64, '\0');
}

std::string Data(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + 3) % 251);
  return s;
}

class WinCeWindowRunTest : public DownloadRunTest {
 protected:
  void WritePackage(bool withData = true) {
    m_main = ProgramFile("2.01", 4500, 1);
    m_library = ProgramFile("2.01", 300, 2);
    m_startup = ProgramFile("1.11", 2100, 3);
    m_data = Data(4500);
    m_folder.Write("CELOG.EXE", m_main);
    m_folder.Write("HELP.DLL", m_library);
    m_folder.Write("TERMIXSTARTUP.EXE", m_startup);
    if (withData) m_folder.Write("DATA.DAT", m_data);
    EntrySpec e = MakeEntry("1", "22410", "24110", "CE Logger", "CELOG.EXE,HELP.DLL,TERMIXSTARTUP.EXE,DATA.DAT");
    e.swKenn2 = "FileVersion";
    e.flashErase2 = "";
    e.flashErase3 = "";
    Start("Language=1\r\nBaud=2\r\n", {e});
  }

  // Every file the instrument kept, over all its transfer sessions.
  std::vector<WinCeReceiverModel::ReceivedFile> Stored(const sim::Instrument& instrument) const {
    std::vector<WinCeReceiverModel::ReceivedFile> out;
    for (const auto& m : instrument.History())
      if (const auto* r = dynamic_cast<const WinCeReceiverModel*>(m.get()))
        for (const auto& f : r->Files())
          if (f.state == WinCeReceiverModel::FileState::kStored) out.push_back(f);
    return out;
  }

  void ExpectPackageStored(const sim::Instrument& instrument) {
    const auto files = Stored(instrument);
    ASSERT_EQ(files.size(), 4u);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"CELOG.EXE", m_main}, {"HELP.DLL", m_library}, {"TERMIXSTARTUP.EXE", m_startup}, {"DATA.DAT", m_data}};
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(files[i].name, expected[i].first);
      EXPECT_EQ(std::string(files[i].bytes.begin(), files[i].bytes.end()), expected[i].second) << files[i].name;
    }
  }

  std::string m_main, m_library, m_startup, m_data;
};

TEST_F(WinCeWindowRunTest, FromOkToTheSuccessText) {
  sim::Instrument& logger = Place(1, sim::LoadShippedProfile("wince-logger"));
  WritePackage();
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_EQ(MemoContaining("Store new data !!").size(), 1u);
  EXPECT_TRUE(m_view.boxes.empty());
  ExpectPackageStored(logger);
  // The instrument's program was told the start-up notice (which it refuses:
  // its start-up program takes it), the rate, and the clock afterwards.
  const auto sessions = ProgramSessions(logger);
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_NE(std::find(sessions[0].begin(), sessions[0].end(), "A.2100"), sessions[0].end());
  EXPECT_EQ(sessions[0].back(), "A.1300#38400");
  ASSERT_FALSE(sessions[1].empty());
  EXPECT_EQ(sessions[1].front().rfind("A.1600#", 0), 0u);
}

TEST_F(WinCeWindowRunTest, ATerminalWithOnlyItsProgramAt9600) {
  sim::Instrument& terminal = Place(1, sim::LoadShippedProfile("wince-terminal"));
  const std::string program = ProgramFile("1.01", 2500, 9);
  m_folder.Write("CETERM.EXE", program);
  EntrySpec e = MakeEntry("1", "22400", "24100", "CE Terminal", "CETERM.EXE");
  e.swKenn2 = "FileVersion";
  Start("Language=1\r\nBaud=3\r\n", {e});
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  const auto files = Stored(terminal);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(std::string(files[0].bytes.begin(), files[0].bytes.end()), program);
  // Its start-up program (1.05) knows the first transfer's announcement.
  EXPECT_EQ(files[0].announcedBy, 1201);
  EXPECT_EQ(ProgramSessions(terminal).at(0).back(), "A.1300#38400");
  EXPECT_EQ(MemoContaining("A.1300#9600").size(), 1u);
}

TEST_F(WinCeWindowRunTest, AMissingExtraFileFailsAndTheRetryOnOkSendsEverything) {
  sim::Instrument& logger = Place(1, sim::LoadShippedProfile("wince-logger"));
  WritePackage(false);
  PressOk();
  RunToEnd();
  ExpectFailureShown("The firmware file DATA.DAT cannot be opened.");
  m_folder.Write("DATA.DAT", m_data);
  m_view.boxes.clear();
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(m_view.boxes.empty());
  // The first session kept three files; the retry's sent all four again.
  const auto files = Stored(logger);
  ASSERT_EQ(files.size(), 7u);
  EXPECT_EQ(std::string(files.back().bytes.begin(), files.back().bytes.end()), m_data);
}

TEST_F(WinCeWindowRunTest, TheInstrumentsErrorFailsAndTheRetryOnOkSucceeds) {
  onLoader = [](sim::InstrumentModel& m) {
    if (auto* r = dynamic_cast<WinCeReceiverModel*>(&m)) r->Faults().errorAt = 2, r->Faults().errorNumber = 6;
  };
  sim::Instrument& logger = m_faultRack.Place(1, sim::LoadShippedProfile("wince-logger"));
  WritePackage();
  PressOk();
  RunToEnd();
  ExpectFailureShown("The instrument reports error 6. The transfer was aborted.");
  onLoader = nullptr;
  m_view.boxes.clear();
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(m_view.boxes.empty());
  ExpectPackageStored(logger);
}

}  // namespace
}  // namespace runtest
