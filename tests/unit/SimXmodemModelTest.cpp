// The XMODEM loader model from the line: hand-over and rate, the checks of
// a packet, the code after the command letters, the trailer and the start.
#include <gtest/gtest.h>

#include <string>

#include "SimModelDriver.h"
#include "sim/xmodem/XmodemLoaderModel.h"

namespace {

using namespace simtest;

std::string Profile(const std::string& version) {
  return "name = xm\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\n"
         "loader = xmodem-loader after 1250 1255 1256\nxmodem = version " +
         version + " start-ms 100\n";
}

// The loader's own CRC check value, computed the long way.
uint16_t Crc(const std::string& bytes) {
  uint16_t crc = 0;
  for (unsigned char b : bytes) {
    crc ^= static_cast<uint16_t>(b << 8);
    for (int i = 0; i < 8; ++i)
      crc = (crc & 0x8000) ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : static_cast<uint16_t>(crc << 1);
  }
  return crc;
}

std::string Packet(uint8_t block, const std::string& data, bool badCrc = false, bool badComplement = false) {
  std::string p{'\x01', static_cast<char>(block), static_cast<char>(badComplement ? block : ~block)};
  p += data;
  const uint16_t crc = static_cast<uint16_t>(Crc(data) ^ (badCrc ? 1 : 0));
  p += static_cast<char>(crc >> 8);
  p += static_cast<char>(crc);
  return p;
}

struct Loader {
  SimModelDriver driver;
  LineFormat fast = Fmt(115200);
  explicit Loader(const std::string& version) : driver(ParseProfile(Profile(version))) {
    driver.Send("A.1250#7\r\n", Fmt(4800));
    EXPECT_EQ(driver.Take(), "A.1250!\r\n");
    Tick(100'000);
    model = &dynamic_cast<sim::XmodemLoaderModel&>(driver.Instrument().Model());
  }
  // Lets `micros` pass; what the loader sent meanwhile.
  std::string Tick(uint64_t micros) {
    driver.Wait(micros);
    driver.Instrument().Tick(driver.Now());
    std::string sent;
    for (const auto& e : driver.Instrument().TakeEmissions()) sent.append(e.bytes.begin(), e.bytes.end());
    return sent;
  }
  sim::XmodemLoaderModel& Model() { return *model; }
  sim::XmodemLoaderModel* model = nullptr;
  std::string Send(const std::string& bytes) {
    driver.Send(bytes, fast);
    return driver.Take();
  }
};

const std::string kCode("8934\r\n\0", 7);

TEST(SimXmodemModel, ChecksEveryPacketAndTheTrailer) {
  Loader l("1.06");
  EXPECT_EQ(l.Model().Baud(), 115200u);
  // The old rate is noise now; the line it falls into is lost.
  l.driver.Send("A.2051\r\n", Fmt(4800));
  EXPECT_EQ(l.Send("A.2051\r\n"), "");
  EXPECT_EQ(l.Send("A.2051\r\n"), "B.251#1.06\r\n");
  // From 1.06 on a letter needs its code.
  EXPECT_EQ(l.Send("u"), "");
  EXPECT_EQ(l.Send(kCode), "C");

  // An image of two packets: 122 bytes, 128 of fill, the trailer (250, CRC).
  std::string image(122, 'a');
  image += std::string(128, '\xFF');
  const uint16_t crc = Crc(image);
  image += std::string{static_cast<char>(250), 0, 0, 0, static_cast<char>(crc), static_cast<char>(crc >> 8)};
  const std::string p1 = image.substr(0, 128), p2 = image.substr(128);

  EXPECT_EQ(l.Send(Packet(2, p1)), "\x15");               // wrong block
  EXPECT_EQ(l.Send(Packet(1, p1, true)), "\x15");         // wrong CRC
  EXPECT_EQ(l.Send(Packet(1, p1, false, true)), "\x15");  // wrong complement
  EXPECT_EQ(l.Send(Packet(1, p1)), "\x06");
  EXPECT_EQ(l.Send(Packet(1, p1)), "\x06");  // the same again: taken once
  EXPECT_EQ(l.Send(Packet(2, p2)), "\x06");
  EXPECT_EQ(l.Send("\x04"), "\x06");
  EXPECT_EQ(l.Model().AckCounts(), (std::vector<int>{2, 1}));
  EXPECT_EQ(l.Model().NakCount(), 3);
  EXPECT_TRUE(l.Model().ImageValid());

  char report[16];
  std::snprintf(report, sizeof report, "B.1205#%04X\r\n", crc);
  EXPECT_EQ(l.Send("c" + kCode), report);
  EXPECT_EQ(l.Send("r" + kCode), "");
  l.Tick(200'000);
  EXPECT_TRUE(l.Model().Started());
  // The new firmware answers on the instrument's line.
  l.driver.Send("A.1000\r\n", Fmt(4800));
  EXPECT_EQ(l.driver.Take(), "A.1000!\r\n");
}

TEST(SimXmodemModel, OldLoaderTakesBareLettersAndRefusesABadImage) {
  Loader l("1.05");
  EXPECT_EQ(l.Send("u"), "C");
  // A cut-off packet is NAKed after a second of silence.
  EXPECT_EQ(l.Send(std::string("\x01\x01\xFE", 3) + "abc"), "");
  EXPECT_EQ(l.Tick(1'100'000), "\x15");
  // A single packet whose trailer does not match: its CRC is reported, no start.
  EXPECT_EQ(l.Send(Packet(1, std::string(128, 'z'))), "\x06");
  EXPECT_EQ(l.Send("\x04"), "\x06");
  EXPECT_FALSE(l.Model().ImageValid());
  EXPECT_EQ(l.Send("c").substr(0, 7), "B.1205#");
  EXPECT_EQ(l.Send("r"), "");
  l.Tick(1'000'000);
  EXPECT_FALSE(l.Model().Started());
}

TEST(SimXmodemModel, AsksAgainUntilAPacketComes) {
  Loader l("1.05");
  EXPECT_EQ(l.Send("u"), "C");
  EXPECT_EQ(l.Tick(3'100'000), "C");
}

TEST(SimXmodemModel, SensorBehindTheInstrument) {
  SimModelDriver driver(ParseProfile(Profile("1.20")));
  driver.Send("A.1256#7\r\n", Fmt(4800));
  EXPECT_EQ(driver.Take(), "A.1256!\r\n");
  driver.Send("A.1250#3\r\n", Fmt(9600));
  EXPECT_EQ(driver.Take(), "A.1250!\r\n");
  driver.Send("A.1250#7\r\n", Fmt(9600));
  EXPECT_EQ(driver.Take(), "A.1250!\r\n");
  driver.Wait(100'000);
  driver.Instrument().Tick(driver.Now());
  driver.Send("A.2051\r\n", Fmt(115200));
  EXPECT_EQ(driver.Take(), "B.251#1.20\r\n");
}

TEST(SimXmodemModel, SettingsAreRead) {
  sim::XmodemSettings s;
  std::string error;
  EXPECT_TRUE(s.Parse("version 2.10 start-ms 50", error));
  EXPECT_EQ(s.VersionHundredths(), 210);
  EXPECT_EQ(s.startMs, 50u);
  EXPECT_FALSE(s.Parse("version", error));
  EXPECT_FALSE(s.Parse("speed 9", error));
  EXPECT_NE(error.find("speed"), std::string::npos);
}

}  // namespace
