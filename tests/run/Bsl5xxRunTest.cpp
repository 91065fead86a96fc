// Whole downloads through the 5xx/6xx bootstrap loader in virtual time.
#include <gtest/gtest.h>

#include "BslRunHarness.h"
#include "programmers/T_BSL_54XX_430.h"
#include "sim/bsl/Bsl5xxModel.h"
#include "sim/model/ShippedProfiles.h"

namespace {

using namespace bsltest;
using programmers::ProgrammerRecord;
using programmers::T_BSL_54XX_430;
using sim::Bsl5xxModel;

// F5438 meter: info 0x1800..0x19FF, main flash 0x5C00..0x45BFF.
const char* const k5xxProfile =
    "name = m5xx\nline = 4800 8N1\npcb = 22130.001\ndevice = 23070.000\nversion = 1.00\nserial = 5\n"
    "loader = bsl-5xx after 5588\n"
    "flash = 0x1800 0x200 128\nflash = 0x5C00 0x40000 512\n"
    "bsl = family 5xx chip 0x5438 version 1.00 reset 0x5C00\n";

const std::vector<uint8_t> kInfo = Pattern(64, 11);
const std::vector<uint8_t> kCode = Pattern(700, 12);
const std::vector<uint8_t> kUpper = Pattern(300, 13);

struct Run5xx : bsltest::ProgrammerRun<T_BSL_54XX_430, Bsl5xxModel> {
  explicit Run5xx(const std::string& image, const std::string& faults = "")
      : ProgrammerRun(k5xxProfile + faults, image) {
    record.DeviceNumber = 21560;
    record.AskResetVector = true;
  }
};

std::string Image() {
  return TiTxt({{0x1800, kInfo}, {0x5C00, kCode}, {0xFFE0, Vectors(0x5C00)}, {0x10000, kUpper}});
}

TEST(Bsl5xxRun, ImageWithUpperPartAndEraseTop) {
  Run5xx run(Image());
  run.record.EraseTop = {0x1FC00, 0};
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(run.window.boxes.empty());

  const sim::FlashMemory& flash = run.instrument->Flash();
  EXPECT_TRUE(FlashHolds(flash, 0x1800, kInfo));
  EXPECT_TRUE(FlashHolds(flash, 0x5C00, kCode));
  EXPECT_TRUE(FlashHolds(flash, 0x10000, kUpper));
  EXPECT_TRUE(FlashHolds(flash, 0xFFE0, Vectors(0x5C00)));
  EXPECT_TRUE(flash.IsErased(0x5C00 + 700, 0xFFE0 - 0x5C00 - 700));
  EXPECT_TRUE(flash.IsErased(0x10000 + 300, 0x20000 - 0x10000 - 300));
  EXPECT_EQ(run.record.ResetVector, 0x5C00);

  const auto trace = run.Trace();
  ASSERT_GT(trace.size(), 6u);
  EXPECT_EQ(trace[0], "11@0/9600");
  EXPECT_EQ(trace[1], "19@0/9600");
  EXPECT_EQ(trace[2], "18@1A04/9600");
  EXPECT_EQ(trace[3], "52@0/38400");
  size_t i = 4;
  // 0x1FC00 down to 0x10000, then 0xFC00 (0xFE00 waits) down to the second
  // block 0x5C00; the first block's segment 0x1800 is skipped.
  for (uint32_t a = 0x1FC00; a >= 0x10000; a -= 0x200, ++i)
    EXPECT_EQ(trace[i], "12@" + Hex(a) + "/38400") << i;
  for (uint32_t a = 0xFC00; a >= 0x5C00; a -= 0x200, ++i) EXPECT_EQ(trace[i], "12@" + Hex(a) + "/38400") << i;
  // Writes in image order (the vector block moved last, after the vector
  // segment's erase), reads, start at the reset vector.
  std::vector<std::string> rest(trace.begin() + static_cast<std::ptrdiff_t>(i), trace.end());
  std::vector<std::string> expected;
  const std::vector<uint32_t> blocks{0x1800, 0x5C00, 0x5CF0, 0x5DE0, 0x10000, 0x100F0};
  for (uint32_t b : blocks) expected.push_back("10@" + Hex(b) + "/38400");
  expected.push_back("12@FFFF/38400");
  expected.push_back("10@FFE0/38400");
  for (uint32_t b : blocks) expected.push_back("18@" + Hex(b) + "/38400");
  expected.push_back("18@FFE0/38400");
  expected.push_back("17@5C00/38400");
  EXPECT_EQ(rest, expected);
  EXPECT_TRUE(run.Loader()->Started());
  EXPECT_EQ(run.window.ports.Line(1)->PortFormat().baud, 4800u);
}

TEST(Bsl5xxRun, KeepSlowRateAndTheDefaultVectorWithoutAsking) {
  Run5xx run(TiTxt({{0x1800, kInfo}, {0xC000, kCode}, {0xFFE0, Vectors(0xC000)}}));
  // The old firmware starts at 0xC000, the first default vector.
  run.instrument->Flash().EraseAll();
  run.instrument->Flash().Write(0xFFE0, Vectors(0xC000));
  run.record.AskResetVector = false;
  run.record.KeepSlowRate = {true, false};
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(FlashHolds(run.instrument->Flash(), 0xC000, kCode));
  bsltest::ExpectAllAt9600(run.Trace(), "52");
  // One hand-over: its "!" does not start another.
  EXPECT_EQ(bsltest::SentCommands({run.window.log.begin(), run.window.log.end()}),
            (std::vector<std::string>{"A.1000\r\n", "A.5588#QT48\r\n"}));
}

TEST(Bsl5xxRun, APasswordErrorEndsTheRunWithOneErrorBox) {
  Run5xx run(Image());
  run.window.onLoader = [](sim::InstrumentModel& m) {
    dynamic_cast<Bsl5xxModel&>(m).StatusNext(0x11, 0x05, 1);
  };
  EXPECT_FALSE(run.Program());
  EXPECT_EQ(run.lastError, 4);
  EXPECT_EQ(run.window.boxes.size(), 1u);
  // After the request no other password is tried; the refusal has erased
  // the flash, which a retry in the loader will know.
  EXPECT_EQ(run.Trace().size(), 1u);
  EXPECT_TRUE(run.record.LoaderState.TableErased());
}

TEST(Bsl5xxRun, AWriteRefusedTwiceIsRetriedAThirdTimeIsTheEnd) {
  for (const int refusals : {2, 3}) {
    Run5xx run(Image());
    // Status 4 (locked) is no error of its own: the time-out retries.
    run.window.onLoader = [refusals](sim::InstrumentModel& m) {
      dynamic_cast<Bsl5xxModel&>(m).StatusNext(0x10, 0x04, refusals);
    };
    const bool ok = run.Program();
    int writesOfFirst = 0;
    for (const auto& t : run.Trace()) writesOfFirst += t.rfind("10@1800/", 0) == 0 ? 1 : 0;
    EXPECT_EQ(writesOfFirst, 3) << refusals;
    EXPECT_EQ(ok, refusals == 2);
    if (!ok) {
      EXPECT_EQ(run.lastError, 8);
      EXPECT_EQ(run.window.boxes.size(), 1u);
    }
  }
}

TEST(Bsl5xxRun, AnUnpluggedAdapterEndsTheRunAtOnce) {
  // While the request waits for the hand-over's answer, and during the writes.
  Run5xx(Image(), "drop-at = 5588\n").ExpectTheDropAtTheHandOverEndsTheRun();
  Run5xx(Image()).ExpectAnUnplugDuringTheWritesEndsTheRun(3, 0x10);
}

TEST(Bsl5xxRun, ASingleBlockImageStillEndsItsErase) {
  // The second block's address counts as 0: every segment down to 0x1A00 is
  // erased, those at 0x1800 and below are skipped, and writing follows.
  Run5xx run(TiTxt({{0xFFE0, Vectors(0x5C00)}}));
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(FlashHolds(run.instrument->Flash(), 0xFFE0, Vectors(0x5C00)));
  const auto trace = run.Trace();
  for (const auto& t : trace) {
    if (t.rfind("12@", 0) == 0) {
      EXPECT_GT(std::stoul(t.substr(3), nullptr, 16), 0x1800u) << t;
    }
  }
}

// The new firmware uses a second vector (0xFFE0 = 0x5C40), so the table it
// leaves differs from the old firmware's (reset vector alone).
std::vector<uint8_t> NewVectors() {
  return TwoVectors(0x5C40, 0x5C00);
}

std::vector<ImageSection> NewImage() {
  return {{0x1800, kInfo}, {0x5C00, kCode}, {0xFFE0, NewVectors()}};
}

TEST(Bsl5xxRun, TheRetryAfterAFailurePastTheVectorEraseGivesThePasswordTheChipNowHas) {
  // The loader misses every try of the vector block (the table stays
  // erased), or the read-back differs (the table holds the new vectors).
  struct Case {
    bool missedWrite;
    int32_t error;
    std::vector<uint8_t> table;
  };
  for (const Case& c : {Case{true, 8, std::vector<uint8_t>(32, 0xFF)}, Case{false, 9, NewVectors()}}) {
    Run5xx run(TiTxt(NewImage()));
    run.PlantInLoader([&](Bsl5xxModel& loader) {
      if (c.missedWrite)
        loader.IgnoreAt(0x10, 0xFFE0, 3);
      else
        loader.CorruptReadAt(0x5C03);
    });
    ASSERT_FALSE(run.Program()) << c.missedWrite;
    EXPECT_EQ(run.lastError, c.error);
    EXPECT_TRUE(run.record.LoaderState.tableKnown);
    EXPECT_TRUE(std::equal(c.table.begin(), c.table.end(), run.record.LoaderState.vectorTable.begin()));

    run.loader->CorruptReadAt(0xFFFFFFFF);
    ASSERT_TRUE(run.RetryInLoader()) << c.missedWrite;
    EXPECT_TRUE(FlashHoldsImage(run.instrument->Flash(), NewImage()));
    EXPECT_TRUE(run.instrument->Flash().IsErased(0x5C00 + 700, 0xFFE0 - 0x5C00 - 700));
    // The password first, at the 38400 the loader was left at, taken at once.
    const auto retry = run.RetryTrace();
    ASSERT_GE(retry.size(), 2u);
    EXPECT_EQ(retry[0], "11@0/38400");
    EXPECT_EQ(retry.back(), "17@5C00/38400");
    for (const auto& entry : retry) EXPECT_EQ(entry.find("status"), std::string::npos) << entry;
    EXPECT_EQ(run.window.boxes.size(), 1u);  // the first run's only
  }
}

TEST(Bsl5xxRun, TheRetryFindsTheLoaderAt9600WhenTheInstrumentWasSwitchedOffAndOn) {
  // Failed at the read-back at 38400, then switched off and on into the
  // loader: the password at 38400 goes unanswered, at 9600 it is taken.
  Run5xx run(TiTxt(NewImage()));
  run.PlantInLoader([&](Bsl5xxModel& loader) { loader.CorruptReadAt(0x5C03); });
  ASSERT_FALSE(run.Program());
  run.loader->CorruptReadAt(0xFFFFFFFF);
  run.loader->RestartLoader();
  ASSERT_TRUE(run.RetryInLoader());
  EXPECT_TRUE(FlashHoldsImage(run.instrument->Flash(), NewImage()));
  const auto retry = run.RetryTrace();
  ASSERT_GE(retry.size(), 2u);
  EXPECT_EQ(retry[0], "11@0/9600");
  EXPECT_EQ(retry.back(), "17@5C00/38400");
  for (const auto& entry : retry) EXPECT_EQ(entry.find("status"), std::string::npos) << entry;
  EXPECT_EQ(run.window.boxes.size(), 1u);
}

TEST(Bsl5xxRun, TheRetryAfterAFailureBeforeTheVectorEraseStillUsesTheResetVector) {
  Run5xx run(TiTxt(NewImage()));
  run.window.onLoader = [](sim::InstrumentModel& m) {
    dynamic_cast<Bsl5xxModel&>(m).StatusNext(0x10, 0x04, 3);
  };
  ASSERT_FALSE(run.Program());
  EXPECT_EQ(run.lastError, 8);
  const std::vector<uint8_t> old = Vectors(0x5C00);
  EXPECT_TRUE(std::equal(old.begin(), old.end(), run.record.LoaderState.vectorTable.begin()));

  ASSERT_TRUE(run.RetryInLoader());
  EXPECT_TRUE(FlashHoldsImage(run.instrument->Flash(), NewImage()));
  const auto retry = run.RetryTrace();
  ASSERT_GE(retry.size(), 2u);
  EXPECT_EQ(retry[0], "11@0/38400");
  EXPECT_EQ(retry[1], "19@0/38400");
}

TEST(Bsl5xxRun, ARetryThatKnowsNothingTriesTheErasedTableOnceTheDefaultVectorIsRefused) {
  // The tool was restarted after a run that failed past the vector erase.
  // The default password is refused (the loader mass-erases and says so);
  // the erased table opens it, and the run goes on without an error box.
  Run5xx run(TiTxt(NewImage()));
  run.record.KeepSlowRate = {true, false};
  run.window.onLoader = [](sim::InstrumentModel& m) {
    dynamic_cast<Bsl5xxModel&>(m).IgnoreAt(0x10, 0xFFE0, 3);
  };
  ASSERT_FALSE(run.Program());
  ASSERT_TRUE(run.record.LoaderState.TableErased());

  run.record = ProgrammerRecord{};
  run.record.KeepSlowRate = {true, false};
  run.window.boxes.clear();
  ASSERT_TRUE(run.RetryInLoader());
  EXPECT_TRUE(FlashHoldsImage(run.instrument->Flash(), NewImage()));
  EXPECT_TRUE(run.window.boxes.empty());
  const auto retry = run.RetryTrace();
  ASSERT_GE(retry.size(), 3u);
  EXPECT_EQ(retry[0], "11@0/9600 status 5");
  EXPECT_EQ(retry[1], "11@0/9600");
  EXPECT_EQ(retry[2], "19@0/9600");
}

TEST(Bsl5xxRun, TheResetVectorAnswerFillsThePasswordFromTheTop) {
  TestWindow window;
  window.Connect(bsltest::Profile(k5xxProfile), serial::B__4800);
  ProgrammerRecord record;
  T_BSL_54XX_430 programmer(window, window.delay, record, *window.port);
  // One token: word 15 (0xFFFE) only, the others keep the fill value.
  programmer.SetPasswordFromText("0x5C00");
  EXPECT_EQ(programmer.Password()[15], 0x5C00);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(programmer.Password()[i], 0xFFFF) << i;
  // Tokens downward from 0xFFFE; a short last token counts; at most 16.
  std::string text;
  for (int i = 0; i < 17; ++i) text += "0x" + Hex(0x1000 + i);
  programmer.SetPasswordFromText((text + "0x1").c_str());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(programmer.Password()[15 - i], 0x1000 + i) << i;
  programmer.SetPasswordFromText("0x12340xAB");
  EXPECT_EQ(programmer.Password()[15], 0x1234);
  EXPECT_EQ(programmer.Password()[14], 0x00AB);
  EXPECT_EQ(programmer.Password()[13], 0xFFFF);
}

TEST(Bsl5xxRun, TheShippedProfileTakesItsImage) {
  TestWindow window;
  sim::Instrument& instrument = window.Connect(sim::LoadShippedProfile("msp430-5xx-meter"), serial::B__4800);
  window.WriteFile("fw.txt", Image());
  ProgrammerRecord record;
  record.DeviceNumber = 21560;
  record.AskResetVector = true;
  T_BSL_54XX_430 programmer(window, window.delay, record, *window.port);
  ASSERT_TRUE(programmer.Program("fw.txt"));
  EXPECT_TRUE(FlashHolds(instrument.Flash(), 0x5C00, kCode));
  EXPECT_TRUE(FlashHolds(instrument.Flash(), 0x10000, kUpper));
}

}  // namespace
