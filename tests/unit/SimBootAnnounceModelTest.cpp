#include <gtest/gtest.h>

#include <string>

#include "SimModelDriver.h"

namespace {

using platform::sim::Parity;
using simtest::Fmt;
using simtest::ParseProfile;
using simtest::SimModelDriver;

// The tool's wake-up sequences: a frame at 38400 for frame loaders, the sync
// byte 0x80 at 9600 8E1 and one slot period (6 s) later 85 01 00 1A.
const std::string kWakeFrame("\x68\x00\x00\x68\x00\x00\x00\x00\x16", 9);
const std::string kSecondWake("\x85\x01\x00\x1A", 4);

SimModelDriver Loader(const std::string& line, const std::string& announce) {
  return SimModelDriver(ParseProfile("name = bl\nline = " + line + "\nboot-loader = " + announce + "\n"));
}

TEST(SimBootAnnounceModel, FrameLoadersAnswerTheWakeUpFrameWithTheirBody) {
  struct Case {
    const char* marker;
    std::string expected;
  };
  for (const Case& c : {Case{"h00h", std::string("\x68\x30\x30\x68\x1D"
                                                 "BL 1.02"
                                                 "\x0C\x16")},
                        Case{"h11h", std::string("\x68\x31\x31\x68\x1E"
                                                 "BL 1.02"
                                                 "\x0A\x16")},
                        Case{"h,,h", std::string("\x68\x2C\x2C\x68\x19"
                                                 "BL 1.02"
                                                 "\x0C\x16")}}) {
    auto d = Loader("38400 8N1", std::string("frame ") + c.marker + " BL 1.02");
    d.Send("\r\n\r\nA.1111\r\n", Fmt(38400));  // the command protocol is not spoken here
    EXPECT_EQ(d.Take(), "") << c.marker;
    d.Send(kWakeFrame, Fmt(4800));  // at a search rate: noise
    EXPECT_EQ(d.Take(), "") << c.marker;
    d.Send(kWakeFrame, Fmt(38400));
    EXPECT_EQ(d.Take(), c.expected) << c.marker;
  }
}

TEST(SimBootAnnounceModel, FrameLoaderWantsAWholeWellFormedFrame) {
  auto d = Loader("38400 8N1", "frame h00h X");
  d.Send(std::string("\x68\x01\x02\x68\x00\x16", 6), Fmt(38400));  // length bytes differ
  d.Send(std::string("\x68\x00\x00\x67\x00\x16", 6), Fmt(38400));  // second start byte wrong
  d.Send(std::string("\x68\x00\x00\x68\x16", 5), Fmt(38400));      // nothing between header and stop
  EXPECT_EQ(d.Take(), "");
  // A frame broken off and resumed after a pause starts over.
  d.Send(kWakeFrame.substr(0, 5), Fmt(38400));
  d.Wait(1'000'000);
  d.Send(kWakeFrame.substr(5), Fmt(38400));
  EXPECT_EQ(d.Take(), "");
  d.Send(kWakeFrame, Fmt(38400));
  EXPECT_EQ(d.Take(), std::string("\x68\x30\x30\x68\x1DX\x0C\x16"));
}

TEST(SimBootAnnounceModel, RomLoaderAnswersTheSyncByteWith0x90) {
  auto d = Loader("9600 8E1", "0x90");
  d.Send("\x80", Fmt(9600));  // no parity bit: a framing mess, not a sync
  d.Send("\x80", Fmt(4800, Parity::Even));
  d.Send(kSecondWake, Fmt(9600, Parity::Even));
  d.Send("A.1000\r\n", Fmt(9600, Parity::Even));
  EXPECT_EQ(d.Take(), "");
  d.Send("\x80", Fmt(9600, Parity::Even));
  ASSERT_EQ(d.Outs().size(), 1u);
  EXPECT_EQ(d.Outs()[0].format, Fmt(9600, Parity::Even));
  EXPECT_EQ(d.Take(), "\x90");
}

TEST(SimBootAnnounceModel, FiveXxLoaderAnswersABadHeaderWithQ) {
  auto d = Loader("9600 8E1", "Q");
  const auto bsl = Fmt(9600, Parity::Even);
  // The first wake-up, a lone sync byte, starts a packet that never ends ...
  d.Send("\x80", bsl);
  EXPECT_EQ(d.Take(), "");
  d.Wait(6'000'000);
  // ... and is dropped; each byte of the second wake-up is a bad header.
  d.Send(kSecondWake, bsl);
  EXPECT_EQ(d.Take(), "QQQQ");
  // A well-formed packet (mass erase) is the loader's business, not answered here.
  d.Send(std::string("\x80\x01\x00\x15\x64\xA3", 6), bsl);
  EXPECT_EQ(d.Take(), "");
  d.Send(kSecondWake, Fmt(9600));  // wrong parity: noise
  EXPECT_EQ(d.Take(), "");
}

// Hands over to the named loader once announced; the loader gets the rest.
class CountingLoader final : public sim::InstrumentModel {
 public:
  explicit CountingLoader(int* count) : m_count(count) {}
  std::string_view Name() const override { return "counting"; }
  platform::sim::LineFormat Format() const override { return Fmt(9600, Parity::Even); }
  void Receive(const sim::ModelInput&, uint64_t) override { ++*m_count; }

 private:
  int* m_count;
};

TEST(SimBootAnnounceModel, HandsOverToTheLoaderAfterAnnouncing) {
  int received = 0;
  auto registry = sim::ModelRegistry::WithBuiltins();
  registry.Register("counting",
                    [&](sim::ModelContext&) { return std::make_unique<CountingLoader>(&received); });
  SimModelDriver d(ParseProfile("name = bl\nline = 9600 8E1\nboot-loader = 0x90\nloader = counting\n"),
                   registry);
  d.Send("\x80\x80\x80", Fmt(9600, Parity::Even));
  EXPECT_EQ(d.Take(), "\x90");
  EXPECT_EQ(received, 2);
  EXPECT_EQ(d.Instrument().History().size(), 2u);
}

}  // namespace
