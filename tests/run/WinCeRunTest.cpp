// The Windows CE programmer against the file receiver model, in virtual
// time: what the instrument stored equals the package files byte for byte,
// each block is acknowledged once, the rates go there and back, and every
// failure ends with one box and false.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BslRunHarness.h"
#include "programmers/TWinCEProg.h"
#include "sim/model/AsciiModel.h"
#include "sim/wince/WinCeReceiverModel.h"

namespace {

using programmers::TWinCEProg;
using sim::WinCeReceiverModel;

constexpr const char* kProfile =
    "line = 4800 8N1\n"
    "pcb = 22410.001\n"
    "device = 24110.000\n"
    "version = 2.00\n"
    "serial = 11110032\n"
    "loader = wince-receiver after 1300\n";

constexpr const char* kNoAnswerBox = "Error: The instrument does not answer. The transfer was aborted.";

std::string Bytes(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>(seed >> 16);
  }
  return s;
}

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

struct WinCeRun {
  bsltest::TestWindow window;
  programmers::ProgrammerRecord record;
  sim::Instrument* instrument = nullptr;

  explicit WinCeRun(const std::string& extra = "") {
    instrument = &window.Connect(bsltest::Profile(kProfile + extra), serial::B__4800);
  }
  void AddExtra(const std::string& name, const std::string& content) {
    window.WriteFile(name, content);
    record.ExtraFiles.push_back(name);
    record.ExtraFileCount = static_cast<int32_t>(record.ExtraFiles.size());
  }
  bool Program(const std::string& file = "MAIN.EXE") {
    TWinCEProg programmer(window, window.delay, record, *window.port);
    return programmer.Program(file);
  }
  // Runs `action` once the instrument has answered `blocks` blocks.
  void AfterBlocks(size_t blocks, std::function<void()> action) {
    auto& time = window.host.Time();
    time.ScheduleAfter(50'000, [this, blocks, action] {
      const auto* r = Receiver();
      if (!r || r->Blocks().size() < blocks) {
        AfterBlocks(blocks, action);
        return;
      }
      window.host.Time().Post(action);
    });
  }
  void PressEscape() {
    window.queue.PostKey(core::keys::kEscape);
    window.DrainEvents();
  }
  std::vector<const WinCeReceiverModel*> Receivers() const {
    std::vector<const WinCeReceiverModel*> out;
    for (const auto& m : instrument->History())
      if (const auto* r = dynamic_cast<const WinCeReceiverModel*>(m.get())) out.push_back(r);
    return out;
  }
  const WinCeReceiverModel* Receiver() const {
    const auto all = Receivers();
    return all.empty() ? nullptr : all.back();
  }
  // The ASCII model now on the line (the application took it back).
  bool BackInApplication() const {
    return dynamic_cast<const sim::AsciiModel*>(&instrument->Model()) != nullptr;
  }
  std::vector<std::string> Rates() const {
    std::vector<std::string> out;
    for (const auto& line : bsltest::SentCommands(window.log))
      if (line.rfind("A.1300#", 0) == 0) out.push_back(line.substr(0, line.size() - 2));
    return out;
  }
  void ExpectPortRestored() const {
    EXPECT_EQ(window.port->LoadV24Parameter().BaudRate, 4800u);
    EXPECT_EQ(window.port->LoadV24Parameter().StopBits, 2u);  // TWOSTOPBITS, as the search left it
  }
  size_t OneBox(const std::string& box) const {
    EXPECT_EQ(window.boxes, std::vector<std::string>{box});
    return window.boxes.size();
  }
};

// Every stored file equals its package file, and every block was
// acknowledged once: no offset of a file answered "D.n!" twice.
void ExpectStoredOnce(const WinCeReceiverModel& r) {
  std::vector<std::pair<int, uint32_t>> acked;
  for (const auto& b : r.Blocks()) {
    if (b.answer.rfind("D.", 0) != 0) continue;
    const std::pair<int, uint32_t> at{b.file, b.offset};
    EXPECT_EQ(std::count(acked.begin(), acked.end(), at), 0) << "file " << b.file << " offset " << b.offset;
    acked.push_back(at);
  }
}

TEST(WinCeRun, MainAndExtraFilesArriveByteForByteAndTheRatesGoThereAndBack) {
  WinCeRun run;
  const std::string main = Bytes(4500, 1);
  const std::string library = Bytes(2000, 2);
  run.window.WriteFile("MAIN.EXE", main);
  run.AddExtra("HELP.DLL", library);
  run.AddExtra("EMPTY.DAT", "");

  EXPECT_TRUE(run.Program());
  EXPECT_TRUE(run.window.boxes.empty());
  const auto* r = run.Receiver();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->Files().size(), 3u);
  EXPECT_EQ(r->Files()[0].name, "MAIN.EXE");
  EXPECT_EQ(Text(r->Files()[0].bytes), main);
  EXPECT_EQ(Text(r->Files()[1].bytes), library);
  EXPECT_TRUE(r->Files()[2].bytes.empty());
  for (const auto& f : r->Files()) {
    EXPECT_EQ(f.state, WinCeReceiverModel::FileState::kStored) << f.name;
    EXPECT_EQ(f.announcedBy, 1205);  // the record gives no start-up version
  }
  // 4500 bytes: 2000, 2000, 500; 2000: one; 0: one block with n = 0.
  std::vector<uint32_t> lengths;
  for (const auto& b : r->Blocks()) lengths.push_back(b.length);
  EXPECT_EQ(lengths, (std::vector<uint32_t>{2000, 2000, 500, 2000, 0}));
  ExpectStoredOnce(*r);
  EXPECT_TRUE(r->TransferEnded());

  // Each rate once: 38400 there, the previous 4800 back.
  EXPECT_EQ(run.Rates(), (std::vector<std::string>{"A.1300#38400", "A.1300#4800"}));
  EXPECT_EQ(r->RateBack(), 4800u);
  EXPECT_TRUE(run.BackInApplication());
  run.ExpectPortRestored();
  EXPECT_EQ(bsltest::SentCommands(run.window.log).front(), "A.1000\r\n");
  EXPECT_EQ(std::count(run.window.unconsumed.begin(), run.window.unconsumed.end(), core::codes::kAcknowledged), 0);
}

TEST(WinCeRun, ProgressMaximaAndTheStartUpAnnouncement) {
  WinCeRun run;
  run.window.WriteFile("MAIN.EXE", Bytes(4500, 3));
  run.AddExtra("SAME.EXE", Bytes(4500, 3));
  run.record.StartupVersionInDevice = 1100;
  EXPECT_TRUE(run.Program());
  std::vector<int32_t> maxima;
  for (const auto& [command, value] : run.window.progress)
    if (command == 2) maxima.push_back(value);
  EXPECT_EQ(maxima, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(run.window.progress.front(), (std::pair<uint32_t, int32_t>{1, 0}));
  EXPECT_EQ(run.window.progress.back(), (std::pair<uint32_t, int32_t>{1, 0}));
  for (const auto& f : run.Receiver()->Files()) EXPECT_EQ(f.announcedBy, 1201);

  WinCeRun accepted;
  accepted.window.WriteFile("MAIN.EXE", "x");
  accepted.record.StartupVersionInDevice = 1100;
  accepted.record.SameVersionAccepted = 1;
  EXPECT_TRUE(accepted.Program());
  EXPECT_EQ(accepted.Receiver()->Files().at(0).announcedBy, 1205);
}

TEST(WinCeRun, ABlockAnsweredTwoIsSentAgainUntilItIsTaken) {
  WinCeRun run("wince = bad-crc-at 2\n");
  const std::string main = Bytes(5000, 4);
  run.window.WriteFile("MAIN.EXE", main);
  EXPECT_TRUE(run.Program());
  const auto* r = run.Receiver();
  EXPECT_EQ(Text(r->Files().at(0).bytes), main);
  ASSERT_EQ(r->Blocks().size(), 4u);
  EXPECT_EQ(r->Blocks()[1].answer, "I.261#2");
  EXPECT_EQ(r->Blocks()[2].offset, 2000u);  // the same block again
  ExpectStoredOnce(*r);
}

TEST(WinCeRun, AStormOfRepeatsEndsByTheGuard) {
  WinCeRun run("wince = bad-crc-from 2\n");
  run.window.WriteFile("MAIN.EXE", Bytes(6000, 5));
  EXPECT_FALSE(run.Program());
  run.OneBox(kNoAnswerBox);
  const auto* r = run.Receiver();
  // A repeat of 2000 bytes takes 1.12 s on this line: the guard's 8 s from
  // the last acknowledgement (block 1) leave room for about seven.
  EXPECT_GE(r->Blocks().size(), 6u);
  EXPECT_LE(r->Blocks().size(), 10u);
  EXPECT_EQ(r->Files().at(0).bytes.size(), 2000u);
  run.ExpectPortRestored();
}

TEST(WinCeRun, AnotherErrorNumberFailsAtOnce) {
  WinCeRun run("wince = error-at 2 7\n");
  run.window.WriteFile("MAIN.EXE", Bytes(5000, 6));
  EXPECT_FALSE(run.Program());
  run.OneBox("Error: The instrument reports error 7. The transfer was aborted.");
  EXPECT_EQ(run.Receiver()->Blocks().size(), 2u);
  run.ExpectPortRestored();
}

TEST(WinCeRun, SilenceAtEachStepEndsByTheGuard) {
  struct Case {
    const char* profileLine;
    bool receiverSilent;  // the receiver answers nothing from the start
    const char* what;
  };
  for (const Case& c : {Case{"silent-from = 1000\n", false, "hello"}, Case{"silent-from = 1300\n", false, "rate"},
                        Case{"", true, "announcement"}, Case{"wince = silent-after 1\n", false, "blocks"},
                        Case{"wince = silent-after 3\n", false, "end of file"}}) {
    SCOPED_TRACE(c.what);
    WinCeRun run(c.profileLine);
    if (c.receiverSilent)
      run.window.onLoader = [](sim::InstrumentModel& m) { dynamic_cast<WinCeReceiverModel&>(m).GoSilent(); };
    run.window.WriteFile("MAIN.EXE", Bytes(5000, 7));
    EXPECT_FALSE(run.Program());
    run.OneBox(kNoAnswerBox);
    run.ExpectPortRestored();
    // Only the rate going there is ever sent: a silent instrument is not told the rate back.
    EXPECT_LE(run.Rates().size(), 1u);
  }
}

TEST(WinCeRun, NextFileAnswerStartsTheNextFileAtOnce) {
  WinCeRun run("wince = next-file-after 1\n");
  run.window.WriteFile("MAIN.EXE", Bytes(5000, 8));
  const std::string extra = Bytes(2500, 9);
  run.AddExtra("NEXT.DAT", extra);
  EXPECT_TRUE(run.Program());
  const auto* r = run.Receiver();
  ASSERT_EQ(r->Files().size(), 2u);
  EXPECT_EQ(r->Files()[0].state, WinCeReceiverModel::FileState::kSkipped);
  EXPECT_EQ(Text(r->Files()[1].bytes), extra);
  EXPECT_EQ(r->Files()[1].state, WinCeReceiverModel::FileState::kStored);
  // The first file's end was never sent.
  EXPECT_EQ(std::count(r->Commands().begin(), r->Commands().end(), "A.1202"), 1);
}

TEST(WinCeRun, AnExtraFileThatCannotBeUsedFailsWithItsBoxAndTheRateBack) {
  for (const bool oversized : {false, true}) {
    SCOPED_TRACE(oversized ? "oversized" : "missing");
    WinCeRun run;
    const std::string main = Bytes(2100, 10);
    run.window.WriteFile("MAIN.EXE", main);
    if (oversized) {
      run.AddExtra("HUGE.DAT", std::string(TWinCEProg::kFileLimit + 1, 'h'));
    } else {
      run.record.ExtraFiles.push_back("GONE.DAT");
      run.record.ExtraFileCount = 1;
    }
    run.AddExtra("LATER.DAT", "later");
    EXPECT_FALSE(run.Program());
    run.OneBox(oversized ? "Error: The firmware file HUGE.DAT is too large (at most 3000000 bytes)."
                         : "Error: The firmware file GONE.DAT cannot be opened.");
    const auto* r = run.Receiver();
    ASSERT_EQ(r->Files().size(), 1u);  // nothing announced after the main file
    EXPECT_EQ(Text(r->Files()[0].bytes), main);
    EXPECT_FALSE(r->TransferEnded());
    EXPECT_EQ(run.Rates(), (std::vector<std::string>{"A.1300#38400", "A.1300#4800"}));
    EXPECT_TRUE(run.BackInApplication());
    run.ExpectPortRestored();
    // It ended on the rate's acknowledgement, not by the guard.
    EXPECT_LT(run.window.host.Time().TickCount(), 20000u);
  }
}

TEST(WinCeRun, AMainFileThatCannotBeUsedSendsNothing) {
  WinCeRun run;
  run.window.WriteFile("MAIN.EXE", std::string(TWinCEProg::kFileLimit + 1, 'm'));
  EXPECT_FALSE(run.Program());
  run.OneBox("Error: The firmware file MAIN.EXE is too large (at most 3000000 bytes).");
  for (const auto& op : run.window.recording.operations) EXPECT_NE(op.what, "write") << op.atMs;

  // The limit itself is taken: announced whole, then left with Esc.
  WinCeRun exact;
  exact.window.WriteFile("MAIN.EXE", std::string(TWinCEProg::kFileLimit, 'm'));
  exact.AfterBlocks(1, [&] { exact.PressEscape(); });
  EXPECT_FALSE(exact.Program());
  EXPECT_EQ(exact.Receiver()->Files().at(0).announcedSize, TWinCEProg::kFileLimit);
}

TEST(WinCeRun, EscapeEndsTheRun) {
  WinCeRun run;
  run.window.WriteFile("MAIN.EXE", Bytes(40000, 11));
  run.AfterBlocks(3, [&] { run.PressEscape(); });
  EXPECT_FALSE(run.Program());
  run.OneBox("Error: The transfer was aborted with Esc.");
  EXPECT_LT(run.Receiver()->Blocks().size(), 10u);
  EXPECT_FALSE(run.Receiver()->TransferEnded());
  run.ExpectPortRestored();
}

TEST(WinCeRun, APulledLineEndsTheRunAtOnce) {
  WinCeRun run;
  run.window.WriteFile("MAIN.EXE", Bytes(20000, 12));
  uint32_t pulledAt = 0;
  run.AfterBlocks(2, [&] {
    pulledAt = run.window.host.Time().TickCount();
    run.window.ports.Line(1)->Disconnect();
  });
  EXPECT_FALSE(run.Program());
  ASSERT_NE(pulledAt, 0u);
  EXPECT_LT(run.window.host.Time().TickCount() - pulledAt, 1000u);
  run.OneBox(
      "Error: The connection to the instrument on COM1 was lost (cable or USB adapter unplugged?). "
      "Reconnect the instrument and restart the download with Ok.");
  for (const auto& op : run.window.OperationsAfterLoss()) ADD_FAILURE() << op.what << " at " << op.atMs;
}

TEST(WinCeRun, AfterAnExtraFileFailedTheSameInstrumentTakesTheRetry) {
  // The rate back after the failed file leaves the instrument in its
  // application at its own rate, so the retry's hello is understood.
  WinCeRun run;
  run.window.WriteFile("MAIN.EXE", Bytes(2500, 13));
  run.record.ExtraFiles = {"LATE.DAT"};
  run.record.ExtraFileCount = 1;
  EXPECT_FALSE(run.Program());
  run.window.WriteFile("LATE.DAT", "now here");
  run.window.boxes.clear();
  EXPECT_TRUE(run.Program());
  EXPECT_TRUE(run.window.boxes.empty());
  const auto* r = run.Receiver();
  ASSERT_EQ(r->Files().size(), 2u);
  EXPECT_EQ(Text(r->Files()[0].bytes), Bytes(2500, 13));
  EXPECT_EQ(Text(r->Files()[1].bytes), "now here");
  EXPECT_EQ(run.Receivers().size(), 2u);
}

}  // namespace
