// The EFM download's arithmetic and line format, with known answers, and
// the loader model's checks of what it receives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimModelDriver.h"
#include "programmers/Crc16Xmodem.h"
#include "programmers/TEFMV24_Prog.h"
#include "sim/efm/EfmLoaderModel.h"

namespace {

using programmers::TEFMV24_Prog;

TEST(EfmLine, Crc16KnownAnswers) {
  const uint8_t three[] = {0x01, 0xAB, 0xFF};
  EXPECT_EQ(programmers::Crc16Xmodem(three, 3), 59460);
  const std::string digits = "123456789";
  EXPECT_EQ(programmers::Crc16Xmodem(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x31C3);
}

TEST(EfmLine, PaddedLengthsAndTheirFill) {
  struct Case {
    size_t file, length;
  };
  for (const Case c : {Case{0, 122}, Case{122, 250}, Case{1000, 1018}, Case{250, 378}, Case{1499897, 1499898}}) {
    const std::vector<uint8_t> image = TEFMV24_Prog::PaddedImage(std::string(c.file, '\x5A'));
    ASSERT_EQ(image.size(), c.length) << c.file;
    EXPECT_EQ((image.size() + 6) % 128, 0u);
    for (size_t i = c.file; i < image.size(); ++i) ASSERT_EQ(image[i], 0xFF) << c.file;
  }
}

TEST(EfmLine, AFullLine) {
  std::vector<uint8_t> block(128, 0xAB);
  block[0] = 0x01;
  const std::string line = TEFMV24_Prog::DataLine(block.data(), block.size());
  const std::string head = "A.1261#128," + std::to_string(programmers::Crc16Xmodem(block.data(), 128)) + ",";
  ASSERT_EQ(line.size(), head.size() + 256 + 2);
  EXPECT_EQ(line.substr(0, head.size() + 4), head + "01AB");
  EXPECT_EQ(line.substr(line.size() - 4), "AB\r\n");
  const uint8_t three[] = {0x01, 0xAB, 0xFF};
  EXPECT_EQ(TEFMV24_Prog::DataLine(three, 3), "A.1261#3,59460,01ABFF\r\n");
}

TEST(EfmLine, TimeStampCountsSecondsFromTheLastDayOf2002) {
  EXPECT_EQ(TEFMV24_Prog::TimeStamp(37622.5), 129600u);  // 1 January 2003 12:00
  EXPECT_EQ(TEFMV24_Prog::TimeStamp(37621.0), 0u);
  EXPECT_EQ(TEFMV24_Prog::TimeStamp(30000.0), 0u);  // a clock before then
}

// The loader model, fed directly: the lines it takes and refuses.
const char* const kProfile =
    "name = e\nline = 9600 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\nloader = efm-loader after 5004\nreply-delay-ms = 1\n"
    "efm = text LDR-1 restart-ms 100 program-ms 10\n";

struct Loader {
  simtest::SimModelDriver driver{simtest::ParseProfile(kProfile)};
  const simtest::LineFormat at = simtest::Fmt(9600);
  std::string Send(const std::string& text) {
    driver.Send(text, at);
    driver.Wait(200'000);
    return driver.Take() + Tick();
  }
  // What the loader sends on its own once its time has come.
  std::string Tick() {
    driver.Instrument().Tick(driver.Now());
    std::string out;
    for (const auto& e : driver.Instrument().TakeEmissions()) out.append(e.bytes.begin(), e.bytes.end());
    return out;
  }
};

TEST(EfmLoaderModel, TakesTheImageAndRefusesWhatDoesNotFit) {
  Loader l;
  EXPECT_EQ(l.Send("A.5004\r\n"), "A.5004!\r\n");
  EXPECT_EQ(l.Send("A.9000\r\n"), "I.264#LDR-1\r\n");
  EXPECT_EQ(l.Send("A.1000\r\n"), "I.35\r\n");
  EXPECT_EQ(l.Send("A.1261#3,59460,01ABFF\r\n"), "I.263#3\r\n");  // before the announcement
  EXPECT_EQ(l.Send("A.1260#Will receive\r\rprogdata: \r\rof!100 bytes,LDR-1\r\n"), "A.1260?\r\n");  // 106 % 128
  EXPECT_EQ(l.Send("A.1260#Will receive\r\rprogdata: \r\rof!122 bytes,OTHER\r\n"), "A.1260?\r\n");
  EXPECT_EQ(l.Send("A.1260#Will receive\r\rprogdata: \r\rof!122 bytes,LDR-1\r\n"), "A.1260!\r\n");
  EXPECT_EQ(l.Send("A.1261#3,59461,01ABFF\r\n"), "I.263#2\r\n");  // CRC
  EXPECT_EQ(l.Send("A.1261#3,59460,01ABF\r\n"), "I.263#2\r\n");   // a digit short
  EXPECT_EQ(l.Send("A.1261#3,59460,01ABFF\r\n"), "A.1261!\r\n");
  EXPECT_EQ(l.Send("A.1262#QT48,122,0,5\r\n"), "I.263#4\r\n");  // 3 of 122 bytes
  EXPECT_EQ(l.Send("A.1263\r\n"), "A.1263?\r\n");               // no trailer taken
  EXPECT_EQ(l.Send("A.7777\r\n"), "A.7777?\r\n");
  const auto* model = dynamic_cast<const sim::EfmLoaderModel*>(l.driver.Instrument().History().back().get());
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->Image(), (std::vector<uint8_t>{0x01, 0xAB, 0xFF}));
}

TEST(EfmLoaderModel, ALineAtAnotherRateIsNoise) {
  Loader l;
  l.Send("A.5004\r\n");
  EXPECT_EQ(l.Send("A.1301#7\r\n"), "A.1301!\r\n");
  l.driver.Send("A.9000\r\n", simtest::Fmt(9600));  // the old rate: garbled
  l.driver.Wait(500'000);
  EXPECT_EQ(l.driver.Take(), "");
  l.driver.Send("A.9000\r\n", simtest::Fmt(115200));
  l.driver.Wait(200'000);
  EXPECT_EQ(l.driver.Take() + l.Tick(), "I.264#LDR-1\r\n");
}

}  // namespace
