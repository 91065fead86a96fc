#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "sim/model/ProfileReader.h"

namespace {

using platform::sim::Parity;
using platform::sim::StopBits;
using sim::BootAnnounce;
using sim::ProfileReader;

constexpr const char* kAscii =
    "name = ph-meter\n"
    "line = 4800 8N1\n"
    "pcb = 22074.001\n"
    "device = 23010.000\n"
    "version = 1.23\n"
    "serial = 11110001\n";

TEST(SimProfileReader, ReadsEveryKey) {
  const auto r = ProfileReader::Parse(
      "; a comment\n"
      "# another comment\n"
      "\n"
      "name = sensor meter\n"
      "description = with a digital sensor\n"
      "family = 4\n"
      "line = 19200 7E1.5\r\n"
      "pcb = 22111.004,30503.002\n"
      "device = 23051.000,30503.001\n"
      "version = 2.10,1.05\n"
      "serial = 11110003,22220003\n"
      "startup-version = 1.02\n"
      "ident-codes = 203 2010 201 205\n"
      "reply-delay-ms = 25\n"
      "special = 1131#2500 after 1131\n"
      "special = 920$1013.5 after 1200 delay 400 times 2\n"
      "accept = 1220 1500\n"
      "accept = 6162\n"
      "loader = fake after 1220\n"
      "flash = 0x1200 0xEE00 512\n"
      "flash = 4096 256 64\n"
      "silent-from = 2001\n"
      "garbage = 2000 12\n"
      "drop-at = 4001\n");
  ASSERT_TRUE(r.Ok()) << r.ErrorText("x");
  const auto& p = r.profile;
  EXPECT_EQ(p.name, "sensor meter");
  EXPECT_EQ(p.description, "with a digital sensor");
  EXPECT_EQ(p.family, 4);
  EXPECT_EQ(p.SearchCommand(), 1131);
  EXPECT_EQ(p.line.baud, 19200u);
  EXPECT_EQ(p.line.dataBits, 7);
  EXPECT_EQ(p.line.parity, Parity::Even);
  EXPECT_EQ(p.line.stopBits, StopBits::OnePointFive);
  EXPECT_EQ(p.pcb, "22111.004,30503.002");
  EXPECT_EQ(p.device, "23051.000,30503.001");
  EXPECT_EQ(p.version, "2.10,1.05");
  EXPECT_EQ(p.serial, "11110003,22220003");
  EXPECT_EQ(p.startupVersion, "1.02");
  EXPECT_EQ(p.identCodes, (std::array<int, 4>{203, 2010, 201, 205}));
  EXPECT_EQ(p.replyDelayMs, 25u);
  ASSERT_EQ(p.specials.size(), 2u);
  EXPECT_EQ(p.specials[0].code, 1131);
  EXPECT_EQ(p.specials[0].parameter, "#2500");
  EXPECT_EQ(p.specials[0].afterCommand, 1131);
  EXPECT_EQ(p.specials[1].Line(), "I.920$1013.5\r\n");
  EXPECT_EQ(p.specials[1].delayMs, 400u);
  EXPECT_EQ(p.specials[1].times, 2u);
  EXPECT_EQ(p.accepted, (std::vector<int>{1220, 1500, 6162}));
  EXPECT_EQ(p.loader, "fake");
  EXPECT_EQ(p.loaderAfter, 1220);
  ASSERT_EQ(p.flash.size(), 2u);
  EXPECT_EQ(p.flash[0].start, 0x1200u);
  EXPECT_EQ(p.flash[0].size, 0xEE00u);
  EXPECT_EQ(p.flash[1].segmentSize, 64u);
  EXPECT_EQ(p.faults.silentFrom, 2001);
  EXPECT_EQ(p.faults.garbageBefore, 2000);
  EXPECT_EQ(p.faults.garbageCount, 12u);
  EXPECT_EQ(p.faults.dropAt, 4001);
  EXPECT_EQ(p.bootLoader, BootAnnounce::None);
}

TEST(SimProfileReader, ReadsBootLoaderAnnouncements) {
  auto r = ProfileReader::Parse("name = a\nline = 38400 8N1\nboot-loader = frame h,,h VE720q BL  1.02\n");
  ASSERT_TRUE(r.Ok()) << r.ErrorText("a");
  EXPECT_EQ(r.profile.bootLoader, BootAnnounce::FrameHcc);
  EXPECT_EQ(r.profile.bootBody, "VE720q BL  1.02");  // inner blanks kept
  r = ProfileReader::Parse("name = b\nline = 9600 8E1\nboot-loader = 0x90\n");
  ASSERT_TRUE(r.Ok()) << r.ErrorText("b");
  EXPECT_EQ(r.profile.bootLoader, BootAnnounce::Byte90);
  r = ProfileReader::Parse("line = 9600 8E1\nboot-loader = Q\n", "from-file-name");
  ASSERT_TRUE(r.Ok()) << r.ErrorText("c");
  EXPECT_EQ(r.profile.bootLoader, BootAnnounce::LetterQ);
  EXPECT_EQ(r.profile.name, "from-file-name");
}

TEST(SimProfileReader, ALoaderCanBeReachedAfterSeveralCommands) {
  auto r = ProfileReader::Parse(std::string(kAscii) + "loader = rom-bsl after 5588 5566\n", "a");
  ASSERT_TRUE(r.Ok()) << r.ErrorText("a");
  EXPECT_EQ(r.profile.loader, "rom-bsl");
  EXPECT_EQ(r.profile.loaderAfter, 5588);
  EXPECT_EQ(r.profile.loaderAlsoAfter, std::vector<int>{5566});
  r = ProfileReader::Parse(std::string(kAscii) + "loader = bsl-5xx after 5588\n", "b");
  ASSERT_TRUE(r.Ok()) << r.ErrorText("b");
  EXPECT_TRUE(r.profile.loaderAlsoAfter.empty());
}

// A special answer may follow every command the instrument answers, and
// only those: the model and the reader ask the same list.
TEST(SimProfileReader, ASpecialHangsOnAnyCommandTheInstrumentTakes) {
  for (const char* extra :
       {"special = 30 after 2003\n", "special = 30 after 4001\n", "special = 30 after 1111\n",
        "accept = 12000\nspecial = 31 after 12030\n",
        "loader = rom-bsl after 5588\nspecial = 30 after 5588\n",
        "loader = rom-bsl\nspecial = 30 after 5577\n", "accept = 1500\nspecial = 30 after 1500\n"}) {
    const auto r = ProfileReader::Parse(std::string(kAscii) + extra, "p");
    EXPECT_TRUE(r.Ok()) << extra << r.ErrorText("p");
  }
  for (const char* extra :
       {"special = 30 after 12030\n", "special = 30 after 5577\n", "special = 30 after 5588\n"}) {
    const auto r = ProfileReader::Parse(std::string(kAscii) + extra, "p");
    EXPECT_FALSE(r.Ok()) << extra;
  }
}

struct BadCase {
  const char* extra;  // appended to a valid ASCII profile, as line 7
  const char* expected;
};

class SimProfileReaderErrors : public testing::TestWithParam<BadCase> {};

TEST_P(SimProfileReaderErrors, NameTheLineAndTheProblem) {
  const auto r = ProfileReader::Parse(std::string(kAscii) + GetParam().extra + "\n", "bad");
  ASSERT_FALSE(r.Ok());
  EXPECT_EQ(r.ErrorText("bad.profile"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SimProfileReaderErrors,
    testing::Values(
        BadCase{"colour = red", "bad.profile:7: unknown key 'colour'\n"},
        BadCase{"no equals sign", "bad.profile:7: expected 'key = value'\n"},
        BadCase{"serial = 2", "bad.profile:7: key 'serial' given twice (first on line 6)\n"},
        BadCase{"family = 6", "bad.profile:7: family: must be 0 to 5\n"},
        BadCase{
            "special = 1131 after 1131",
            "bad.profile:7: special: 1131 needs its time in milliseconds (at most 600000), e.g. 1131#2500\n"},
        BadCase{"special = 208 after 1200",
                "bad.profile:7: special: 208 needs its terminal variant, e.g. 208#0\n"},
        BadCase{"special = 262",
                "bad.profile:7: special: missing 'after CMD' (the command that triggers the answer)\n"},
        BadCase{"special = 999 after 1000",
                "bad.profile:7: special: answer 999 is not one of 30 31 208 262 920 1131 1132\n"},
        BadCase{"special = 920$abc after 1000",
                "bad.profile:7: special: the value after '$' must be a decimal number\n"},
        BadCase{"special = 30 after 1000 soon 3",
                "bad.profile:7: special: cannot read 'soon 3' (expected after CMD, delay MS, times N)\n"},
        BadCase{"special = 30 after 1500",
                "bad.profile:7: special: the instrument does not take command 1500 (add it to 'accept')\n"},
        BadCase{"ident-codes = 23 20 25 21",
                "bad.profile:7: ident-codes: '25' is no code for the version (21, 201, 2011)\n"},
        BadCase{"accept = 12x", "bad.profile:7: accept: '12x' is not a command number\n"},
        BadCase{"loader = a b", "bad.profile:7: loader: expected 'MODEL' or 'MODEL after CMD [CMD ...]'\n"},
        BadCase{"loader = rom-bsl after 5588 55x6",
                "bad.profile:7: loader: expected 'MODEL' or 'MODEL after CMD [CMD ...]'\n"},
        BadCase{"flash = 0x1000 0x100 0x30",
                "bad.profile:7: flash: size must be a non-zero multiple of the segment size, inside 32-bit "
                "addresses\n"},
        BadCase{"garbage = 2000 0", "bad.profile:7: garbage: expected CMD [COUNT], COUNT 1 to 1000\n"},
        BadCase{"boot-loader = frame h22h X",
                "bad.profile:7: boot-loader: frame marker 'h22h' must be h00h, h11h or h,,h\n"},
        BadCase{"description = tab\there",
                "bad.profile:7: value of 'description' holds control or non-ASCII characters\n"}));

TEST(SimProfileReader, ChecksTheLineSettings) {
  for (const auto& [value, message] : std::vector<std::pair<std::string, std::string>>{
           {"4800", "line: expected a baud rate and a frame like 8N1, e.g. \"4800 8N1\""},
           {"4000 8N1",
            "line: baud rate '4000' is not one of 1200 2400 4800 9600 19200 38400 57600 115200 128000 "
            "256000"},
           {"4800 9N1", "line: frame '9N1' must be data bits 5-8, parity N/O/E/M/S, stop bits 1/1.5/2"},
           {"4800 8X1", "line: parity 'X' must be one of N O E M S"},
           {"4800 8N3", "line: stop bits '3' must be 1, 1.5 or 2"}}) {
    const auto r =
        ProfileReader::Parse("name = x\npcb = 1\ndevice = 2\nversion = 3\nserial = 4\nline = " + value);
    ASSERT_EQ(r.errors.size(), 1u) << value;
    EXPECT_EQ(r.errors[0].line, 6);
    EXPECT_EQ(r.errors[0].message, message);
  }
}

TEST(SimProfileReader, NamesWhatIsMissing) {
  auto r = ProfileReader::Parse("pcb = 1\n");
  EXPECT_EQ(r.ErrorText("p"),
            "p: missing key 'name'\n"
            "p: missing key 'line' (the rate and frame the instrument listens at)\n"
            "p: missing key 'device'\n"
            "p: missing key 'version'\n"
            "p: missing key 'serial'\n");
  r = ProfileReader::Parse("name = f\nline = 38400 8N1\nboot-loader = frame h00h\n");
  EXPECT_EQ(r.ErrorText("f"), "f:3: boot-loader: expected 'frame h00h|h11h|h,,h BODY', '0x90' or 'Q'\n");
  r = ProfileReader::Parse("name = f\nline = 38400 8N1\nboot-loader = frame h00h " + std::string(100, 'B') +
                           "\n");
  EXPECT_EQ(r.ErrorText("f"), "f:3: boot-loader: frame body longer than 99 characters\n");
  EXPECT_EQ(ProfileReader::ReadFile("/nonexistent/x.profile").ErrorText("x.profile"),
            "x.profile: cannot be read\n");
}

// Every shipped profile reads cleanly and is named after its file.
TEST(SimProfileReader, ShippedProfilesRead) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(IU_SIM_PROFILE_DIR)) {
    if (entry.path().extension() != ".profile") continue;
    const auto r = ProfileReader::ReadFile(entry.path().string());
    EXPECT_TRUE(r.Ok()) << r.ErrorText(entry.path().filename().string());
    EXPECT_EQ(r.profile.name, entry.path().stem().string());
    ++count;
  }
  EXPECT_GE(count, 10);
}

}  // namespace
