// Instrument models on simulated lines, talked to through the serial
// component as the tool does: a search over several COM ports and baud
// rates, the identification, boot-loader wake-ups and line faults.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/sim/SimPortSystem.h"
#include "platform/sim/VirtualTime.h"
#include "serial/TComPort.h"
#include "sim/line/SimInstrumentRack.h"
#include "sim/model/ProfileReader.h"

namespace {

using platform::sim::SimPortSystem;
using platform::sim::VirtualTime;
using serial::TComPort;

struct Message {
  uint32_t message;
  uint32_t com;
  uint32_t tick;
};

class SimInstrumentLine : public ::testing::Test, public serial::V24Listener {
 protected:
  VirtualTime time;
  SimPortSystem ports{time};
  sim::SimInstrumentRack rack{ports, time};
  std::vector<Message> messages;

  void OnV24Message(uint32_t message, uint32_t com) override {
    messages.push_back({message, com, time.TickCount()});
  }
  int Count(uint32_t message, uint32_t com) const {
    int n = 0;
    for (const auto& m : messages) n += (m.message == message && m.com == com) ? 1 : 0;
    return n;
  }

  // The tool's port settings: 8 data bits, 2 stop bits, no parity.
  std::unique_ptr<TComPort> OpenPort(uint32_t com, serial::BaudTag baud = serial::B__4800) {
    auto port = std::make_unique<TComPort>(ports, time);
    serial::V24ParameterTag* r = port->GetV24Parameter();
    r->DatenBits = serial::D_8;
    r->StopBits = serial::S_2;
    r->Baudrate = baud;
    r->RXTimeOutproChar = 1;
    r->TXTimeOut = 10000;
    r->TXTimeOutproChar = 1;
    r->KeinNullZeichen = 0;
    EXPECT_TRUE(port->Open(this, static_cast<int32_t>(com) - 1, true)) << "COM" << com;
    return port;
  }
  static void Write(TComPort& port, const std::string& bytes) {
    EXPECT_EQ(
        port.Write(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), false),
        static_cast<int32_t>(bytes.size()));
  }
  static std::string Read(TComPort& port) {
    std::string all;
    for (;;) {
      std::vector<uint8_t> buffer(251);
      const int32_t n = port.Read(buffer.data(), 250);
      if (n <= 0) return all;
      all.append(buffer.begin(), buffer.begin() + n);
    }
  }
};

TEST_F(SimInstrumentLine, SearchFindsEachInstrumentOnlyAtItsOwnSettings) {
  rack.PlaceShipped(2, "ph-meter");    // 4800 8N1
  rack.PlaceSilent(3);                 // a port with nothing on it
  rack.PlaceShipped(5, "lab-bsl-90");  // ROM boot loader, 9600 8E1
  rack.PlaceShipped(7, "lab-meter");   // 9600 8N1
  ports.SetHeldElsewhere(9, true);

  std::map<uint32_t, std::unique_ptr<TComPort>> open;
  {
    TComPort probe(ports, time);
    ASSERT_EQ(probe.GetMaxV24Useable(), 4);
    for (int32_t i = 0; i < 4; ++i) {
      const uint32_t com = static_cast<uint32_t>(probe.Get_UseableV24(i)) + 1;
      open[com] = OpenPort(com);
    }
  }
  ASSERT_EQ(open.size(), 4u);
  ASSERT_TRUE(open.contains(2) && open.contains(3) && open.contains(5) && open.contains(7));

  auto searchAt = [&](serial::BaudTag baud) {
    for (auto& [com, port] : open) port->ChangeBaudrate(baud);
    for (auto& [com, port] : open) Write(*port, "\r\n\r\n");
    for (auto& [com, port] : open) Write(*port, "A.1111\r\n");
    time.RunFor(1000);
    std::map<uint32_t, std::string> answers;
    for (auto& [com, port] : open) answers[com] = Read(*port);
    return answers;
  };
  const std::map<uint32_t, std::string> at4800{{2, "A.1111!\r\n"}, {3, ""}, {5, ""}, {7, ""}};
  EXPECT_EQ(searchAt(serial::B__4800), at4800);
  const std::map<uint32_t, std::string> at9600{{2, ""}, {3, ""}, {5, ""}, {7, "A.1111!\r\n"}};
  EXPECT_EQ(searchAt(serial::B__9600), at9600);

  // The ROM boot loader's wake-up: the sync byte at 9600 8E1.
  for (auto& [com, port] : open) port->ChangeV24Parameter(serial::B__9600, serial::S_1, serial::Even, false);
  for (auto& [com, port] : open) Write(*port, "\x80");
  time.RunFor(1000);
  std::map<uint32_t, std::string> woken;
  for (auto& [com, port] : open) woken[com] = Read(*port);
  const std::map<uint32_t, std::string> expected{{2, ""}, {3, ""}, {5, "\x90"}, {7, ""}};
  EXPECT_EQ(woken, expected);
}

TEST_F(SimInstrumentLine, FiveXxLoaderAnswersQToWhatPassesItsParityCheck) {
  rack.PlaceShipped(6, "lab-bsl-q");  // 9600 8E1
  auto port = OpenPort(6, serial::B__9600);
  // The search at 9600 8N2: a character with an odd number of one bits has
  // the even parity bit 1, which is where the port sends its first stop
  // bit, so the loader takes it: CR and "1" are bad headers, the rest fail
  // the parity check.
  Write(*port, "\r\n\r\nA.1111\r\n");
  time.RunFor(1000);
  EXPECT_EQ(Read(*port), "QQQQQQQ");  // three CRs, four "1"s
  // The boot-loader phase: the sync byte alone starts a packet ...
  port->ChangeV24Parameter(serial::B__9600, serial::S_1, serial::Even, false);
  Write(*port, "\x80");
  time.RunFor(6000);
  EXPECT_EQ(Read(*port), "");
  // ... that is long forgotten when the second wake-up comes.
  Write(*port, std::string("\x85\x01\x00\x1A", 4));
  time.RunFor(100);
  EXPECT_EQ(Read(*port), "QQQQ");
}

TEST_F(SimInstrumentLine, IdentifiesThroughTheSerialComponentWithTheInstrumentsTiming) {
  rack.PlaceShipped(4, "sensor-meter-f4");  // 4800 8N1, asks for 2500 ms on A.1131
  auto port = OpenPort(4);
  Write(*port, "\r\n\r\nA.1131\r\n");
  const uint32_t sent = time.TickCount();
  time.RunFor(200);
  EXPECT_EQ(Read(*port), "I.1131#2500\r\n");
  time.RunFor(3000);
  EXPECT_EQ(Read(*port), "A.1131!\r\n");
  // The acknowledgement starts 10 ms + 2500 ms after the line end.
  ASSERT_EQ(Count(serial::WM_V24_RX, 4), 2);
  EXPECT_GE(messages.back().tick - sent, 2510u);
  EXPECT_LT(messages.back().tick - sent, 2520u);

  Write(*port, "A.1000\r\n");
  time.RunFor(100);
  EXPECT_EQ(Read(*port), "A.1000!\r\n");
  std::string answers;
  for (const char* query : {"A.2003\r\n", "A.2000\r\n", "A.2001\r\n", "A.4001\r\n"}) {
    Write(*port, query);
    time.RunFor(100);
    answers += Read(*port);
  }
  EXPECT_EQ(
      answers,
      "I.23#22113.001,30520.002\r\nI.20#23053.000,30520.001\r\nI.21#1.00,1.20\r\nI.25#11110005,22220005\r\n");
  Write(*port, "A.1111\r\n");
  time.RunFor(100);
  EXPECT_EQ(Read(*port), "A.1111!\r\n");
}

TEST_F(SimInstrumentLine, AnswersAreNoiseToAPortSetDifferently) {
  rack.PlaceShipped(2, "ph-meter");
  auto port = OpenPort(2);
  Write(*port, "A.2003\r\n");             // at 4800: understood ...
  port->ChangeBaudrate(serial::B__9600);  // ... but the port listens at 9600 when the answer comes
  time.RunFor(300);
  const std::string heard = Read(*port);
  EXPECT_EQ(heard.find("I.23#"), std::string::npos) << heard;
  EXPECT_GT(Count(serial::WM_V24_FRAME, 2), 0);
}

TEST_F(SimInstrumentLine, BootLoaderFrameAnswersTheWakeUpFrame) {
  rack.PlaceShipped(8, "meter-720q-bootloader");  // 38400 8N1
  auto port = OpenPort(8);
  port->ChangeV24Parameter(serial::B_38400, serial::S_1, serial::NoParity, false);
  Write(*port, std::string("\x68\x00\x00\x68\x00\x00\x00\x00\x16", 9));
  time.RunFor(100);
  EXPECT_EQ(Read(*port), std::string("\x68\x30\x30\x68\x1D"
                                     "VE720q-BL V1.02"
                                     "\x0C\x16"));
}

TEST_F(SimInstrumentLine, ADroppedLineIsAHangUpAtThePort) {
  auto result = sim::ProfileReader::Parse(
      "name = d\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 3\nserial = 4\ndrop-at = 2001\n");
  ASSERT_TRUE(result.Ok());
  rack.Place(6, result.profile);
  auto port = OpenPort(6);
  Write(*port, "A.2000\r\n");
  time.RunFor(100);
  EXPECT_EQ(Read(*port), "I.20#2\r\n");
  // The line goes as the command's last character arrives, so the write
  // itself may not be reported complete.
  port->Write("A.2001\r\n", -1, false);
  time.RunFor(100);
  EXPECT_EQ(Count(serial::WM_V24_HANGUP, 6), 1);
  EXPECT_EQ(rack.Binding(6)->Notes().size(), 1u);
}

}  // namespace
