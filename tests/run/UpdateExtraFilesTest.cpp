// Whole runs from OK whose second stage sends the package's extra files
// through the instrument's file commands: what the instrument stored, the
// Windows CE and BIN hand-overs that lead there without a transfer, and the
// failures of the transfer (each one error box, the abort text, OK free).
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "PeVersionFile.h"
#include "TiTxtImages.h"
#include "UpdateRunFixture.h"

namespace runtest {
namespace {

using Strings = std::vector<std::string>;
using testing_support::FlashHoldsImage;
using testing_support::PeFileWith;
using testing_support::TiTxt;

// Bytes that hold every value, zeros and line ends among them.
std::string FileBytes(size_t size, unsigned step = 7) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * step + i / 256) & 0xFF);
  return bytes;
}

const sim::AsciiModel* LastProgram(const sim::Instrument& instrument) {
  const sim::AsciiModel* last = nullptr;
  for (const auto& model : instrument.History()) {
    if (auto* ascii = dynamic_cast<const sim::AsciiModel*>(model.get())) last = ascii;
  }
  return last;
}

// An instrument program that takes files.
sim::InstrumentProfile FileTaker(const std::string& shipped, const std::string& version = {}) {
  sim::InstrumentProfile p = sim::LoadShippedProfile(shipped);
  p.accepted.push_back(sim::kFileStartCommand);
  if (!version.empty()) p.version = version;
  return p;
}

class UpdateExtraFilesTest : public DownloadRunTest {
 protected:
  // The files the instrument's last program stored equal the package files
  // (`stored` name, package path), each complete.
  void ExpectStored(const sim::Instrument& instrument,
                    const std::vector<std::pair<std::string, std::string>>& files) {
    const sim::AsciiModel* program = LastProgram(instrument);
    ASSERT_NE(program, nullptr);
    const auto& received = program->Files();
    ASSERT_EQ(received.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(received[i].name, files[i].first);
      EXPECT_TRUE(received[i].complete) << files[i].first;
      const std::string expected = m_folder.Read(files[i].second);
      EXPECT_EQ(std::string(received[i].bytes.begin(), received[i].bytes.end()), expected) << files[i].first;
    }
  }

  void ExpectSuccessShown() {
    EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
    EXPECT_TRUE(MemoContaining(kAbortEnglish).empty());
    EXPECT_TRUE(m_view.boxes.empty()) << m_view.boxes[0].text;
    EXPECT_FALSE(m_form->Run().ExtraTransferActive);
  }

  // A BIN package whose main file the instrument already has (1.10 against
  // 1.00) and whose second file is not newer either: the hand-over goes
  // straight to the second stage, and from there to the extra files
  // `extras` (comma-separated).
  sim::Instrument& StartBinRun(const std::string& extras, sim::InstrumentProfile profile) {
    return StartBinRun(extras, m_faultRack.Place(1, profile));
  }
  sim::Instrument& StartBinRun(const std::string& extras, sim::Instrument& placed) {
    m_folder.Write("METER.BIN", std::string(300, '\x11') + '\0' + "VERS=1.00\0tail" + std::string(20, '\0'));
    m_folder.Write("SENSOR.TXT", TextFirmware("1.00"));
    EntrySpec entry = MakeEntry("1", "22074", "23010", "BIN Meter", "METER.BIN," + extras);
    entry.swKenn2 = "VERS";
    entry.progFile3 = "SENSOR.TXT";
    entry.swKenn3 = "SWVER=";
    Start("Language=1\r\n", {entry});
    PressOk();
    RunToEnd();
    return placed;
  }
  sim::Instrument& StartBinRun(const std::string& extras) {
    return StartBinRun(extras, FileTaker("ph-meter", "1.10,1.00"));
  }

  // After a failure: OK starts a new run, whose search reaches the device.
  void ExpectOkStartsANewRun(bool answers = true) {
    PressOk();
    EXPECT_FALSE(m_view.Enabled(Control::OkBitBtn));
    EXPECT_TRUE(m_view.Visible(Control::WaitPanel));
    if (!answers) return;
    const size_t searches = MemoContaining("A.1000").size();
    Run(1000);
    EXPECT_GT(MemoContaining("A.1000").size(), searches) << "the new run's search went out";
  }
};

TEST_F(UpdateExtraFilesTest, TheFilesAfterATiTxtDownloadAreStoredByteForByte) {
  const auto image = MeterImage();
  m_folder.Write("MSP2XX.TXT", TiTxt(image));
  m_folder.Write("Cal600.dat", FileBytes(600));
  m_folder.Write("EMPTY.DAT", "");
  m_folder.Write("tables/tab255.dat", FileBytes(255, 13));
  sim::Instrument& meter = m_faultRack.Place(1, FileTaker("msp430-2xx-meter"));
  Start("Language=1\r\n",
        {MeterEntry("23080", "22150", "MSP2XX.TXT,CAL600.DAT,EMPTY.DAT,TABLES\\TAB255.DAT")});
  PressOk();
  RunToEnd();

  ExpectSuccessShown();
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), image));
  ExpectStored(meter, {{"cal600.dat", "Cal600.dat"},
                       {"empty.dat", "EMPTY.DAT"},
                       {"tables\\tab255.dat", "tables/tab255.dat"}});
  // 600 bytes go as 255, 255 and 90 (the model counts by the count byte);
  // an empty file is its start and its end; then the closing command.
  EXPECT_EQ(ProgramSessions(meter).back(),
            (Strings{"A.12000#cal600.dat", "A.12010#<255 bytes>", "A.12010#<255 bytes>", "A.12010#<90 bytes>",
                     "A.12030", "A.12000#empty.dat", "A.12030", "A.12000#tables\\tab255.dat",
                     "A.12010#<255 bytes>", "A.12030", "A.1121"}));
  const Strings log = MemoContaining("U.606");
  ASSERT_EQ(log.size(), 1u) << "the reset command after the closing one";
  EXPECT_EQ(m_form->ProgressPosition(), 0);
}

TEST_F(UpdateExtraFilesTest, ABinFileThatIsNotNewerGoesStraightToTheExtraFiles) {
  m_folder.Write("CAL.DAT", FileBytes(300));
  sim::Instrument& meter = StartBinRun("CAL.DAT");
  EXPECT_EQ(m_form->LoaderKind(), 4);
  EXPECT_EQ(m_form->Record().FileVersion, 1000);
  ExpectSuccessShown();
  ExpectStored(meter, {{"cal.dat", "CAL.DAT"}});
  EXPECT_EQ(ProgramSessions(meter).size(), 1u) << "no loader ran";
}

// The Windows CE package: TERMIX.EXE 2.00 and its extra files, the start-up
// program TERMIXSTARTUP.EXE 1.50 with STARTUP.DLL after it.
struct WinCeCase {
  const char* startupInDevice;  // empty: the instrument reports none
  const char* extras;
  Strings stored;
  friend void PrintTo(const WinCeCase& c, std::ostream* out) { *out << "start-up '" << c.startupInDevice << "'"; }
};

constexpr const char* kWithStartup = "HELP.DLL,TERMIXSTARTUP.EXE,STARTUP.DLL,CAL.DAT";

class UpdateWinCeExtraFilesTest : public UpdateExtraFilesTest,
                                  public ::testing::WithParamInterface<WinCeCase> {};

TEST_P(UpdateWinCeExtraFilesTest, EqualVersionsSetTheClockAndSendTheExtraFiles) {
  const WinCeCase& c = GetParam();
  m_folder.Write("TERMIX.EXE", PeFileWith({{u"FileVersion", u"V2.00"}}));
  m_folder.Write("HELP.DLL", PeFileWith({{u"FileVersion", u"V1.00"}}));
  m_folder.Write("TERMIXSTARTUP.EXE", PeFileWith({{u"FileVersion", u"V1.50"}}));
  m_folder.Write("STARTUP.DLL", FileBytes(700, 3));
  m_folder.Write("CAL.DAT", FileBytes(300));
  sim::InstrumentProfile termix = FileTaker("ph-meter", "2.00");
  termix.startupVersion = c.startupInDevice;
  // A.2100, the start-up program's announcement, is not acknowledged: an
  // acknowledgement would move the identification on.
  sim::Instrument& instrument = m_faultRack.Place(1, termix);
  EntrySpec entry =
      MakeEntry("1", "22074", "23010", "Termix", std::string("TERMIX.EXE,") + c.extras);
  entry.swKenn2 = "FileVersion";
  update::TUpdateForm& form = Start("Language=1\r\n", {entry});
  PressOk();
  RunToEnd();

  EXPECT_EQ(form.LoaderKind(), 2);
  const bool startupInPackage = std::string(c.extras).find("TERMIXSTARTUP") != std::string::npos;
  EXPECT_EQ(form.Record().StartupFileVersion, startupInPackage ? 1500 : 0);
  EXPECT_EQ(form.Run().StartupFilePosition, startupInPackage ? 1 : 0);
  EXPECT_TRUE(form.Run().WinCeHandOver);
  ExpectSuccessShown();
  EXPECT_EQ(MemoContaining("The download may last up to 15 minutes !").size(), 1u);
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string& name : c.stored) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    files.emplace_back(name, upper);
  }
  ExpectStored(instrument, files);
  // No image went over: one program session, the clock as a day number
  // before the first file.
  const auto sessions = ProgramSessions(instrument);
  ASSERT_EQ(sessions.size(), 1u);
  const Strings& commands = sessions[0];
  const auto clock = std::find_if(commands.begin(), commands.end(),
                                  [](const std::string& s) { return s.rfind("A.1600#", 0) == 0; });
  ASSERT_NE(clock, commands.end());
  EXPECT_NE(clock->find('.', 7), std::string::npos) << *clock;
  EXPECT_LT(clock - commands.begin(),
            std::find(commands.begin(), commands.end(), "A.12000#" + c.stored[0]) - commands.begin());

  // The flag outlives the run: OK starts the next one with it still set.
  PressOk();
  Run(500);
  EXPECT_TRUE(form.Run().WinCeHandOver);
}

INSTANTIATE_TEST_SUITE_P(
    StartupProgram, UpdateWinCeExtraFilesTest,
    ::testing::Values(
        // The instrument's start-up program (1.60) is newer: its files stay home.
        WinCeCase{"1.60", kWithStartup, {"help.dll", "cal.dat"}},
        // No start-up version reported: every file goes, and no image.
        WinCeCase{"", kWithStartup, {"help.dll", "termixstartup.exe", "startup.dll", "cal.dat"}},
        // A package without a start-up program loses none of its files.
        WinCeCase{"1.60", "HELP.DLL,CAL.DAT", {"help.dll", "cal.dat"}}));

TEST_F(UpdateExtraFilesTest, ANewerSensorFileAbove2000StartsTheSecondFileAfter51Minutes) {
  // Main versions equal, the sensor's 2.50 against the package's 2.60.
  m_folder.Write("TERMIX.EXE", PeFileWith({{u"FileVersion", u"V2.00"}}));
  m_folder.Write("SENSOR.TXT", TextFirmware("2.60"));
  sim::InstrumentProfile termix = FileTaker("ph-meter", "2.00,2.50");
  termix.accepted.push_back(2005);
  sim::Instrument& instrument = m_faultRack.Place(1, termix);
  EntrySpec entry = MakeEntry("1", "22074", "23010", "Termix", "TERMIX.EXE");
  entry.swKenn2 = "FileVersion";
  entry.progFile3 = "SENSOR.TXT";
  entry.swKenn3 = "SWVER=";
  update::TUpdateForm& form = Start("Language=1\r\n", {entry});
  PressOk();
  Run(20000);
  EXPECT_EQ(form.Record().FileVersion2, 2600);
  // 15 for the image, 1 for the second file, 35 for a sensor above 2000.
  EXPECT_EQ(MemoContaining("The download may last up to 51 minutes !").size(), 1u);
  EXPECT_EQ(m_view.StatusPanel(2), "19200");
  EXPECT_EQ(m_view.StatusPanel(3), "Version 2.60");
  const Strings commands = ProgramSessions(instrument).back();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "A.2005");
  EXPECT_TRUE(MemoContaining(kSuccessEnglish).empty());
}

// --- failures: the firmware is in, so the run ends without a retry.

// FIRST.DAT goes through; NEXT.DAT cannot be read and is never announced.
class UpdateExtraFileFaultTest : public UpdateExtraFilesTest,
                                 public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(UpdateExtraFileFaultTest, EndsTheRunNamingTheFileAndTheReason) {
  const std::string kind = GetParam().first;
  m_folder.Write("FIRST.DAT", FileBytes(100));
  if (kind == "folder") std::filesystem::create_directories(m_folder.Path() / "next.dat");
  if (kind == "too large") {
    const auto path = m_folder.Write("NEXT.DAT", "");
    ASSERT_EQ(::truncate(path.c_str(), 3'000'001), 0);
  }
  sim::Instrument& meter = StartBinRun("FIRST.DAT,NEXT.DAT");
  ExpectFailureShown(GetParam().second);
  ExpectStored(meter, {{"first.dat", "FIRST.DAT"}});
  EXPECT_FALSE(m_form->Run().ExtraTransferActive);
  ExpectOkStartsANewRun();
}

INSTANTIATE_TEST_SUITE_P(
    MissingFolderTooLarge, UpdateExtraFileFaultTest,
    ::testing::Values(std::pair{"missing", "The extra file NEXT.DAT does not exist."},
                      std::pair{"folder", "The extra file NEXT.DAT is a folder."},
                      std::pair{"too large", "The extra file NEXT.DAT is too large (at most 3000000 bytes)."}));

TEST_F(UpdateExtraFilesTest, AnInstrumentThatFallsSilentInAFileEndsTheRunAfterTenSeconds) {
  m_folder.Write("FIRST.DAT", FileBytes(600));
  sim::InstrumentProfile silent = FileTaker("ph-meter", "1.10,1.00");
  silent.faults.silentFrom = 12010;  // the first packet goes unanswered
  sim::Instrument& meter = StartBinRun("FIRST.DAT", silent);
  ExpectFailureShown("The instrument stopped answering while receiving the extra file FIRST.DAT. "
                     "The transfer was aborted.");
  const auto& files = LastProgram(meter)->Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_FALSE(files[0].complete);
  EXPECT_FALSE(m_form->Run().ExtraTransferActive);
  ExpectOkStartsANewRun(false);
}

TEST_F(UpdateExtraFilesTest, EscapeInTheMiddleOfAFileEndsTheRun) {
  m_folder.Write("FIRST.DAT", FileBytes(2000));
  sim::Instrument* meter = nullptr;
  PressEscapeWhen([&meter] {
    const sim::AsciiModel* program = meter ? LastProgram(*meter) : nullptr;
    return program && !program->Files().empty() && program->Files()[0].bytes.size() >= 510;
  });
  meter = &m_faultRack.Place(1, FileTaker("ph-meter", "1.10,1.00"));
  StartBinRun("FIRST.DAT", *meter);
  ExpectFailureShown("The transfer of the extra file FIRST.DAT was cancelled.");
  const auto& files = LastProgram(*meter)->Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_FALSE(files[0].complete);
  EXPECT_LT(files[0].bytes.size(), 2000u);
  ExpectOkStartsANewRun();
}

TEST_F(UpdateExtraFilesTest, APulledLineEndsTheTransferAtOnce) {
  m_folder.Write("FIRST.DAT", FileBytes(600));
  sim::InstrumentProfile unplugged = FileTaker("ph-meter", "1.10,1.00");
  unplugged.faults.dropAt = 12010;
  StartBinRun("FIRST.DAT", unplugged);
  ExpectFailureShown(
      "The connection to the instrument on COM1 was lost (cable or USB adapter unplugged?). "
      "Reconnect the instrument and restart the download with Ok.");
  EXPECT_FALSE(m_form->Run().ExtraTransferActive);
  PressOk();
  EXPECT_FALSE(m_view.Enabled(Control::OkBitBtn)) << "a new run started";
}

TEST_F(UpdateExtraFilesTest, AnInstrumentThatRefusesTheFileEndsTheRun) {
  m_folder.Write("FIRST.DAT", FileBytes(10));
  sim::InstrumentProfile noFiles = sim::LoadShippedProfile("ph-meter");
  noFiles.version = "1.10,1.00";
  StartBinRun("FIRST.DAT", noFiles);
  ExpectFailureShown("The instrument refused the extra file FIRST.DAT.");
}

}  // namespace
}  // namespace runtest
