// The serial component on simulated lines in virtual time: line timing at
// the port's format, garbling on a format mismatch, read time-outs, flow
// control and write time-outs, the notification rule, hang-up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimPortSystem.h"
#include "platform/sim/VirtualTime.h"
#include "serial/SimScriptPeer.h"
#include "serial/TComPort.h"

namespace {

using platform::sim::LineFormat;
using platform::sim::Parity;
using platform::sim::SimPortSystem;
using platform::sim::StopBits;
using platform::sim::VirtualTime;
using serial::TComPort;
using serialtest::RecordedMessage;
using serialtest::SimScriptPeer;

class SerialSimLine : public ::testing::Test, public serial::V24Listener {
 protected:
  VirtualTime time;
  SimPortSystem ports{time};
  SimScriptPeer peer;
  std::vector<RecordedMessage> messages;

  void SetUp() override { ports.AddLine(3).Attach(&peer); }

  void OnV24Message(uint32_t message, uint32_t com) override {
    messages.push_back({message, com, time.TickCount()});
  }
  int Count(uint32_t message) const {
    int n = 0;
    for (const auto& m : messages) n += m.message == message ? 1 : 0;
    return n;
  }

  // The main window's settings: 8 data bits, 2 stop bits, 4800 baud.
  std::unique_ptr<TComPort> OpenPort(serial::BaudTag baud = serial::B__4800,
                                     serial::HandshakeTag handshake = serial::NoHandshake) {
    auto port = std::make_unique<TComPort>(ports, time);
    serial::V24ParameterTag* r = port->GetV24Parameter();
    r->DatenBits = serial::D_8;
    r->StopBits = serial::S_2;
    r->Baudrate = baud;
    r->Handshake = handshake;
    r->RXTimeOutproChar = 1;
    r->TXTimeOut = 10000;
    r->TXTimeOutproChar = 1;
    r->KeinNullZeichen = 1;
    EXPECT_TRUE(port->Open(this, 2, true));
    return port;
  }
  // `delayMicros` counts from the end of what the far end sent before.
  void SendFromFarEnd(const std::string& text, uint64_t delayMicros = 0) {
    ports.Line(3)->Send(reinterpret_cast<const uint8_t*>(text.data()), text.size(), delayMicros);
  }
  void SendAt(uint64_t atMicros, const std::string& text) {
    time.ScheduleAt(atMicros, [this, text] { SendFromFarEnd(text); });
  }
  std::string ReadText(TComPort& port, uint32_t count = 200) {
    std::vector<char> buffer(count + 1, '\x7f');
    const int32_t n = port.Read(buffer.data(), count);
    EXPECT_GE(n, 0);
    return std::string(buffer.data(), n < 0 ? 0 : static_cast<size_t>(n));
  }
};

LineFormat Format(uint32_t baud, uint8_t bits = 8, Parity parity = Parity::None,
                  StopBits stop = StopBits::Two) {
  LineFormat f;
  f.baud = baud;
  f.dataBits = bits;
  f.parity = parity;
  f.stopBits = stop;
  return f;
}

TEST_F(SerialSimLine, BytesTakeTheirLineTimeAtThePortsRate) {
  // 8N2: 11 bits a character. 10 characters: 22917 us at 4800, 2865 us at 38400.
  peer.format = Format(4800);
  auto port = OpenPort(serial::B__4800);
  EXPECT_EQ(port->Write("A.1000\r\n12", -1, false), 10);
  EXPECT_EQ(time.NowMicros(), 23000u) << "a synchronous write returns once the last stop bit is out";
  EXPECT_EQ(peer.Bytes(), (std::vector<uint8_t>{'A', '.', '1', '0', '0', '0', '\r', '\n', '1', '2'}));
  EXPECT_EQ(peer.FramingErrors(), 0);

  port->ChangeBaudrate(serial::B_38400);
  peer.format = Format(38400);
  peer.received.clear();
  const uint64_t start = time.NowMicros();
  EXPECT_EQ(port->Write("A.1000\r\n12", -1, false), 10);
  EXPECT_EQ(time.NowMicros() - start, 3000u);
  EXPECT_EQ(peer.Bytes().size(), 10u);
  EXPECT_EQ(peer.FramingErrors(), 0);
}

TEST_F(SerialSimLine, AnswerArrivesAfterItsLineTimeAndOneReadTakesTheBurst) {
  peer.format = Format(4800);
  auto port = OpenPort();
  SendFromFarEnd("A.20!\r\n");  // 7 characters, 16042 us
  time.RunFor(15);
  EXPECT_EQ(ports.Line(3)->BufferedForPort(), 6u) << "the seventh is still on the wire";
  time.RunFor(5);
  ASSERT_EQ(Count(serial::WM_V24_RX), 1);
  EXPECT_EQ(messages[0].com, 3u);
  EXPECT_EQ(messages[0].tick, 1u) << "notified when the first character is in (1979 us)";
  EXPECT_EQ(ReadText(*port), "A.20!\r\n");
}

TEST_F(SerialSimLine, ReadEndsTwentyMillisecondsAfterTheLastByte) {
  peer.format = Format(4800);
  auto port = OpenPort();
  port->ChangeV24TimeOut(2000, -1, 0, -1);
  SendFromFarEnd("AB");           // 2 x 2292 us
  SendAt(4583 + 15'000, "CD");    // a gap of 15 ms joins the burst
  SendAt(24'166 + 30'000, "EF");  // a gap of 30 ms ends it
  const std::string first = ReadText(*port);
  EXPECT_EQ(first, "ABCD");
  // D is complete at 4583 + 15000 + 4583 us; the read returns 20 ms after it came.
  EXPECT_GE(time.TickCount(), 24u + 20u);
  EXPECT_LE(time.TickCount(), 24u + 21u);
  EXPECT_EQ(ReadText(*port), "EF");
}

TEST_F(SerialSimLine, ReadWithoutDataEndsAtTheTotalTimeout) {
  peer.format = Format(4800);
  auto port = OpenPort();  // 1 ms per byte, constant 0
  EXPECT_EQ(ReadText(*port, 100), "");
  EXPECT_EQ(time.TickCount(), 100u);
  port->ChangeV24TimeOut(250, -1, -1, -1);
  EXPECT_EQ(ReadText(*port, 10), "");
  EXPECT_EQ(time.TickCount(), 100u + 260u);
  port->ChangeV24TimeOut(0, -1, 0, -1);  // becomes 1 ms, never "no limit"
  EXPECT_EQ(ReadText(*port, 10), "");
  EXPECT_EQ(time.TickCount(), 361u);
}

TEST_F(SerialSimLine, BaudMismatchGarblesBothWaysWithFramingErrors) {
  peer.format = Format(9600);
  auto port = OpenPort(serial::B__4800);
  port->Write("A.1111\r\n", -1, false);
  EXPECT_NE(peer.Bytes(), (std::vector<uint8_t>{'A', '.', '1', '1', '1', '1', '\r', '\n'}));
  EXPECT_GT(peer.FramingErrors(), 0);

  SendFromFarEnd("A.20!\r\nA.21!\r\n");
  time.RunFor(100);
  EXPECT_GE(Count(serial::WM_V24_FRAME), 1);
  EXPECT_EQ(Count(serial::WM_V24_RX), 1);
  const std::string got = ReadText(*port);
  EXPECT_NE(got, "A.20!\r\nA.21!\r\n");
  EXPECT_NE(got, "");
}

TEST_F(SerialSimLine, ParityAndDataBitMismatchGarble) {
  // The port sends 8E1, the far end expects 8N1: the parity bit lands on
  // the stop bit whenever it is 0.
  peer.format = Format(4800, 8, Parity::None, StopBits::One);
  auto port = OpenPort();
  port->ChangeV24Parameter(serial::B__4800, serial::S_1, serial::Even, true);
  port->Write("0123456789", -1, false);
  EXPECT_GT(peer.FramingErrors(), 0);

  // The far end sends 7 data bits with even parity, the port reads 8N1:
  // bit 7 is the parity bit.
  peer.format = Format(4800, 7, Parity::Even, StopBits::One);
  port->ChangeV24Parameter(serial::B__4800, serial::S_1, serial::NoParity, true);
  SendFromFarEnd("C");  // 0x43 has an odd count of ones: parity 1
  EXPECT_EQ(ReadText(*port), "\xC3");
  // With matching settings it is plain text again.
  port->SaveV24Parameter([&] {
    serial::DCB d = port->LoadV24Parameter();
    d.ByteSize = 7;
    d.Parity = platform::EVENPARITY;
    return d;
  }());
  SendFromFarEnd("C");
  EXPECT_EQ(ReadText(*port), "C");
}

TEST_F(SerialSimLine, XoffFromTheFarEndMakesWritesTimeOutAndLatch) {
  peer.format = Format(4800);
  auto port = OpenPort(serial::B__4800, serial::XonXoff);
  port->ChangeV24TimeOut(-1, 50, -1, 0);  // 50 ms for any write
  const uint8_t xoff = 0x13;
  ports.Line(3)->Send(&xoff, 1);
  time.RunFor(5);
  EXPECT_EQ(port->Write("A.1000\r\n", -1, false), TComPort::kWriteFailed);
  EXPECT_EQ(time.TickCount(), 55u);
  EXPECT_TRUE(peer.received.empty());
  EXPECT_EQ(port->Write("A", -1, false), TComPort::kWriteFailed) << "latched, not even tried";
  EXPECT_EQ(time.TickCount(), 55u);
  EXPECT_EQ(port->GetWriteStatus(), std::optional<bool>(true));
  const uint8_t xon = 0x11;
  ports.Line(3)->Send(&xon, 1);
  time.RunFor(5);
  EXPECT_EQ(port->Write("A", -1, false), 1);
  EXPECT_EQ(peer.Bytes(), std::vector<uint8_t>{'A'});
  EXPECT_EQ(ReadText(*port), "") << "XON and XOFF are not data";
}

TEST_F(SerialSimLine, BackgroundWriteRunsWhileTheOwnerGoesOn) {
  peer.format = Format(4800);
  auto port = OpenPort();
  EXPECT_EQ(port->Write("0123456789", 10, true), 10);
  EXPECT_EQ(time.NowMicros(), 0u);
  EXPECT_EQ(port->Write("X", 1, true), TComPort::kWriterBusy);
  EXPECT_EQ(port->Write("X", 1, false), TComPort::kWriterBusy);
  time.RunFor(30);
  EXPECT_EQ(peer.Bytes().size(), 10u);
  EXPECT_EQ(port->Write("X", 1, true), 1);
  EXPECT_EQ(port->GetWriteStatus(), std::optional<bool>(false));
}

TEST_F(SerialSimLine, CtsLowStopsAnRtsCtsPort) {
  peer.format = Format(4800);
  auto port = OpenPort(serial::B__4800, serial::RTS_CTS);
  ports.Line(3)->SetClearToSend(false);
  EXPECT_EQ(port->Write("AB", 2, true), 2);
  time.RunFor(2000);
  EXPECT_TRUE(peer.received.empty());
  ports.Line(3)->SetClearToSend(true);
  time.RunFor(10);
  EXPECT_EQ(peer.Bytes().size(), 2u);
  EXPECT_EQ(port->GetWriteStatus(), std::optional<bool>(false)) << "10002 ms were allowed";
}

TEST_F(SerialSimLine, OneNotificationPerBurstUntilTheOwnerReads) {
  peer.format = Format(4800);
  auto port = OpenPort();
  SendAt(0, "A.20!\r\n");
  SendAt(200'000, "A.21!\r\n");
  time.RunFor(400);
  EXPECT_EQ(Count(serial::WM_V24_RX), 1) << "the owner has not read yet";
  EXPECT_EQ(ReadText(*port), "A.20!\r\nA.21!\r\n");
  SendFromFarEnd("A.22!\r\n");
  time.RunFor(100);
  EXPECT_EQ(Count(serial::WM_V24_RX), 2);
}

TEST_F(SerialSimLine, DataThatKeepsComingUnreadIsNotifiedAgainAboutEveryFiveSeconds) {
  peer.format = Format(4800);
  auto port = OpenPort();
  for (int i = 0; i < 40; ++i) SendAt(i * 500'000ull, "x");
  time.RunFor(20'000);
  // Notified at 0; the arrivals at 0.5 s and 1 s start the watch, which
  // runs out at the arrival at 6.5 s; the next arrival is notified. The
  // same again from 7 s on.
  ASSERT_EQ(Count(serial::WM_V24_RX), 3);
  EXPECT_EQ(messages[1].tick, 7001u);
  EXPECT_EQ(messages[2].tick, 14001u);
}

TEST_F(SerialSimLine, ReadAfterTheWatchStartedBringsOneMoreEmptyNotification) {
  peer.format = Format(4800);
  auto port = OpenPort();
  SendAt(0, "a");
  SendAt(300'000, "b");
  SendAt(600'000, "c");
  time.RunFor(1000);
  EXPECT_EQ(Count(serial::WM_V24_RX), 1);
  EXPECT_EQ(ReadText(*port), "abc");
  time.RunFor(1500);
  EXPECT_EQ(Count(serial::WM_V24_RX), 2) << "the remembered arrival is notified within a second";
  EXPECT_EQ(ReadText(*port), "");
  time.RunFor(3000);
  EXPECT_EQ(Count(serial::WM_V24_RX), 2);
}

TEST_F(SerialSimLine, PullingTheCableGivesOneHangUpNotice) {
  peer.format = Format(4800);
  auto port = OpenPort();
  ports.Line(3)->Disconnect();
  time.RunFor(5000);
  EXPECT_EQ(Count(serial::WM_V24_HANGUP), 1);
  EXPECT_EQ(port->Write("A", 1, false), 0) << "the line refuses";
  EXPECT_EQ(ReadText(*port), "");
  const uint64_t rounds = ports.Line(3)->ReaderRounds();
  time.RunFor(5000);
  EXPECT_EQ(ports.Line(3)->ReaderRounds(), rounds);
  port->Close();
  EXPECT_EQ(peer.openEvents, (std::vector<bool>{true, false}));
}

TEST_F(SerialSimLine, HeldAndAbsentPortsAreListedAndRefusedWithTheirName) {
  ports.SetHeldElsewhere(12, true);
  ports.AddLine(7);
  TComPort port(ports, time);
  EXPECT_EQ(port.GetMaxV24Devices(), 3);
  EXPECT_EQ(port.Get_DeviceV24(0), 2);
  EXPECT_EQ(port.Get_DeviceV24(1), 6);
  EXPECT_EQ(port.Get_DeviceV24(2), 11);
  EXPECT_EQ(port.GetMaxV24Useable(), 2);
  EXPECT_EQ(port.Get_UseableV24(1), 6);

  std::vector<std::string> boxes;
  port.SetErrorBox([&](const std::string& text) { boxes.push_back(text); });
  EXPECT_FALSE(port.Open(this, 11, true));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("COM12 konnte nicht ge\xF6"
                           "ffnet werden!",
                           0),
            0u)
      << boxes[0];
  port.SetLanguage(1);
  EXPECT_FALSE(port.Open(this, 4, false));
  EXPECT_EQ(boxes.size(), 1u) << "no box without showError";
  EXPECT_EQ(port.LastOpenError().rfind("Cannot open COM5! ", 0), 0u);

  // A second component on an open port: the port is held.
  TComPort first(ports, time);
  ASSERT_TRUE(first.Open(this, 2, false));
  port.Check_AllV24();
  EXPECT_EQ(port.GetMaxV24Useable(), 1);
  EXPECT_FALSE(port.Open(this, 2, false));
}

TEST_F(SerialSimLine, APortWithoutPermissionIsInNeitherListAndItsErrorSaysWhatHelps) {
  ports.SetNoPermission(5, true);
  TComPort port(ports, time);
  EXPECT_EQ(port.GetMaxV24Devices(), 1) << "only COM3";
  std::vector<std::string> boxes;
  port.SetErrorBox([&](const std::string& text) { boxes.push_back(text); });
  EXPECT_FALSE(port.Open(this, 4, true));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("COM5 konnte nicht ge\xF6"
                           "ffnet werden!",
                           0),
            0u);
  EXPECT_NE(boxes[0].find("Gruppe dialout"), std::string::npos) << boxes[0];
  port.SetLanguage(1);
  EXPECT_FALSE(port.Open(this, 4, true));
  EXPECT_EQ(boxes[1].rfind("Cannot open COM5! ", 0), 0u);
  EXPECT_NE(boxes[1].find("group dialout"), std::string::npos) << boxes[1];
}

TEST_F(SerialSimLine, AutoSearchOpensTheFirstPortThatCanBeOpened) {
  ports.SetHeldElsewhere(1, true);
  ports.AddLine(9);
  TComPort port(ports, time);
  port.InitParameter(serial::V24ParameterTag{}, true);
  EXPECT_TRUE(port.AutoSearch());
  ASSERT_TRUE(port.Open(this, 8, false)) << "the number given is overridden by the search";
  EXPECT_EQ(port.ComNumber(), 3u);
  EXPECT_EQ(port.V24().Schnittstelle(), serial::Com__3) << "the record holds the port opened";
}

TEST_F(SerialSimLine, NotificationPauseDelaysTheNextRound) {
  peer.format = Format(4800);
  auto port = OpenPort();
  port->ChangeRXNotifyDelay(100);
  EXPECT_EQ(port->GetRXNotificationTime(), 100u);
  SendAt(0, "a");
  time.RunFor(10);
  EXPECT_EQ(ReadText(*port), "a");
  SendAt(time.NowMicros() + 20'000, "b");
  time.RunFor(200);
  ASSERT_EQ(Count(serial::WM_V24_RX), 2);
  EXPECT_GE(messages[1].tick, 101u) << "the reader slept 100 ms after the first notification";
  port->Close();
  EXPECT_EQ(port->GetRXNotificationTime(), 0u);
  port->ChangeRXNotifyDelay(50);  // closed: nothing
  port->Reset_SetAktiv();
}

TEST_F(SerialSimLine, ResetSetAktivAndClearBuffer) {
  peer.format = Format(4800);
  auto port = OpenPort();
  SendAt(0, "abc");
  time.RunFor(20);
  ASSERT_EQ(Count(serial::WM_V24_RX), 1);
  port->Reset_SetAktiv();
  SendAt(time.NowMicros(), "d");
  time.RunFor(100);  // "abc" still waits: the reader looks every 50 ms
  EXPECT_EQ(Count(serial::WM_V24_RX), 2) << "notified again without a Read";
  EXPECT_TRUE(port->ClearBuffer(platform::PURGE_RXCLEAR | platform::PURGE_TXCLEAR));
  EXPECT_EQ(ReadText(*port), "");
  port->Close();
  EXPECT_FALSE(port->ClearBuffer(platform::PURGE_RXCLEAR));
}

TEST_F(SerialSimLine, NotificationsOfADestroyedPortAreDropped) {
  peer.format = Format(4800);
  auto port = OpenPort();
  SendAt(0, "abc");
  time.Sleep(20);  // the reader posts, nobody pumps
  EXPECT_EQ(time.PendingMessages(), 1u);
  port.reset();
  time.ProcessMessages();
  EXPECT_TRUE(messages.empty());
}

}  // namespace
