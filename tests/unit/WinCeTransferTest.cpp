// The pieces of the Windows CE transfer with known answers (the check
// character, the MS-DOS file time, the announcement), and the instrument's
// receiver fed byte by byte.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "SimModelDriver.h"
#include "programmers/TWinCEProg.h"
#include "programmers/WinCeBlockCrc.h"
#include "programmers/WinCeFileTime.h"
#include "sim/model/AsciiModel.h"
#include "sim/model/ProfileReader.h"
#include "sim/wince/WinCeReceiverModel.h"

namespace {

using programmers::TWinCEProg;
using programmers::WinCeBlockCrc;
using programmers::WinCeFileTime;
using sim::WinCeReceiverModel;
using simtest::Fmt;

uint8_t Check(const std::string& s) {
  return WinCeBlockCrc::Of(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

TEST(WinCeBlockCrc, KnownAnswersAndTheCharactersItAvoids) {
  EXPECT_EQ(WinCeBlockCrc::Crc8(reinterpret_cast<const uint8_t*>("abc"), 3), 0x65);
  EXPECT_EQ(Check("abc"), 'e');
  EXPECT_EQ(Check(""), 0xFF);
  EXPECT_EQ(Check("hello"), 0x56);
  // Single bytes whose CRC-8 is one of the header's own characters or NUL.
  EXPECT_EQ(Check(std::string(1, '\x08')), 0x2D);  // 0x2C ","
  EXPECT_EQ(Check(std::string(1, '\x8E')), 0x45);  // 0x44 "D"
  EXPECT_EQ(Check(std::string(1, '\xCA')), 0x24);  // 0x23 "#"
  EXPECT_EQ(Check(std::string(1, '\xFF')), 0x01);  // 0x00
  EXPECT_EQ(TWinCEProg::BlockHeader("abc"), "D.3,e#");
  EXPECT_EQ(TWinCEProg::BlockHeader(std::string(1, '\x08')), "D.1,-#");
  EXPECT_EQ(TWinCEProg::BlockHeader(""), "D.0,\xFF#");
}

TEST(WinCeFileTime, MsDosDateAndTime) {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;  // March
  t.tm_mday = 15;
  t.tm_hour = 13;
  t.tm_min = 45;
  t.tm_sec = 31;  // two-second steps: 15
  // date (44 << 9 | 3 << 5 | 15) = 0x586F, time (13 << 11 | 45 << 5 | 15) = 0x6DAF
  EXPECT_EQ(WinCeFileTime::FromLocal(t), 0x586F6DAFu);
  EXPECT_EQ(WinCeFileTime::FromLocal(t), 1483697583u);

  std::tm early{};
  early.tm_year = 70;
  early.tm_mday = 1;
  EXPECT_EQ(WinCeFileTime::FromLocal(early), 0x00210000u);  // 1 January 1980
  std::tm late = t;
  late.tm_year = 2200 - 1900;
  EXPECT_EQ(WinCeFileTime::FromLocal(late), 0xFF9FBF7Du);  // 31 December 2107 23:59:58
}

TEST(WinCeFileTime, TheFilesLastWriteTimeInLocalTime) {
  const auto path = std::filesystem::temp_directory_path() / ("wince-time-" + std::to_string(::getpid()));
  std::ofstream(path) << "x";
  std::tm t{};
  t.tm_year = 2019 - 1900;
  t.tm_mon = 6;
  t.tm_mday = 4;
  t.tm_hour = 8;
  t.tm_min = 30;
  t.tm_sec = 10;
  t.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&t);
  const auto written = std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(seconds));
  std::filesystem::last_write_time(path, written);
  // 2019-07-04 08:30:10: date (39 << 9 | 7 << 5 | 4) = 0x4EE4, time (8 << 11 | 30 << 5 | 5) = 0x43C5
  EXPECT_EQ(WinCeFileTime::OfFile(path.string()), 0x4EE443C5u);
  std::filesystem::remove(path);
  EXPECT_FALSE(WinCeFileTime::OfFile(path.string()).has_value());
}

TEST(WinCeAnnouncement, FirstTransferOnlyForAKnownStartUpAndNoSameVersion) {
  EXPECT_STREQ(TWinCEProg::AnnouncePrefix(0, 106), "A.1201#");
  EXPECT_STREQ(TWinCEProg::AnnouncePrefix(0, 1100), "A.1201#");
  EXPECT_STREQ(TWinCEProg::AnnouncePrefix(0, 105), "A.1205#");
  EXPECT_STREQ(TWinCEProg::AnnouncePrefix(1, 1100), "A.1205#");
  EXPECT_STREQ(TWinCEProg::AnnouncePrefix(0, 0), "A.1205#");
}

TEST(WinCeSettings, ReadsTheProfileLineAndRefusesWhatItCannotRead) {
  sim::WinCeSettings s;
  std::string error;
  ASSERT_TRUE(s.Parse("rate 57600 bad-crc-at 3 error-at 5 7 silent-after 4 next-file-after 2", error)) << error;
  EXPECT_EQ(s.rate, 57600u);
  EXPECT_EQ(s.badCrcAt, 3u);
  EXPECT_EQ(s.errorAt, 5u);
  EXPECT_EQ(s.errorNumber, 7u);
  EXPECT_EQ(s.silentAfter, 4u);
  EXPECT_EQ(s.nextFileAfter, 2u);
  for (const char* bad : {"", "rate", "rate fast", "error-at 5", "storm 3", "rate 0", "bad-crc-at -1"}) {
    sim::WinCeSettings t;
    EXPECT_FALSE(t.Parse(bad, error)) << bad;
  }
  EXPECT_FALSE(sim::ProfileReader::Parse("wince = speed 3\n", "p").Ok());
}

// The receiver behind an application at 4800 baud.
class WinCeReceiver : public ::testing::Test {
 protected:
  explicit WinCeReceiver(const std::string& extra = "")
      : d(simtest::ParseProfile(
            "line = 4800 8N1\npcb = 22410.001\ndevice = 24110.000\nversion = 2.00\nserial = 1\n"
            "loader = wince-receiver after 1300\n" +
            extra)) {}

  void EnterTransfer() {
    d.Send("A.1300#38400\r\n", Fmt(4800));
    ASSERT_EQ(d.Take(), "A.1300!\r\n");
    ASSERT_NE(Receiver(), nullptr);
  }
  WinCeReceiverModel* Receiver() { return dynamic_cast<WinCeReceiverModel*>(&d.Instrument().Model()); }
  std::string Block(const std::string& bytes) { return TWinCEProg::BlockHeader(bytes) + bytes; }
  void Send(const std::string& s) { d.Send(s, Fmt(38400)); }

  simtest::SimModelDriver d;
};

TEST_F(WinCeReceiver, StoresAnnouncedFilesAndAnswersEachPart) {
  EnterTransfer();
  EXPECT_EQ(d.Instrument().Format(d.Now() + 100'000).baud, 38400u);
  // Blocks whose check character is a line end or the header's own end.
  Send("A.1201#APP.EXE,1483697583,7\r\n");
  EXPECT_EQ(d.Take(), "A.1201!\r\n");
  Send(Block("abc"));
  Send(Block(std::string(1, '\x88')));  // check character 0x0A
  Send(Block(std::string(1, '\x26')));  // 0x0D
  Send(Block("\r\n"));
  Send(Block(""));
  EXPECT_EQ(d.Take(), "D.3!\r\nD.1!\r\nD.1!\r\nD.2!\r\nD.0!\r\n");
  Send("A.1202\r\nA.1205#B.DAT,0,2\r\n" + Block("xy") + "A.1202\r\nA.1203\r\n");
  EXPECT_EQ(d.Take(), "A.1202!\r\nA.1205!\r\nD.2!\r\nA.1202!\r\nA.1203!\r\n");

  const auto& files = Receiver()->Files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "APP.EXE");
  EXPECT_EQ(files[0].dosTime, 1483697583u);
  EXPECT_EQ(std::string(files[0].bytes.begin(), files[0].bytes.end()), std::string("abc\x88\x26\r\n"));
  EXPECT_EQ(files[0].state, WinCeReceiverModel::FileState::kStored);
  EXPECT_EQ(files[1].announcedBy, 1205);
  EXPECT_TRUE(Receiver()->TransferEnded());

  // The rate back: acknowledged at 38400, then the application at 4800.
  Send("A.1300#4800\r\n");
  EXPECT_EQ(d.Take(), "A.1300!\r\n");
  EXPECT_NE(dynamic_cast<sim::AsciiModel*>(&d.Instrument().Model()), nullptr);
  d.Wait(100'000);
  EXPECT_EQ(d.Instrument().Format(d.Now()).baud, 4800u);
  d.Send("A.1000\r\n", Fmt(4800));
  EXPECT_EQ(d.Take(), "A.1000!\r\n");
}

TEST_F(WinCeReceiver, RefusesDamagedBlocksAndNotesBadFiles) {
  EnterTransfer();
  Send(Block("zz"));
  EXPECT_EQ(d.Take(), "I.261#4\r\n");  // outside a file
  Send("A.1201#F.BIN,0,4\r\n");
  d.Take();
  Send("D.2,e#ab");  // wrong check character
  EXPECT_EQ(d.Take(), "I.261#2\r\n");
  // A byte at the wrong rate inside a block damages it.
  const std::string header = TWinCEProg::BlockHeader("ab");
  Send(header + "a");
  d.Send("b", Fmt(9600));
  EXPECT_EQ(d.Take(), "I.261#2\r\n");
  Send("D.2001," + std::string(1, 'x') + "#" + std::string(2001, 'x'));
  EXPECT_EQ(d.Take(), "I.261#3\r\n");
  Send(Block("ab") + "A.1202\r\n");
  EXPECT_EQ(d.Take(), "D.2!\r\nA.1202!\r\n");
  EXPECT_EQ(Receiver()->Files().at(0).state, WinCeReceiverModel::FileState::kSizeDiffers);
  // Malformed announcements and commands it does not know.
  Send("A.1201#NAME,1\r\nA.1201#N,x,3\r\nA.1201#,1,2\r\nA.1202\r\nA.5555\r\nD.x\r\n");
  EXPECT_EQ(d.Take(), "A.1201?\r\nA.1201?\r\nA.1201?\r\nA.1202?\r\nA.5555?\r\n");
  // What comes at the old rate is noise.
  d.Send("A.1000\r\n", Fmt(4800));
  EXPECT_EQ(d.Take(), "");
}

class WinCeReceiverFaults : public WinCeReceiver {
 protected:
  WinCeReceiverFaults() : WinCeReceiver("wince = bad-crc-at 1 next-file-after 2 silent-after 3\n") {}
};

TEST_F(WinCeReceiverFaults, ThePlantedFaultsComeInTheirOrder) {
  EnterTransfer();
  Send("A.1201#F.BIN,0,6\r\n");
  d.Take();
  Send(Block("ab") + Block("ab") + Block("cd"));
  EXPECT_EQ(d.Take(), "I.261#2\r\nI.260#\r\nI.261#4\r\n");
  EXPECT_EQ(Receiver()->Files().at(0).state, WinCeReceiverModel::FileState::kSkipped);
  Send("A.1203\r\n");
  EXPECT_EQ(d.Take(), "");  // silent after block 3
  EXPECT_EQ(Receiver()->Blocks().size(), 3u);
}

class WinCeReceiverError : public WinCeReceiver {
 protected:
  WinCeReceiverError() : WinCeReceiver("wince = error-at 2 9\n") {}
};

TEST_F(WinCeReceiverError, ItsOwnErrorEndsTheTransferAndTheApplicationTakesTheLine) {
  EnterTransfer();
  Send("A.1201#F.BIN,0,4\r\n" + Block("ab") + Block("cd"));
  EXPECT_EQ(d.Take(), "A.1201!\r\nD.2!\r\nI.261#9\r\n");
  const auto* receiver = dynamic_cast<const WinCeReceiverModel*>(d.Instrument().History().back().get());
  EXPECT_EQ(receiver, nullptr);
  d.Wait(100'000);
  d.Send("A.1000\r\n", Fmt(4800));
  EXPECT_EQ(d.Take(), "A.1000!\r\n");
}

}  // namespace
