// Whole EFM downloads in virtual time: the programmer on a TComPort, over
// the simulated line, against the instrument models (the application takes
// the request, then the EFM loader model).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "BslRunHarness.h"
#include "programmers/TEFMV24_Prog.h"
#include "sim/efm/EfmLoaderModel.h"
#include "sim/model/AsciiModel.h"

namespace {

using bsltest::Profile;
using bsltest::TestWindow;
using programmers::TEFMV24_Prog;
using sim::EfmLoaderModel;

// A meter with a digital sensor whose application runs at 9600 baud.
const char* const kProfile =
    "name = efm\nfamily = 5\nline = 9600 8N1\npcb = 22113.001,30520.002\ndevice = 23053.000,30520.001\n"
    "version = 1.00,1.20\nserial = 1,2\nloader = efm-loader after 5004\nreply-delay-ms = 2\n"
    "efm = text LDR-2.04 restart-ms 300 program-ms 1200\n";

std::string Bytes(size_t n, uint8_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  return s;
}

// The window as the tool's: one read per data notification, as its line
// parser does; and the time of the last line received.
class EfmWindow : public TestWindow {
 public:
  void LogLine(const std::string& text) override {
    if (text.size() > 3 && text.compare(text.size() - 3, 3, " <-") == 0) lastLineAtMs = host.Time().TickCount();
    TestWindow::LogLine(text);
  }
  uint32_t lastLineAtMs = 0;

 protected:
  void OnWindowEvent(core::EventQueue& q, const core::Event& event) override {
    if (event.kind == core::kCodeEvent && event.code == core::codes::kDataArrived) {
      uint8_t buffer[251];
      const int32_t n = port->Read(buffer, 250);
      if (n > 0)
        parser.Feed(buffer, static_cast<size_t>(n), q, [this](const std::string& line) { LogLine(line); });
      return;
    }
    TestWindow::OnWindowEvent(q, event);
  }
};

struct EfmRun {
  EfmWindow window;
  programmers::ProgrammerRecord record;
  sim::Instrument* instrument = nullptr;
  EfmLoaderModel* loader = nullptr;
  std::function<void(EfmLoaderModel&)> plant;
  std::string file;

  explicit EfmRun(const std::string& content, const std::string& profile = kProfile) : file(content) {
    window.onLoader = [this](sim::InstrumentModel& m) {
      loader = dynamic_cast<EfmLoaderModel*>(&m);
      if (loader && plant) plant(*loader);
    };
    instrument = &window.Connect(Profile(profile), serial::B__9600);
    window.WriteFile("FW.BIN", content);
  }
  bool Program(const std::string& name = "fw.bin") {
    TEFMV24_Prog programmer(window, window.delay, record, *window.port);
    return programmer.Program(name);
  }
  uint32_t Now() { return window.host.Time().TickCount(); }
  platform::sim::LineFormat PortFormat() { return window.ports.Line(1)->PortFormat(); }
  // How often the loader got this command head, and at which rates.
  std::vector<uint32_t> RatesOf(const std::string& head) const {
    std::vector<uint32_t> rates;
    for (const auto& [c, baud] : loader->Commands())
      if (c == head) rates.push_back(baud);
    return rates;
  }
  std::vector<std::string> Writes() const {
    std::vector<std::string> out;
    for (const auto& op : window.recording.operations)
      if (op.what == "write") out.push_back(op.what);
    return out;
  }
  // The file, then the fill, as the loader must hold it.
  std::vector<uint8_t> Expected(size_t fill) const {
    std::vector<uint8_t> image(file.begin(), file.end());
    image.insert(image.end(), fill, 0xFF);
    return image;
  }
};

// Every line the loader acknowledged stored its bytes right after the one
// before: each byte of the image once, every line acknowledged once.
void ExpectEachByteStoredOnce(const EfmLoaderModel& loader, size_t length) {
  size_t next = 0, acknowledged = 0;
  for (const auto& line : loader.Lines()) {
    if (line.answer != 0) continue;
    EXPECT_EQ(line.offset, next);
    next += line.length;
    ++acknowledged;
  }
  EXPECT_EQ(next, length);
  EXPECT_EQ(acknowledged, (length + 127) / 128);
}

TEST(EfmRun, StoresTheFileAndItsFillAndLeavesTheInstrumentInItsNewProgram) {
  EfmRun run(Bytes(1000, 3));
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(run.window.boxes.empty());
  ASSERT_NE(run.loader, nullptr);
  // 1000 bytes: 18 bytes of fill, L = 1018, seven lines of 128 and one of 122.
  EXPECT_EQ(run.loader->AnnouncedLength(), 1018u);
  EXPECT_EQ(run.loader->Image(), run.Expected(18));
  EXPECT_TRUE(run.loader->Programmed());
  ExpectEachByteStoredOnce(*run.loader, 1018);
  EXPECT_EQ(run.loader->Lines().back().length, 122u);
  // 1 January 2003 12:00 local time.
  EXPECT_EQ(run.loader->TimeStamp(), 129600u);

  // Each rate command went once, at the rate the instrument listened at;
  // the lines went at the fast rate.
  EXPECT_EQ(run.RatesOf("A.1301#7"), std::vector<uint32_t>{9600});
  EXPECT_EQ(run.RatesOf("A.1301#3"), std::vector<uint32_t>{115200});
  EXPECT_EQ(run.RatesOf("A.9000"), std::vector<uint32_t>{115200});
  for (uint32_t baud : run.RatesOf("A.1261")) EXPECT_EQ(baud, 115200u);

  // The new program answers at 9600 on the port left at 9600, no parity.
  EXPECT_NE(dynamic_cast<const sim::AsciiModel*>(run.instrument->History().back().get()), nullptr);
  EXPECT_EQ(run.PortFormat().baud, 9600u);
  EXPECT_EQ(run.PortFormat().stopBits, platform::sim::StopBits::Two);

  // Only the head of a data line is logged.
  EXPECT_NE(std::find_if(run.window.log.begin(), run.window.log.end(),
                         [](const std::string& l) { return l.rfind("A.1261#128,", 0) == 0 && l.back() == ','; }),
            run.window.log.end());
  // The bar's maximum is L / 128 = 7; it is reached, reset at the end.
  const bsltest::ProgressBar bar(run.window.progress);
  EXPECT_EQ(bar.maximum, 7);
  EXPECT_GE(bar.position, 7);
  EXPECT_EQ(run.window.progress.back(), std::make_pair(1u, 0));
}

TEST(EfmRun, SmallFilesMakeTheirLinesFromTheFillRule) {
  struct Case {
    size_t size;
    size_t length;
    std::vector<size_t> lines;
  };
  for (const Case& c : {Case{0, 122, {122}}, Case{122, 250, {128, 122}}, Case{134, 250, {128, 122}}}) {
    SCOPED_TRACE(c.size);
    EfmRun run(Bytes(c.size, 9));
    ASSERT_TRUE(run.Program());
    EXPECT_EQ(run.loader->Image(), run.Expected(c.length - c.size));
    std::vector<size_t> lines;
    for (const auto& l : run.loader->Lines()) lines.push_back(l.length);
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(EfmRun, KeepSlowRateStaysAt9600WithTwoStopBits) {
  EfmRun run(Bytes(300, 1));
  run.record.KeepSlowRate[0] = true;
  ASSERT_TRUE(run.Program());
  EXPECT_EQ(run.RatesOf("A.1301#3"), (std::vector<uint32_t>{9600, 9600}));
  EXPECT_TRUE(run.RatesOf("A.1301#7").empty());
  for (const auto& [c, baud] : run.loader->Commands()) EXPECT_EQ(baud, 9600u) << c;
  EXPECT_EQ(run.loader->Image(), run.Expected(78));
  EXPECT_EQ(run.PortFormat().baud, 9600u);
  EXPECT_EQ(run.PortFormat().stopBits, platform::sim::StopBits::Two);
  EXPECT_EQ(run.PortFormat().parity, platform::sim::Parity::None);
}

TEST(EfmRun, ADamagedLineIsSentAgainAndStoredOnce) {
  EfmRun run(Bytes(600, 5));
  run.plant = [](EfmLoaderModel& m) { m.DamageLine(3); };
  ASSERT_TRUE(run.Program());
  const auto& lines = run.loader->Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2].answer, EfmLoaderModel::kDamaged);
  EXPECT_EQ(lines[3].offset, lines[2].offset);
  EXPECT_EQ(lines[3].answer, 0);
  EXPECT_EQ(run.loader->Image(), run.Expected(34));
  ExpectEachByteStoredOnce(*run.loader, 634);
}

TEST(EfmRun, ALongLoaderTextIsCutTo15Characters) {
  std::string profile = kProfile;
  profile.replace(profile.find("LDR-2.04"), 8, "LOADER-TEXT-OF-24-CHARS!");
  EfmRun run(Bytes(50, 2), profile);
  ASSERT_TRUE(run.Program());  // the loader takes the announcement only with its text as cut
  EXPECT_TRUE(run.loader->Programmed());
}

// A failed run as the user sees it: false, one box, the port back at its
// saved settings, no handler left behind.
void ExpectFailed(EfmRun& run, bool ok, const std::string& box) {
  EXPECT_FALSE(ok);
  EXPECT_EQ(run.window.boxes, std::vector<std::string>{"Error: " + box});
  EXPECT_EQ(run.PortFormat().baud, 9600u);
  EXPECT_EQ(run.PortFormat().parity, platform::sim::Parity::None);
  // The window's handler is the only one left: an Escape reaches it.
  run.window.unconsumed.clear();
  run.window.queue.PostKey(core::keys::kEscape);
  run.window.DrainEvents();
  EXPECT_EQ(run.window.unconsumed, std::vector<int32_t>{core::keys::kEscape});
}

constexpr const char* kNoLoader = "bootloader in target not available!!  Programming abort.";
constexpr const char* kLoaderError = "Error in bootloader !!  Programming abort.";

TEST(EfmRun, SilenceAtAnyStepEndsByTheGuard) {
  struct Case {
    int command;
    int occurrence;
    uint32_t guardMs;
    const char* box;
  };
  const Case cases[] = {{1301, 1, 8000, kNoLoader},     {9000, 1, 8000, kNoLoader},
                        {1000, 1, 8000, kLoaderError},  {1260, 1, 8000, kLoaderError},
                        {1261, 1, 8000, kLoaderError},  {1261, 4, 8000, kLoaderError},
                        {1262, 1, 20000, kLoaderError}, {1263, 1, 20000, kLoaderError},
                        {1301, 2, 20000, kLoaderError}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.command) + "/" + std::to_string(c.occurrence));
    EfmRun run(Bytes(700, 4));
    run.plant = [&](EfmLoaderModel& m) { m.GoSilentAt(c.command, c.occurrence); };
    const bool ok = run.Program();
    const uint32_t since = run.Now() - run.window.lastLineAtMs;
    ExpectFailed(run, ok, c.box);
    // Ended by the guard after the last answer, plus the closing wait.
    EXPECT_GE(since, c.guardMs);
    EXPECT_LE(since, c.guardMs + 600);
    // Programmed only when it fell silent after the finish command came.
    EXPECT_EQ(run.loader->Programmed(), c.command == 1263 || (c.command == 1301 && c.occurrence == 2));
  }
}

TEST(EfmRun, AnApplicationThatIgnoresTheRequestFails) {
  std::string profile = kProfile;
  profile += "silent-from = 5004\n";
  EfmRun run(Bytes(10, 1), profile);
  const bool ok = run.Program();
  ExpectFailed(run, ok, kNoLoader);
  ASSERT_NE(run.loader, nullptr);  // it handed over, but did not say so
  EXPECT_TRUE(run.loader->Commands().empty());
}

TEST(EfmRun, TheLoaderRefusingALineOrTheTrailerFails) {
  for (int fault = 0; fault < 2; ++fault) {
    SCOPED_TRACE(fault);
    EfmRun run(Bytes(900, 6));
    run.plant = [fault](EfmLoaderModel& m) {
      if (fault == 0)
        m.AnswerLineWith(2, 5);
      else
        m.CorruptTrailerCheck();
    };
    const bool ok = run.Program();
    ExpectFailed(run, ok, kLoaderError);
    EXPECT_FALSE(run.loader->Programmed());
    // No finish command after a refusal.
    EXPECT_TRUE(run.RatesOf("A.1263").empty());
  }
}

TEST(EfmRun, AStormOfRepeatRequestsEndsByTheGuard) {
  EfmRun run(Bytes(2000, 8));
  uint32_t thirdLineAt = 0;
  int lines = 0;
  run.window.recording.onWrite = [&](const uint8_t* b, uint32_t n) {
    if (n > 7 && std::string(reinterpret_cast<const char*>(b), 7) == "A.1261#" && ++lines == 3)
      thirdLineAt = run.Now();
  };
  run.plant = [](EfmLoaderModel& m) { m.AnswerLineWith(3, EfmLoaderModel::kDamaged, 1000000); };
  const bool ok = run.Program();
  const uint32_t endedAt = run.Now();
  ExpectFailed(run, ok, kLoaderError);
  // The copies do not keep the guard alive: 8 s after the last
  // acknowledgement, the closing wait and the window's last read.
  EXPECT_LE(endedAt - thirdLineAt, 8000u + 1200u);
  EXPECT_GT(run.loader->Lines().size(), 100u);
}

TEST(EfmRun, EscapeEndsTheRun) {
  EfmRun run(Bytes(3000, 2));
  run.window.recording.onWrite = [&](const uint8_t* b, uint32_t n) {
    if (n > 7 && std::string(reinterpret_cast<const char*>(b), 7) == "A.1261#" &&
        run.loader->Lines().size() == 5)
      run.window.host.Time().Post([&] {
        run.window.queue.PostKey(core::keys::kEscape);
        run.window.DrainEvents();
      });
  };
  const bool ok = run.Program();
  ExpectFailed(run, ok, kLoaderError);
  EXPECT_LT(run.loader->Lines().size(), 10u);
}

TEST(EfmRun, APulledLineEndsTheRunAtOnce) {
  EfmRun run(Bytes(3000, 2));
  uint32_t pulledAt = 0;
  run.window.recording.onWrite = [&](const uint8_t* b, uint32_t n) {
    if (pulledAt || n < 8 || std::string(reinterpret_cast<const char*>(b), 7) != "A.1261#" ||
        run.loader->Lines().size() < 4)
      return;
    pulledAt = run.Now() + 20;
    run.window.host.Time().ScheduleAfter(20'000, [&] { run.window.ports.Line(1)->Disconnect(); });
  };
  const bool ok = run.Program();
  ASSERT_NE(pulledAt, 0u);
  EXPECT_FALSE(ok);
  EXPECT_LT(run.Now() - pulledAt, 1000u);
  EXPECT_EQ(run.window.boxes,
            std::vector<std::string>{"Error: The connection to the instrument on COM1 was lost (cable or USB "
                                     "adapter unplugged?). Reconnect the instrument and restart the download "
                                     "with Ok."});
  for (const auto& op : run.window.OperationsAfterLoss()) ADD_FAILURE() << op.what << " at " << op.atMs;
}

TEST(EfmRun, AFileTooLargeOrMissingIsRefusedBeforeAnythingIsSent) {
  {
    // 1 499 898 bytes would pad to 1 500 026: past the 1 500 000-byte image.
    EfmRun run(std::string(1499898, 'x'));
    EXPECT_FALSE(run.Program("FW.BIN"));
    EXPECT_EQ(run.window.boxes,
              std::vector<std::string>{"Error: The firmware file FW.BIN is too large (at most 1499897 bytes)."});
    EXPECT_TRUE(run.Writes().empty());
  }
  {
    EfmRun run("");
    EXPECT_FALSE(run.Program("NONE.BIN"));
    EXPECT_EQ(run.window.boxes, std::vector<std::string>{"Error: The firmware file NONE.BIN cannot be opened."});
    EXPECT_TRUE(run.Writes().empty());
  }
}

}  // namespace
