#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "SimModelDriver.h"
#include "sim/model/AsciiModel.h"

namespace {

using platform::sim::Parity;
using platform::sim::StopBits;
using simtest::Fmt;
using simtest::ParseProfile;
using simtest::SimModelDriver;

const auto k4800 = Fmt(4800);

std::string Profile(const std::string& extra = "", const std::string& family = "0") {
  return "name = t\nfamily = " + family +
         "\nline = 4800 8N1\npcb = 22074.001\ndevice = 23010.000\nversion = 1.23\nserial = 11110001\n" +
         extra;
}

sim::AsciiModel& Ascii(SimModelDriver& d) {
  return dynamic_cast<sim::AsciiModel&>(d.Instrument().Model());
}

TEST(SimAsciiModel, AnswersTheIdentificationExchange) {
  SimModelDriver d(ParseProfile(Profile()));
  d.Send("\r\n\r\nA.1111\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.1111!\r\n");
  d.Send("A.1000\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.1000!\r\n");
  d.Send("A.2003\r\nA.2000\r\nA.2001\r\nA.4001\r\n", k4800);
  EXPECT_EQ(d.Take(), "I.23#22074.001\r\nI.20#23010.000\r\nI.21#1.23\r\nI.25#11110001\r\n");
  // The closing commands of both kinds, and the download command.
  d.Send("A.1121\r\nA.1111\r\nA.1200\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.1121!\r\nA.1111!\r\nA.1200!\r\n");
  EXPECT_EQ(Ascii(d).ClosingCount(), 3);  // the search A.1111 counts as one too
}

TEST(SimAsciiModel, AnswersAfterTheReplyDelayAtItsOwnFormat) {
  SimModelDriver d(ParseProfile(Profile("reply-delay-ms = 40\n")));
  d.Send("A.2000\r\n", k4800);
  ASSERT_EQ(d.Outs().size(), 1u);
  const auto& out = d.Outs()[0];
  // The line end went in at the eighth character.
  EXPECT_EQ(out.atMicros, d.Now() - 1000 + 40'000);
  EXPECT_EQ(out.format, Fmt(4800));
  // A port listening at 9600 or with even parity reads this as noise.
  EXPECT_FALSE(out.format.CompatibleWith(Fmt(9600)));
  EXPECT_FALSE(out.format.CompatibleWith(Fmt(4800, Parity::Even)));
}

TEST(SimAsciiModel, RejectsUnknownCommandsAndIgnoresWhatIsNoCommand) {
  SimModelDriver d(ParseProfile(Profile()));
  d.Send("A.1234\r\nA.6162#950.0\r\nA.1131\r\nA.1600\r\n", k4800);
  // 1131 is the search of family 4 only; a clock command needs its time.
  EXPECT_EQ(d.Take(), "A.1234?\r\nA.6162?\r\nA.1131?\r\nA.1600?\r\n");
  d.Send("hello\r\nB.1000\r\nA.\r\nA.12a\r\nA.123456\r\n\r\n", k4800);
  EXPECT_EQ(d.Take(), "");
  // Only carriage return and line feed end a command.
  d.Send("A.1000\nA.1000\r", k4800);
  EXPECT_EQ(d.Take(), "");
  d.Send("\n", k4800);  // now the second one is complete
  EXPECT_EQ(d.Take(), "A.1000!\r\n");
  d.Send(std::string(300, '1') + "\r\nA.1000\r\n", k4800);  // an overlong line is dropped whole
  EXPECT_EQ(d.Take(), "A.1000!\r\n");
}

TEST(SimAsciiModel, EachFamilyAnswersItsOwnSearchCommand) {
  SimModelDriver family1(ParseProfile(Profile("", "1")));
  family1.Send("A.1000\r\nA.1131\r\n", k4800);
  EXPECT_EQ(family1.Take(), "A.1000!\r\nA.1131?\r\n");
  SimModelDriver family4(ParseProfile(Profile("", "4")));
  family4.Send("A.1131\r\n", k4800);
  EXPECT_EQ(family4.Take(), "A.1131!\r\n");
}

TEST(SimAsciiModel, UnderstandsOnlyItsOwnLineSettings) {
  SimModelDriver d(ParseProfile(Profile()));
  // The search at every other rate of the default list and at the wrong parity
  // or word length is noise; the instrument stays quiet.
  for (uint32_t baud : {9600u, 19200u, 2400u, 1200u}) d.Send("\r\n\r\nA.1111\r\n", Fmt(baud));
  d.Send("\r\n\r\nA.1111\r\n", Fmt(4800, Parity::Even));
  d.Send("\r\n\r\nA.1111\r\n", Fmt(4800, Parity::None, 7));
  EXPECT_EQ(d.Take(), "");
  // Two stop bits instead of one are read fine; the first intact line end
  // after the noise starts a clean line.
  d.Send("\r\n\r\nA.1111\r\n", Fmt(4800, Parity::None, 8, StopBits::Two));
  EXPECT_EQ(d.Take(), "A.1111!\r\n");
  // One garbled character spoils only the command it falls into.
  d.Send("A.20", k4800);
  d.Send("0", Fmt(9600));
  d.Send("3\r\nA.2003\r\n", k4800);
  EXPECT_EQ(d.Take(), "I.23#22074.001\r\n");
  // A framing error is noise too: it spoils the line it starts.
  d.Instrument().Receive(sim::ModelInput{'\n', k4800, true, false}, d.Now());
  d.Send("A.1000\r\nA.2000\r\n", k4800);
  EXPECT_EQ(d.Take(), "I.20#23010.000\r\n");
}

TEST(SimAsciiModel, GivesTheSpecialAnswers) {
  SimModelDriver d(
      ParseProfile(Profile("special = 262 after 1000\n"
                           "special = 208#0 after 1200\n"
                           "special = 920$1013.5 after 1220 delay 200\n"
                           "special = 30 after 1600 delay 3000\n"
                           "special = 31 after 1111 times 1\n"
                           "accept = 1220\n")));
  d.Send("A.1000\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.1000!\r\nI.262\r\n");
  d.Send("A.1200\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.1200!\r\nI.208#0\r\n");
  d.Send("A.1220\r\n", k4800);
  ASSERT_EQ(d.Outs().size(), 2u);
  EXPECT_EQ(d.Outs()[1].bytes, "I.920$1013.5\r\n");
  EXPECT_EQ(d.Outs()[1].atMicros - d.Outs()[0].atMicros, 200'000u);
  d.Clear();
  d.Send("A.1600#755870400\r\n", k4800);
  ASSERT_EQ(d.Outs().size(), 2u);
  EXPECT_EQ(d.Outs()[0].bytes, "A.1600!\r\n");
  EXPECT_EQ(d.Outs()[1].bytes, "I.30\r\n");
  EXPECT_EQ(d.Outs()[1].atMicros - d.Outs()[0].atMicros, 3'000'000u);
  EXPECT_EQ(Ascii(d).LastParameter(1600), "755870400");
  d.Clear();
  d.Send("A.1111\r\nA.1111\r\n", k4800);  // "times 1": only once
  EXPECT_EQ(d.Take(), "A.1111!\r\nI.31\r\nA.1111!\r\n");
}

// What the profile reader lets a special hang on, the model answers first.
TEST(SimAsciiModel, GivesSpecialAnswersAfterIdentificationAndVectorQueries) {
  SimModelDriver d(
      ParseProfile(Profile("loader = rom-bsl after 5588\n"
                           "special = 262 after 2000\n"
                           "special = 31 after 5577\n")));
  d.Send("A.2000\r\n", k4800);
  EXPECT_EQ(d.Take(), "I.20#23010.000\r\nI.262\r\n");
  d.Send("A.5577\r\n", k4800);
  const std::string vector = d.Take();
  EXPECT_EQ(vector.rfind("I.80#0x", 0), 0u) << vector;
  EXPECT_NE(vector.find("\r\nI.31\r\n"), std::string::npos) << vector;
}

TEST(SimAsciiModel, Answer1131HoldsTheAcknowledgementForItsTime) {
  SimModelDriver d(ParseProfile(Profile("special = 1131#2500 after 1131\n", "4")));
  d.Send("A.1131\r\n", k4800);
  ASSERT_EQ(d.Outs().size(), 2u);
  EXPECT_EQ(d.Outs()[0].bytes, "I.1131#2500\r\n");
  EXPECT_EQ(d.Outs()[1].bytes, "A.1131!\r\n");
  EXPECT_EQ(d.Outs()[1].atMicros - d.Outs()[0].atMicros, 2'500'000u);
}

TEST(SimAsciiModel, Answer1132RefusesTheSearchUntilUpdateModeIsOn) {
  SimModelDriver d(ParseProfile(Profile("special = 1132 after 1111 times 1\n")));
  d.Send("A.1111\r\n", k4800);
  EXPECT_EQ(d.Take(), "I.1132\r\n");
  d.Send("A.1111\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.1111!\r\n");
}

TEST(SimAsciiModel, AnswersStartupVersionAndOtherIdentCodes) {
  SimModelDriver d(ParseProfile(Profile("startup-version = 1.02\nident-codes = 2013 200 201 205\n")));
  d.Send("A.2003\r\nA.2000\r\nA.2001\r\nA.4001\r\n", k4800);
  EXPECT_EQ(d.Take(),
            "I.2013#22074.001\r\nI.200#23010.000\r\nI.2011#1.02\r\nI.201#1.23\r\nI.205#11110001\r\n");
}

TEST(SimAsciiModel, StoresTheAirPressureReference) {
  SimModelDriver d(ParseProfile(Profile("accept = 6162\n")));
  d.Send("A.1000\r\nA.6162#961.7\r\nA.1111\r\nA.1111\r\nA.1111\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.1000!\r\nA.6162!\r\nA.1111!\r\nA.1111!\r\nA.1111!\r\n");
  EXPECT_EQ(Ascii(d).LastParameter(6162), "961.7");
  std::ostringstream dump;
  d.Instrument().Dump(dump);
  EXPECT_NE(dump.str().find("air-pressure reference: 961.7 hPa"), std::string::npos) << dump.str();
  EXPECT_NE(dump.str().find("closing commands: 3"), std::string::npos);
}

TEST(SimAsciiModel, TakesFilesInBinaryPackets) {
  SimModelDriver d(ParseProfile(Profile("accept = 12000\n")));
  d.Send("A.12000#extra.txt\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.12000!\r\n");
  // Packet bytes may be anything, line ends included; no line end follows.
  std::string data = "ab\r\ncd";
  data += '\0';
  d.Send(std::string("A.12010#") + static_cast<char>(data.size()) + data, k4800);
  EXPECT_EQ(d.Take(), "A.12010!\r\n");
  d.Send(std::string("A.12010#") + static_cast<char>(2) + "ef", k4800);
  d.Send("A.12030\r\n", k4800);
  EXPECT_EQ(d.Take(), "A.12010!\r\nA.12030!\r\n");
  ASSERT_EQ(Ascii(d).Files().size(), 1u);
  EXPECT_EQ(Ascii(d).Files()[0].name, "extra.txt");
  EXPECT_EQ(Ascii(d).Files()[0].bytes, (std::vector<uint8_t>{'a', 'b', '\r', '\n', 'c', 'd', 0, 'e', 'f'}));
  EXPECT_TRUE(Ascii(d).Files()[0].complete);
  // A packet outside a file is refused; without "accept = 12000" none is taken.
  d.Send(std::string("A.12010#") + static_cast<char>(1) + "x", k4800);
  EXPECT_EQ(d.Take(), "A.12010?\r\n");
  SimModelDriver plain(ParseProfile(Profile()));
  plain.Send("A.12000#x\r\n", k4800);
  EXPECT_EQ(plain.Take(), "A.12000?\r\n");
}

TEST(SimAsciiModel, ShowsItsFaults) {
  SimModelDriver silent(ParseProfile(Profile("silent-from = 2001\n")));
  silent.Send("A.2003\r\nA.2000\r\nA.2001\r\nA.4001\r\nA.1000\r\n", k4800);
  EXPECT_EQ(silent.Take(), "I.23#22074.001\r\nI.20#23010.000\r\n");

  SimModelDriver garbage(ParseProfile(Profile("garbage = 2000 5\n")));
  garbage.Send("A.2000\r\n", k4800);
  const std::string out = garbage.Take();
  ASSERT_EQ(out.size(), 5u + 16u);
  EXPECT_EQ(out.substr(5), "I.20#23010.000\r\n");

  SimModelDriver drop(ParseProfile(Profile("drop-at = 4001\n")));
  drop.Send("A.2001\r\n", k4800);
  EXPECT_FALSE(drop.Instrument().TakeHangUp());
  drop.Send("A.4001\r\n", k4800);
  EXPECT_TRUE(drop.Instrument().TakeHangUp());
  EXPECT_EQ(drop.Take(), "I.21#1.23\r\n");
}

// A stand-in loader: listens at 9600 8E1 and echoes what it gets.
class EchoLoader final : public sim::InstrumentModel {
 public:
  std::string_view Name() const override { return "echo"; }
  platform::sim::LineFormat Format() const override { return Fmt(9600, Parity::Even); }
  void Receive(const sim::ModelInput& in, uint64_t) override {
    if (in.IntactAt(Format())) Emit(std::vector<uint8_t>{in.byte}, 0);
  }
};

TEST(SimAsciiModel, HandsTheLineOverToALoaderAfterItsCommand) {
  auto registry = sim::ModelRegistry::WithBuiltins();
  registry.Register("echo", [](sim::ModelContext&) { return std::make_unique<EchoLoader>(); });
  SimModelDriver d(ParseProfile(Profile("loader = echo after 1200\n")), registry);
  d.Send("A.1200\r\n", k4800);
  ASSERT_EQ(d.Outs().size(), 1u);
  EXPECT_EQ(d.Outs()[0].format, Fmt(4800));  // the acknowledgement still at the old settings
  // The old format holds until the acknowledgement is out: 10 ms delay plus
  // 9 characters of 10 bits at 4800 baud.
  const uint64_t lineEnd = d.Now() - 1000;
  EXPECT_EQ(d.Instrument().Format(lineEnd + 10'000 + 9 * 2083 - 1), Fmt(4800));
  EXPECT_EQ(d.Instrument().Format(lineEnd + 10'000 + 9 * 2083), Fmt(9600, Parity::Even));
  d.Clear();
  d.Send("A.1000\r\n", k4800);  // the application is gone
  EXPECT_EQ(d.Take(), "");
  d.Send("\x80", Fmt(9600, Parity::Even));
  EXPECT_EQ(d.Take(), "\x80");
  EXPECT_EQ(d.Instrument().TakeNotes(), (std::vector<std::string>{"hand-over to echo after A.1200"}));

  // A loader that nobody registered leaves the instrument where it is.
  SimModelDriver missing(ParseProfile(Profile("loader = nowhere after 1200\n")));
  missing.Send("A.1200\r\nA.1000\r\n", k4800);
  EXPECT_EQ(missing.Take(), "A.1200!\r\nA.1000!\r\n");
}

}  // namespace
