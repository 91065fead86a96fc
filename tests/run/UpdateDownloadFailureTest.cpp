// Downloads from OK that fail inside the loader or at the hand-over: each
// ends in the programmer's error box, the abort text and OK free for the
// retry; the retry goes straight to the loader.
#include <filesystem>

#include "LoaderTrace.h"
#include "TiTxtImages.h"
#include "UpdateRunFixture.h"

namespace runtest {
namespace {

using Strings = std::vector<std::string>;
using testing_support::FlashHoldsImage;
using testing_support::LoaderSessions;
using testing_support::TiTxt;

constexpr const char* kLoaderError = "Error in bootloader !!  Programming abort.";
constexpr const char* kNoLoader = "bootloader in target not available!!  Programming abort.";

class UpdateDownloadFailureTest : public DownloadRunTest {
 protected:
  // The 2xx meter on the fault rack with MSP2XX.TXT in the package; the
  // first run from OK is under way when it returns.
  sim::Instrument& StartMeterRun(const sim::InstrumentProfile& profile,
                                 const std::string& entryName = "23080") {
    m_folder.Write("MSP2XX.TXT", TiTxt(m_image));
    sim::Instrument& meter = m_faultRack.Place(1, profile);
    Start("Language=1\r\n", {MeterEntry(entryName)});
    PressOk();
    RunToEnd();
    return meter;
  }
  sim::Instrument& StartMeterRun() { return StartMeterRun(sim::LoadShippedProfile("msp430-2xx-meter")); }

  // The first run fails at the password (four NAKs) before the rate is
  // changed, so the loader still listens at 9600 for the retry.
  sim::Instrument& FailAtThePassword() {
    onLoader = [](sim::InstrumentModel& m) {
      if (auto* bsl = dynamic_cast<sim::RomBslModel*>(&m)) bsl->NakNext(0x10, 4);
    };
    sim::Instrument& meter = StartMeterRun();
    ExpectFailureShown(kLoaderError);
    onLoader = nullptr;
    return meter;
  }

  void RetryAfterAReadBackDifference(bool switchedOffAndOn) {
    sim::RomBslModel* loader = nullptr;
    onLoader = [&loader](sim::InstrumentModel& m) {
      loader = dynamic_cast<sim::RomBslModel*>(&m);
      if (loader) loader->CorruptReadAt(0xC0F3);
    };
    sim::Instrument& meter = StartMeterRun();
    onLoader = nullptr;
    ExpectFailureShown(kLoaderError);
    ASSERT_NE(loader, nullptr);
    loader->CorruptReadAt(0xFFFFFFFF);
    if (switchedOffAndOn) loader->RestartLoader();
    PressOk();
    RunToEnd();
    EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
    EXPECT_TRUE(FlashHoldsImage(meter.Flash(), m_image));
    EXPECT_EQ(LoaderSessions(meter).size(), 1u) << "the retry stays in the one loader session";
    EXPECT_EQ(ProgramSessions(meter).size(), 2u) << "the loader started the new program";
  }

  const std::vector<testing_support::ImageSection> m_image = MeterImage();
};

TEST_F(UpdateDownloadFailureTest, APasswordNakedFourTimesAbortsAndTheRetryOnOkSucceeds) {
  sim::Instrument& meter = FailAtThePassword();
  PressOk();  // the instrument is still in its loader
  EXPECT_FALSE(m_view.Enabled(Control::OkBitBtn));
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_EQ(MemoContaining("Store new data !!").size(), 1u);
  EXPECT_TRUE(MemoContaining(kAbortEnglish).empty()) << "the retry clears the log";
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), m_image));
  // The retry asks the instrument nothing: the loader session starts with
  // the synchronised version command.
  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u) << "one loader session throughout";
  EXPECT_EQ(ProgramSessions(meter).size(), 2u);
}

TEST_F(UpdateDownloadFailureTest, AFirmwareFileThatCannotBeOpenedOnTheRetryFailsVisiblyAndRetriesAgain) {
  sim::Instrument& meter = FailAtThePassword();
  // The retry finds no file: it fails before anything is sent, visibly.
  const std::string file = (m_folder.Path() / "MSP2XX.TXT").string();
  std::filesystem::rename(file, file + ".away");
  const size_t boxes = m_view.boxes.size();
  PressOk();
  RunToEnd();
  ASSERT_EQ(MemoContaining(kAbortEnglish).size(), 1u);
  EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn));
  EXPECT_FALSE(m_view.Visible(Control::WaitPanel)) << "never stuck behind the wait panel";
  EXPECT_GT(m_view.boxes.size(), boxes) << "the file error is shown";

  // And the next retry, with the file back, programs the instrument.
  std::filesystem::rename(file + ".away", file);
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), m_image));
}

TEST_F(UpdateDownloadFailureTest, AReadBackDifferenceAbortsBeforeTheProgramIsStarted) {
  onLoader = [](sim::InstrumentModel& m) {
    if (auto* bsl = dynamic_cast<sim::RomBslModel*>(&m)) bsl->CorruptReadAt(0xC0F3);
  };
  sim::Instrument& meter = StartMeterRun();
  ExpectFailureShown(kLoaderError);
  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u);
  // The block with the bad byte is read once and nothing follows it.
  EXPECT_EQ(sessions[0].back(), "14@C0F0/38400");
  EXPECT_EQ(ProgramSessions(meter).size(), 1u) << "the loader never started the program";
}

// The failure comes past the erase and the switch to 38400. Both ways the
// user may take it, the retry on OK programs the instrument: with the loader
// left as it was (at 38400), and after switching the instrument off and on
// into its loader (at 9600 again), as the abort text asks.
TEST_F(UpdateDownloadFailureTest, AfterAReadBackDifferenceTheRetryOnOkProgramsTheInstrument) {
  RetryAfterAReadBackDifference(false);
}

TEST_F(UpdateDownloadFailureTest, AfterAReadBackDifferenceTheRetryFindsTheInstrumentSwitchedOffAndOn) {
  RetryAfterAReadBackDifference(true);
}

TEST_F(UpdateDownloadFailureTest, ALoaderSilentAfterItsEntryAbortsAfterTheRetries) {
  onLoader = [](sim::InstrumentModel& m) {
    if (auto* bsl = dynamic_cast<sim::RomBslModel*>(&m)) bsl->GoSilent();
  };
  sim::Instrument& meter = StartMeterRun();
  ExpectFailureShown(kLoaderError);
  EXPECT_EQ(ProgramSessions(meter).front(), kIdentAndRequest);
  // Only synchronisation bytes went out, so the loader logged no frame.
  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_TRUE(sessions[0].empty());
  EXPECT_EQ(m_ports.Line(1)->PortFormat().baud, 4800u) << "the port is given back";
}

TEST_F(UpdateDownloadFailureTest, AnInstrumentThatRefusesTheHandOverAbortsWithTheNoLoaderText) {
  // It tells its reset vector but refuses A.5588#QT48 ("A.5588?").
  sim::InstrumentProfile profile = sim::LoadShippedProfile("msp430-2xx-meter");
  profile.loaderAfter = 5599;
  sim::Instrument& meter = StartMeterRun(profile);
  ExpectFailureShown(kNoLoader);
  const auto programs = ProgramSessions(meter);
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0], kIdentAndRequest);
  EXPECT_TRUE(LoaderSessions(meter).empty());
}

TEST_F(UpdateDownloadFailureTest, A5xxPasswordErrorAbortsAtOnce) {
  const std::vector<testing_support::ImageSection> image{
      {0x1800, testing_support::Pattern(64, 11)},
      {0x5C00, VersionThen(testing_support::Pattern(300, 12))},
      {0xFFE0, testing_support::Vectors(0x5C00)}};
  m_folder.Write("MSP5XX.TXT", TiTxt(image));
  onLoader = [](sim::InstrumentModel& m) {
    if (auto* bsl = dynamic_cast<sim::Bsl5xxModel*>(&m)) bsl->StatusNext(0x11, 0x05, 1);
  };
  sim::Instrument& meter = m_faultRack.Place(1, sim::LoadShippedProfile("msp430-5xx-meter"));
  EntrySpec entry = MeterEntry("23083", "22153", "MSP5XX.TXT");
  entry.swKenn2 = "@5C00\\r\\n";
  entry.prozTyp = "5438";
  Start("Language=1\r\n", {entry});
  PressOk();
  RunToEnd();
  ExpectFailureShown(kLoaderError);
  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0], (Strings{"11@0/9600 status 5"})) << "no retry of a refused password";
}

TEST_F(UpdateDownloadFailureTest, EscapeDuringTheWritesAbortsTheDownload) {
  const sim::RomBslModel* loader = nullptr;
  onLoader = [&loader](sim::InstrumentModel& m) { loader = dynamic_cast<const sim::RomBslModel*>(&m); };
  PressEscapeWhen([&loader] {
    if (!loader) return false;
    for (const auto& c : loader->Commands())
      if (c.command == 0x12) return true;
    return false;
  });
  sim::Instrument& meter = StartMeterRun();
  ExpectFailureShown(kLoaderError);
  const auto sessions = LoaderSessions(meter);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_TRUE(testing_support::OnlyCommands(sessions[0], {"14", "1A"}).empty()) << "no read-back, no start";
  EXPECT_EQ(ProgramSessions(meter).size(), 1u);
}

// A USB adapter pulled during the download: the run ends at once with the
// lost connection named, the abort text and OK free for the retry, long
// before the loader's time-outs would have run out.
TEST_F(UpdateDownloadFailureTest, AnUnpluggedAdapterEndsTheDownloadAtOnce) {
  sim::InstrumentProfile unplugged = sim::LoadShippedProfile("msp430-2xx-meter");
  unplugged.faults.dropAt = 5588;
  StartMeterRun(unplugged);
  ExpectFailureShown(
      "The connection to the instrument on COM1 was lost (cable or USB adapter unplugged?). "
      "Reconnect the instrument and restart the download with Ok.");
  EXPECT_EQ(m_view.okEnabled, 1);
}

// Line noise in the loader's text phase is the loader's to judge: the
// boot-loader bytes (0x90, "Q") the garbage holds must neither end the run
// nor free OK while the loader still owns the port.
class UpdateHandOverNoiseTest : public UpdateDownloadFailureTest,
                                public ::testing::WithParamInterface<int> {};

TEST_P(UpdateHandOverNoiseTest, NeitherEndsTheRunNorFreesOk) {
  sim::InstrumentProfile noisy = sim::LoadShippedProfile("msp430-2xx-meter");
  noisy.faults.garbageBefore = GetParam();
  noisy.faults.garbageCount = 1000;
  sim::Instrument& meter = StartMeterRun(noisy);
  EXPECT_TRUE(MemoContaining("boot loader").empty()) << "noise taken for a boot-loader answer";
  if (MemoContaining(kSuccessEnglish).size() == 1) {
    EXPECT_TRUE(FlashHoldsImage(meter.Flash(), m_image));
    EXPECT_EQ(m_view.okEnabled, 0);
  } else {
    EXPECT_EQ(MemoContaining(kAbortEnglish).size(), 1u);
    EXPECT_EQ(m_view.okEnabled, 1) << "OK only once the loader has ended";
  }
}

INSTANTIATE_TEST_SUITE_P(AtTheVectorQuestionAndTheHandOver, UpdateHandOverNoiseTest,
                         ::testing::Values(5577, 5588));

}  // namespace
}  // namespace runtest
