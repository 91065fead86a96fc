// Whole downloads through the ROM bootstrap loader in virtual time: the
// programmer on a TComPort, over the simulated line, against the instrument
// models (ASCII request half, then the loader).
#include <gtest/gtest.h>

#include <algorithm>

#include "BslRunHarness.h"
#include "core/EventCodes.h"
#include "programmers/T_BSL430.h"
#include "sim/bsl/RomBslModel.h"
#include "sim/model/AsciiModel.h"
#include "sim/model/ShippedProfiles.h"

namespace {

using namespace bsltest;
using programmers::ProgrammerRecord;
using programmers::T_BSL430;
using sim::RomBslModel;

// 2xx meter with 60 KiB flash, loader 1.61 (takes 38400 baud), its old
// firmware starting at 0xC000.
const char* const k2xxProfile =
    "name = m2xx\nline = 4800 8N1\npcb = 22074.001\ndevice = 23010.000\nversion = 1.00\nserial = 1\n"
    "loader = rom-bsl after 5588\n"
    "flash = 0x1000 0x100 64\nflash = 0x1100 0x100 0x100\nflash = 0x1200 0xEE00 512\n"
    "bsl = family 2xx chip 0xF237 version 1.61 reset 0xC000\n";

const std::vector<uint8_t> kInfo = Pattern(32, 1);
const std::vector<uint8_t> kCode = Pattern(600, 2);

std::string Image2xx() {
  return TiTxt({{0x1080, kInfo}, {0xC000, kCode}, {0xFFE0, Vectors(0xC000)}});
}

struct BslRun : bsltest::ProgrammerRun<T_BSL430, RomBslModel> {
  using ProgrammerRun::ProgrammerRun;
};

TEST(Bsl430Run, TwoXxImageWithoutUpperPart) {
  BslRun run(k2xxProfile, Image2xx());
  run.record.AskResetVector = true;
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(run.window.boxes.empty());

  const sim::FlashMemory& flash = run.instrument->Flash();
  EXPECT_TRUE(FlashHolds(flash, 0x1080, kInfo));
  EXPECT_TRUE(FlashHolds(flash, 0xC000, kCode));
  EXPECT_TRUE(FlashHolds(flash, 0xFFE0, Vectors(0xC000)));
  // Nothing of the old firmware is left: everything else is erased.
  EXPECT_TRUE(flash.IsErased(0xC000 + 600, 0xFFE0 - 0xC000 - 600));
  EXPECT_TRUE(flash.IsErased(0x1100, 0xC000 - 0x1100));
  EXPECT_EQ(run.record.ResetVector, 0xC000);
  EXPECT_TRUE(run.record.ResetVectorKnown);

  // The request half, then the loader: version and password at 9600, the
  // switch, erase top down to the second block, 0x1080, vector segment
  // before the vector block, writes, reads, start at the reset vector.
  // The "!" to the hand-over asks nothing more: the instrument is in its loader.
  EXPECT_EQ(bsltest::SentCommands({run.window.log.begin(), run.window.log.end()}),
            (std::vector<std::string>{"A.1000\r\n", "A.5577\r\n", "A.5588#QT48\r\n"}));

  const auto trace = run.Trace();
  std::vector<std::string> expected{"1E@5858/9600", "10@FFFF/9600", "20@8C80/38400"};
  for (uint32_t a = 0xFC00; a >= 0xC000; a -= 0x200) expected.push_back("16@" + Hex(a) + "/38400");
  expected.push_back("16@1080/38400");
  // Blocks: info 0x1080, code 0xC000 0xC0F0 0xC1E0, vectors 0xFFE0.
  expected.push_back("12@1080/38400");
  expected.push_back("12@C000/38400");
  expected.push_back("12@C0F0/38400");
  expected.push_back("12@C1E0/38400");
  expected.push_back("16@FFFF/38400");
  expected.push_back("12@FFE0/38400");
  for (const char* a : {"1080", "C000", "C0F0", "C1E0", "FFE0"})
    expected.push_back(std::string("14@") + a + "/38400");
  expected.push_back("1A@C000/38400");
  EXPECT_EQ(trace, expected);
  for (size_t i = 0; i < std::max(trace.size(), expected.size()); ++i)
    if (i >= expected.size() || i >= trace.size() || trace[i] != expected[i])
      ADD_FAILURE() << i << ": " << (i < trace.size() ? trace[i] : "-") << " / "
                    << (i < expected.size() ? expected[i] : "-");
  EXPECT_TRUE(run.Loader()->Started());
  // The port is back at the settings it had before the run.
  const auto format = run.window.ports.Line(1)->PortFormat();
  EXPECT_EQ(format.baud, 4800u);
  EXPECT_EQ(format.parity, platform::sim::Parity::None);
  // Progress: reset, maximum, busy, steps, done.
  ASSERT_FALSE(run.window.progress.empty());
  EXPECT_EQ(run.window.progress.front(), std::make_pair(0u, 0));
  EXPECT_EQ(run.window.progress.back(), std::make_pair(1u, 0));
}

// Large 2xx (flash 0x3100..0x1FFFF, RAM below), loader 2.12: no version
// command, so the version is read from 0x0FF0 once the password is in.
const char* const kLargeProfile =
    "name = m2xxl\nline = 4800 8N1\npcb = 22076.001\ndevice = 23011.000\nversion = 1.00\nserial = 2\n"
    "loader = rom-bsl after 5588\n"
    "flash = 0x1000 0x100 64\nflash = 0x3100 0x100 0x100\nflash = 0x3200 0xCE00 512\n"
    "flash = 0x10000 0x10000 512\n"
    "bsl = family 2xx chip 0xF26F version 2.12 reset 0x3100\n";

// 1xx meter with loader 1.10 (needs the patch), old firmware at 0xC000.
const char* const k1xxProfile =
    "name = m1xx\nline = 4800 8N1\npcb = 22070.001\ndevice = 23000.000\nversion = 1.00\nserial = 3\n"
    "loader = rom-bsl after 5588\n"
    "flash = 0x1000 0x100 128\nflash = 0x1100 0x100 0x100\nflash = 0x1200 0xEE00 512\n"
    "bsl = family 1xx chip 0xF149 version 1.10 reset 0xC000\n";

TEST(Bsl430Run, UpperPartWithEraseTopAndTheSecondDefaultVector) {
  const auto low = Pattern(400, 3), up1 = Pattern(300, 4), up2 = Pattern(40, 5);
  // The vector section stands before the upper part: it is moved behind it.
  BslRun run(
      kLargeProfile,
      TiTxt({{0x1080, kInfo}, {0x3100, low}, {0xFFE0, Vectors(0x3100)}, {0x10000, up1}, {0x12000, up2}}));
  run.record.EraseTop = {0x1FC00, 0};
  ASSERT_TRUE(run.Program());

  const sim::FlashMemory& flash = run.instrument->Flash();
  EXPECT_TRUE(FlashHolds(flash, 0x1080, kInfo));
  EXPECT_TRUE(FlashHolds(flash, 0x3100, low));
  EXPECT_TRUE(FlashHolds(flash, 0x10000, up1));
  EXPECT_TRUE(FlashHolds(flash, 0x12000, up2));
  EXPECT_TRUE(FlashHolds(flash, 0xFFE0, Vectors(0x3100)));
  EXPECT_TRUE(flash.IsErased(0x3100 + 400, 0xFFE0 - 0x3100 - 400));
  EXPECT_EQ(run.record.ResetVector, 0x3100);  // the second default vector, not asked

  const auto trace = run.Trace();
  // Version refused, password, version read at 0x0FF0, password again, baud.
  ASSERT_GE(trace.size(), 8u);
  EXPECT_EQ(trace[0], "1E@5858/9600 NAK");
  EXPECT_EQ(trace[1], "10@FFFF/9600");
  EXPECT_EQ(trace[2], "1E@5858/9600 NAK");
  EXPECT_EQ(trace[3], "14@FF0/9600");
  EXPECT_EQ(trace[4], "10@FFFF/9600");
  EXPECT_EQ(trace[5], "20@8C80/38400");
  // Offset 1, the upper half from 0x1FC00 down to 0x10000, offset 0, then
  // the lower half from 0xFC00 (0xFE00 skipped).
  EXPECT_EQ(trace[6], "21@1/38400");
  size_t i = 7;
  for (uint32_t a = 0x1FC00; a >= 0x10000; a -= 0x200, ++i) EXPECT_EQ(trace[i], "16@" + Hex(a) + "/38400");
  EXPECT_EQ(trace[i++], "21@0/38400");
  for (uint32_t a = 0xFC00; a >= 0x3200; a -= 0x200, ++i) EXPECT_EQ(trace[i], "16@" + Hex(a) + "/38400");
  EXPECT_EQ(trace[i++], "16@3100/38400");
  EXPECT_EQ(trace[i++], "16@1080/38400");
  // Writes: lower blocks, offset 1, upper blocks, offset 0 at the marker,
  // the vector segment, the moved vector block.
  std::vector<std::string> writes;
  for (; i < trace.size(); ++i)
    if (trace[i][0] != '1' || trace[i][1] != '6') writes.push_back(trace[i]);
  const std::vector<std::string> expected{
      "12@1080/38400",  "12@3100/38400",  "12@31F0/38400", "21@1/38400",     "12@10000/38400",
      "12@100F0/38400", "12@12000/38400", "21@0/38400",    "12@FFE0/38400",  "14@1080/38400",
      "14@3100/38400",  "14@31F0/38400",  "21@1/38400",    "14@10000/38400", "14@100F0/38400",
      "14@12000/38400", "21@0/38400",     "14@FFE0/38400", "1A@3100/38400"};
  EXPECT_EQ(writes, expected);
}

TEST(Bsl430Run, Loader110GetsThePatchFirst) {
  const auto info = Pattern(32, 6), code = Pattern(500, 7);
  BslRun run(k1xxProfile, TiTxt({{0x1080, info}, {0xC000, code}, {0xFFE0, Vectors(0xC000)}}));
  // The patch runs from RAM at 0x0220.
  const auto patch = Pattern(64, 8);
  run.window.WriteFile("patch.txt", TiTxt({{0x0220, patch}}));
  ASSERT_TRUE(run.Program());

  const sim::FlashMemory& flash = run.instrument->Flash();
  EXPECT_TRUE(FlashHolds(flash, 0x1080, info));
  EXPECT_TRUE(FlashHolds(flash, 0xC000, code));
  EXPECT_TRUE(FlashHolds(flash, 0xFFE0, Vectors(0xC000)));
  EXPECT_TRUE(flash.IsErased(0xC000 + 500, 0xFFE0 - 0xC000 - 500));

  const auto trace = run.Trace();
  ASSERT_GE(trace.size(), 9u);
  // 1.10 has no version command: password, version read, password; then
  // the loader is restarted, the password given again and the patch
  // written and read back, all at 9600 (1.10 cannot change the rate).
  const std::vector<std::string> start(trace.begin(), trace.begin() + 9);
  const std::vector<std::string> expected{"1E@5858/9600 NAK", "10@FFFF/9600", "1E@5858/9600 NAK",
                                          "14@FF0/9600",      "10@FFFF/9600", "1A@C22/9600",
                                          "10@FFFF/9600",     "12@220/9600",  "14@220/9600"};
  EXPECT_EQ(start, expected);
  // After the erase every flash command but the first write runs through
  // the patch (Load PC 0x0220): writes, the vector erase, reads.
  int writes = 0, reads = 0;
  for (size_t i = 9; i < trace.size(); ++i) {
    EXPECT_EQ(trace[i].find("NAK"), std::string::npos) << trace[i];
    const bool write = trace[i].rfind("12@", 0) == 0, read = trace[i].rfind("14@", 0) == 0;
    const bool vectorErase = trace[i] == "16@FFFF/9600";
    if ((write && writes++ > 0) || read || vectorErase) {
      EXPECT_EQ(trace[i - 1], "1A@220/9600") << i;
    }
    reads += read ? 1 : 0;
  }
  EXPECT_EQ(writes, 5);  // 0x1080, 0xC000, 0xC0F0, 0xC1E0, 0xFFE0
  EXPECT_EQ(reads, 5);
  EXPECT_EQ(run.Loader()->PatchRuns(), 10u);
  EXPECT_EQ(run.Loader()->StartAddress(), 0xC000u);
  EXPECT_EQ(run.record.ResetVector, 0xC000);  // the first default vector, not asked
}

TEST(Bsl430Run, KeepSlowRateStaysAt9600) {
  BslRun run(k2xxProfile, Image2xx());
  run.record.AskResetVector = true;
  run.record.KeepSlowRate = {true, false};
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(FlashHolds(run.instrument->Flash(), 0xC000, kCode));
  bsltest::ExpectAllAt9600(run.Trace(), "20");
}

TEST(Bsl430Run, RestoreSlowParametersLeavesThePortAt9600TwoStopBits) {
  BslRun run(k2xxProfile, Image2xx());
  run.record.AskResetVector = true;
  run.record.RestoreSlowParameters = true;
  ASSERT_TRUE(run.Program());
  const auto format = run.window.ports.Line(1)->PortFormat();
  EXPECT_EQ(format.baud, 9600u);
  EXPECT_EQ(format.parity, platform::sim::Parity::None);
  EXPECT_EQ(format.stopBits, platform::sim::StopBits::Two);
}

TEST(Bsl430Run, AStepNakedFourTimesFailsAfterThreeRetriesAndThreeAreSurvived) {
  for (const int naks : {3, 4}) {
    BslRun run(k2xxProfile, Image2xx());
    run.record.AskResetVector = true;
    run.window.onLoader = [naks](sim::InstrumentModel& m) {
      dynamic_cast<RomBslModel&>(m).NakNext(0x12, naks);
    };
    const bool ok = run.Program();
    int writesOfFirst = 0;
    for (const auto& entry : run.Trace()) writesOfFirst += entry.rfind("12@1080/", 0) == 0 ? 1 : 0;
    if (naks == 3) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(writesOfFirst, 4);
      EXPECT_TRUE(run.window.boxes.empty());
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(writesOfFirst, 4);
      EXPECT_EQ(run.lastError, 8);
      ASSERT_EQ(run.window.boxes.size(), 1u);
      EXPECT_EQ(run.window.boxes[0], "Error: Error in bootloader !!  Programming abort.");
      // The port is given back as it was.
      EXPECT_EQ(run.window.ports.Line(1)->PortFormat().baud, 4800u);
    }
  }
}

TEST(Bsl430Run, AReadBackDifferenceFailsTheRun) {
  BslRun run(k2xxProfile, Image2xx());
  run.record.AskResetVector = true;
  run.window.onLoader = [](sim::InstrumentModel& m) { dynamic_cast<RomBslModel&>(m).CorruptReadAt(0xC0F3); };
  EXPECT_FALSE(run.Program());
  EXPECT_EQ(run.lastError, 9);
  EXPECT_EQ(run.window.boxes.size(), 1u);
  EXPECT_FALSE(run.Loader()->Started());
}

TEST(Bsl430Run, ASilentLoaderFailsAfterTheRetries) {
  BslRun run(k2xxProfile, Image2xx());
  run.window.onLoader = [](sim::InstrumentModel& m) { dynamic_cast<RomBslModel&>(m).GoSilent(); };
  const uint32_t start = run.window.host.Time().TickCount();
  EXPECT_FALSE(run.Program());
  EXPECT_EQ(run.lastError, 1);  // the synchronisation never answered
  // Four 5 s slots after the 8 s entry wait, plus the request and the restore.
  const uint32_t took = run.window.host.Time().TickCount() - start;
  EXPECT_GT(took, 8000u + 4 * 5000u);
  EXPECT_LT(took, 40000u);
}

TEST(Bsl430Run, ARefusedRequestFailsWithStepZero) {
  // An instrument without a loader refuses the reset-vector question.
  BslRun run("name = plain\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\n", Image2xx());
  run.record.AskResetVector = true;
  EXPECT_FALSE(run.Program());
  EXPECT_EQ(run.lastError, 0);
  ASSERT_EQ(run.window.boxes.size(), 1u);
  EXPECT_EQ(run.window.boxes[0], "Error: bootloader in target not available!!  Programming abort.");
}

TEST(Bsl430Run, EscapeEndsTheRun) {
  BslRun run(k2xxProfile, Image2xx());
  run.record.AskResetVector = true;
  auto& time = run.window.host.Time();
  time.ScheduleAfter(13'000'000, [&] {
    time.Post([&] {
      run.window.queue.PostKey(core::keys::kEscape);
      run.window.DrainEvents();
    });
  });
  EXPECT_FALSE(run.Program());
  EXPECT_LT(time.TickCount(), 30000u);
  EXPECT_FALSE(run.Loader()->Started());
}

TEST(Bsl430Run, AnswersOutOfTheRequestsPhaseAreIgnored) {
  // A reset vector before it was asked for (it would open the hand-over
  // with a wrong password, which erases a 2xx), a "!" while the vector is
  // awaited (it would ask again), boot-loader codes from noise, and noise
  // on the line before the vector's answer: the request goes on as if none
  // had come, and leaves the boot-loader codes to the window.
  BslRun run(std::string(k2xxProfile) + "garbage = 5577 40\n", Image2xx());
  run.record.AskResetVector = true;
  auto& queue = run.window.queue;
  run.window.recording.onWrite = [&](const uint8_t* bytes, uint32_t count) {
    const std::string text(reinterpret_cast<const char*>(bytes), count);
    if (text == "A.1000\r\n") {
      queue.PostCode(core::codes::kAnswerResetVector, "0x1234");
      queue.PostCode(core::codes::kLoaderFrame, "noise");
      queue.PostCode(core::codes::kLoaderByte, core::EventText::Number(0x51));
    } else if (text == "A.5577\r\n") {
      queue.PostCode(core::codes::kAcknowledged);
      queue.PostCode(core::codes::kAnswerLine);
    }
  };
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(run.window.boxes.empty());
  EXPECT_EQ(bsltest::SentCommands(run.window.log),
            (std::vector<std::string>{"A.1000\r\n", "A.5577\r\n", "A.5588#QT48\r\n"}));
  EXPECT_EQ(run.record.ResetVector, 0xC000);
  EXPECT_TRUE(FlashHolds(run.instrument->Flash(), 0xC000, kCode));
  for (const int32_t code : {core::codes::kLoaderFrame, core::codes::kLoaderByte})
    EXPECT_EQ(std::count(run.window.unconsumed.begin(), run.window.unconsumed.end(), code), 1) << code;
  const auto trace = run.Trace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[1], "10@FFFF/9600");  // the password taken at once
}

TEST(Bsl430Run, AnUnpluggedAdapterEndsTheRunAtOnce) {
  // While the request waits for the hand-over's answer, and during the writes.
  BslRun atHandOver(std::string(k2xxProfile) + "drop-at = 5588\n", Image2xx());
  atHandOver.record.AskResetVector = true;
  atHandOver.ExpectTheDropAtTheHandOverEndsTheRun();
  BslRun inWrites(k2xxProfile, Image2xx());
  inWrites.record.AskResetVector = true;
  inWrites.ExpectAnUnplugDuringTheWritesEndsTheRun(1, 0x12);
}

TEST(Bsl430Run, AFileThatCannotBeUsedFailsBeforeAnythingIsSent) {
  struct Case {
    const char* file;
    std::string content;
    const char* text;
  };
  for (const Case& c :
       {Case{"missing.txt", "", "The firmware file missing.txt cannot be opened."},
        Case{"empty.txt", "no address line\r\nq\r\n", "no data"},
        Case{"order.txt", TiTxt({{0x10000, kCode}, {0xC000, kCode}}), "cannot be programmed"}}) {
    BslRun run(k2xxProfile, Image2xx());
    if (!c.content.empty()) run.window.WriteFile(c.file, c.content);
    EXPECT_FALSE(run.Program(c.file)) << c.file;
    ASSERT_EQ(run.window.boxes.size(), 1u) << c.file;
    EXPECT_NE(run.window.boxes[0].find(c.text), std::string::npos) << run.window.boxes[0];
    const auto* ascii = dynamic_cast<const sim::AsciiModel*>(&run.instrument->Model());
    ASSERT_NE(ascii, nullptr);
    EXPECT_TRUE(ascii->Commands().empty()) << c.file;
    EXPECT_EQ(run.window.queue.HandlerCount(), 1u);  // the programmer is not left subscribed
  }
}

TEST(Bsl430Run, AnInstrumentAlreadyInItsLoaderIsProgrammedAtOnce) {
  // A bench instrument that waits in its ROM loader (it answers the first
  // sync with 0x90 itself); the reset vector is known from an earlier run.
  BslRun run(
      "name = bench\nline = 9600 8E1\nboot-loader = 0x90\nloader = rom-bsl\n"
      "flash = 0x1000 0x100 64\nflash = 0x1100 0x100 0x100\nflash = 0x1200 0xEE00 512\n"
      "bsl = family 2xx chip 0xF237 version 1.61 reset 0xC000\n",
      Image2xx());
  run.record.AlreadyInLoader = true;
  run.record.SyncFirst = true;
  run.record.ResetVector = 0xC000;
  run.record.ResetVectorKnown = true;
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(FlashHolds(run.instrument->Flash(), 0xC000, kCode));
  EXPECT_TRUE(FlashHolds(run.instrument->Flash(), 0xFFE0, Vectors(0xC000)));
  const auto trace = run.Trace();
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.front(), "1E@5858/9600");  // no request commands, the version first
}

// The new firmware uses a second vector (0xFFE0 = 0xC040), so the table it
// leaves differs from the old firmware's (reset vector alone).
std::vector<uint8_t> NewVectors() {
  return TwoVectors(0xC040, 0xC000);
}

std::vector<bsltest::ImageSection> NewImage() {
  return {{0x1080, kInfo}, {0xC000, kCode}, {0xFFE0, NewVectors()}};
}

TEST(Bsl430Run, TheRetryAfterAFailurePastTheVectorEraseGivesThePasswordTheChipNowHas) {
  // A loader that misses the write of the vector block (the run fails at
  // the read-back, the table erased), and a read-back that differs (the
  // table written with the new vectors). Either way the retry's password is
  // the table the chip holds, not the old reset vector, and is taken at once.
  struct Case {
    bool missedWrite;
    std::vector<uint8_t> table;
  };
  for (const Case& c : {Case{true, std::vector<uint8_t>(32, 0xFF)}, Case{false, NewVectors()}}) {
    BslRun run(k2xxProfile, TiTxt(NewImage()));
    run.record.AskResetVector = true;
    run.PlantInLoader([&](RomBslModel& loader) {
      if (c.missedWrite)
        loader.IgnoreAt(0x12, 0xFFE0);
      else
        loader.CorruptReadAt(0xC0F3);
    });
    ASSERT_FALSE(run.Program()) << c.missedWrite;
    EXPECT_EQ(run.lastError, 9);
    EXPECT_TRUE(run.record.LoaderState.tableKnown);
    EXPECT_TRUE(std::equal(c.table.begin(), c.table.end(), run.record.LoaderState.vectorTable.begin()));
    EXPECT_TRUE(run.record.LoaderState.at38400);
    EXPECT_EQ(run.record.ResetVector, 0xC000);  // what the instrument said stays

    run.loader->CorruptReadAt(0xFFFFFFFF);
    ASSERT_TRUE(run.RetryInLoader()) << c.missedWrite;
    EXPECT_TRUE(bsltest::FlashHoldsImage(run.instrument->Flash(), NewImage()));
    EXPECT_TRUE(run.instrument->Flash().IsErased(0xC000 + 600, 0xFFE0 - 0xC000 - 600));
    // The loader was left at 38400: the retry talks to it there.
    const auto retry = run.RetryTrace();
    ASSERT_GE(retry.size(), 3u);
    EXPECT_EQ(retry[0], "1E@5858/38400");
    EXPECT_EQ(retry[1], "10@FFFF/38400");
    EXPECT_EQ(retry.back(), "1A@C000/38400");
    for (const auto& entry : retry) EXPECT_EQ(entry.find("NAK"), std::string::npos) << entry;
    EXPECT_TRUE(run.window.boxes.size() == 1u);  // the first run's only
    EXPECT_FALSE(run.record.LoaderState.at38400);
  }
}

TEST(Bsl430Run, TheRetryFindsTheLoaderAt9600WhenTheInstrumentWasSwitchedOffAndOn) {
  // The run fails at the read-back, at 38400; the user follows the abort
  // text and switches the instrument off and on into its loader, which then
  // listens at 9600. The retry's sync at 38400 goes unanswered, the next
  // one at 9600 opens the session.
  BslRun run(k2xxProfile, TiTxt(NewImage()));
  run.record.AskResetVector = true;
  run.PlantInLoader([&](RomBslModel& loader) { loader.CorruptReadAt(0xC0F3); });
  ASSERT_FALSE(run.Program());
  EXPECT_TRUE(run.record.LoaderState.at38400);
  run.loader->CorruptReadAt(0xFFFFFFFF);
  run.loader->RestartLoader();
  ASSERT_TRUE(run.RetryInLoader());
  EXPECT_TRUE(bsltest::FlashHoldsImage(run.instrument->Flash(), NewImage()));
  const auto retry = run.RetryTrace();
  ASSERT_GE(retry.size(), 3u);
  EXPECT_EQ(retry[0], "1E@5858/9600");
  EXPECT_EQ(retry[1], "10@FFFF/9600");
  EXPECT_EQ(retry[2], "20@8C80/38400");  // the rate change (logged at the rate it sets)
  EXPECT_EQ(retry.back(), "1A@C000/38400");
  EXPECT_EQ(run.window.boxes.size(), 1u);  // the first run's only
}

TEST(Bsl430Run, TheRetryAfterAFailureBeforeTheVectorEraseStillUsesTheResetVector) {
  // Every write refused: the run ends at the first block, the vector segment
  // untouched; the table holds the old firmware's reset vector alone.
  BslRun run(k2xxProfile, TiTxt(NewImage()));
  run.record.AskResetVector = true;
  run.PlantInLoader([&](RomBslModel& loader) { loader.NakNext(0x12, 4); });
  ASSERT_FALSE(run.Program());
  EXPECT_EQ(run.lastError, 8);
  const std::vector<uint8_t> old = Vectors(0xC000);
  EXPECT_TRUE(std::equal(old.begin(), old.end(), run.record.LoaderState.vectorTable.begin()));

  ASSERT_TRUE(run.RetryInLoader());
  EXPECT_TRUE(bsltest::FlashHoldsImage(run.instrument->Flash(), NewImage()));
  const auto retry = run.RetryTrace();
  ASSERT_GE(retry.size(), 2u);
  EXPECT_EQ(retry[1], "10@FFFF/38400");  // taken at once
}

TEST(Bsl430Run, ARetryThatKnowsNothingTriesTheErasedTableOnceTheDefaultVectorIsRefused) {
  // The tool was restarted after a run that failed past the vector erase:
  // the record is new, so the password is built from the default vector.
  // The 2xx refuses it (and mass-erases); the erased table opens it.
  BslRun run(k2xxProfile, TiTxt(NewImage()));
  run.record.AskResetVector = true;
  run.record.KeepSlowRate = {true, false};
  run.window.onLoader = [](sim::InstrumentModel& m) { dynamic_cast<RomBslModel&>(m).IgnoreAt(0x12, 0xFFE0); };
  ASSERT_FALSE(run.Program());
  ASSERT_TRUE(run.record.LoaderState.TableErased());

  run.record = ProgrammerRecord{};
  run.record.KeepSlowRate = {true, false};  // from the package, as before
  ASSERT_TRUE(run.RetryInLoader());
  EXPECT_TRUE(bsltest::FlashHoldsImage(run.instrument->Flash(), NewImage()));
  const auto retry = run.RetryTrace();
  ASSERT_GE(retry.size(), 3u);
  EXPECT_EQ(retry[0], "1E@5858/9600");
  EXPECT_EQ(retry[1], "10@FFFF/9600 NAK");
  EXPECT_EQ(retry[2], "10@FFFF/9600");
  EXPECT_EQ(retry.back(), "1A@C000/9600");
}

TEST(Bsl430Run, ARefusedPasswordTheRecordKnowsIsSentAgain) {
  // The first run failed at a write, after the loader took its password;
  // the retry's password is refused once (noise): the record knows what the
  // chip holds, so the same table goes again, not a guess that would erase
  // a 2xx.
  BslRun run(
      "name = m4xx\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\n"
      "loader = rom-bsl after 5588\n"
      "flash = 0x1000 0x100 128\nflash = 0x1100 0x100 0x100\nflash = 0x1200 0xEE00 512\n"
      "bsl = family 4xx chip 0xF449 version 1.61 reset 0xC000\n",
      TiTxt(NewImage()));
  run.record.AskResetVector = true;
  run.PlantInLoader([&](RomBslModel& loader) { loader.NakNext(0x12, 4); });
  ASSERT_FALSE(run.Program());
  run.loader->NakNext(0x10, 1);
  ASSERT_TRUE(run.RetryInLoader());
  EXPECT_TRUE(bsltest::FlashHoldsImage(run.instrument->Flash(), NewImage()));
  const auto retry = run.RetryTrace();
  ASSERT_GE(retry.size(), 3u);
  const std::vector<std::string> start(retry.begin(), retry.begin() + 3);
  EXPECT_EQ(start, (std::vector<std::string>{"1E@5858/38400", "10@FFFF/38400 NAK", "10@FFFF/38400"}));
}

TEST(Bsl430Run, TheImageChosenByTheChipIdAndAnF1xxAt38400) {
  // The loader reports chip 0xF16C (an F1xx with loader 1.61); the package
  // names the file for it, with "@": stay at 9600 in mode 1 ... unless the
  // name has no "@", then the F1xx divider E0 87 takes the line to 38400.
  for (const bool slow : {true, false}) {
    BslRun run(
        "name = m1\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\n"
        "loader = rom-bsl after 5567\n"
        "flash = 0x1000 0x100 128\nflash = 0x1100 0x100 0x100\nflash = 0x1200 0xEE00 512\n"
        "bsl = family 1xx chip 0xF16C version 1.61 reset 0xC000\n",
        TiTxt({{0x1080, kInfo}, {0x4000, Pattern(64, 30)}, {0xFFE0, Vectors(0xC000)}}));
    run.window.WriteFile("CHIP16C.TXT", Image2xx());
    run.window.progDef[0xF16C] = slow ? "CHIP16C.TXT@" : "CHIP16C.TXT";
    run.record.ImageByChipId = true;  // mode 2, no question: the first default vector
    ASSERT_TRUE(run.Program()) << slow;
    EXPECT_TRUE(FlashHolds(run.instrument->Flash(), 0xC000, kCode));
    EXPECT_EQ(run.record.KeepSlowRate[1], slow);
    const auto trace = run.Trace();
    const bool switched = std::find(trace.begin(), trace.end(), "20@87E0/38400") != trace.end();
    EXPECT_EQ(switched, !slow);
    EXPECT_EQ(trace.back(), slow ? "1A@C000/9600" : "1A@C000/38400");
  }
}

TEST(Bsl430Run, TheProgressEndsAtItsMaximumAlsoWithTheImageChosenByTheChipId) {
  // The package's image and the chip's differ in block count either way;
  // the bar must neither stop short (and jump at the end) nor run full early.
  const std::string threeBlocks =
      TiTxt({{0x1080, kInfo}, {0x4000, Pattern(64, 30)}, {0xFFE0, Vectors(0xC000)}});
  struct Case {
    std::string image, chipImage;
  };
  for (const Case& c : {Case{Image2xx(), ""}, Case{threeBlocks, Image2xx()}, Case{Image2xx(), threeBlocks}}) {
    BslRun run(
        "name = m1\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\n"
        "loader = rom-bsl after 5567\n"
        "flash = 0x1000 0x100 128\nflash = 0x1100 0x100 0x100\nflash = 0x1200 0xEE00 512\n"
        "bsl = family 1xx chip 0xF16C version 1.61 reset 0xC000\n",
        c.image);
    if (!c.chipImage.empty()) {
      run.window.WriteFile("CHIP16C.TXT", c.chipImage);
      run.window.progDef[0xF16C] = "CHIP16C.TXT";
      run.record.ImageByChipId = true;
    } else {
      run.record.LoaderMode = 2;
    }
    ASSERT_TRUE(run.Program()) << c.chipImage.size();
    const bsltest::ProgressBar bar(run.window.progress);
    EXPECT_GT(bar.maximum, 0);
    EXPECT_EQ(bar.position, bar.maximum) << c.chipImage.size();
    EXPECT_EQ(bar.beyond, 0) << c.chipImage.size();
  }
}

TEST(Bsl430Run, TheShippedProfilesTakeTheirImages) {
  struct Case {
    const char* profile;
    std::string image;
    uint32_t at;
  };
  const auto code = Pattern(300, 21);
  for (const Case& c :
       {Case{"msp430-2xx-meter", TiTxt({{0x1080, kInfo}, {0xC000, code}, {0xFFE0, Vectors(0xC000)}}), 0xC000},
        Case{"msp430-2xx-large-meter", TiTxt({{0x1080, kInfo}, {0x3100, code}, {0xFFE0, Vectors(0x3100)}}),
             0x3100},
        Case{"msp430-1xx-meter", TiTxt({{0x1080, kInfo}, {0xC000, code}, {0xFFE0, Vectors(0xC000)}}),
             0xC000}}) {
    TestWindow window;
    sim::Instrument& instrument = window.Connect(sim::LoadShippedProfile(c.profile), serial::B__4800);
    window.WriteFile("fw.txt", c.image);
    window.WriteFile("Patch.TXT", TiTxt({{0x0220, Pattern(32, 22)}}));
    ProgrammerRecord record;
    record.AskResetVector = true;
    T_BSL430 programmer(window, window.delay, record, *window.port);
    EXPECT_TRUE(programmer.Program("fw.txt")) << c.profile;
    EXPECT_TRUE(FlashHolds(instrument.Flash(), c.at, code)) << c.profile;
  }
}

}  // namespace
