// The parameter set, its settings file, the mapping to the line settings
// and the change operations (on a simulated line).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/sim/SimPortSystem.h"
#include "platform/sim/VirtualTime.h"
#include "serial/TComPort.h"
#include "serial/V24Mapping.h"

namespace {

namespace fs = std::filesystem;
using platform::sim::SimPortSystem;
using platform::sim::VirtualTime;
using serial::TComPort;
using serial::V24ParameterTag;

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void WriteFile(const fs::path& p, const Bytes& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
void Put32(Bytes& b, size_t at, int32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}

class SerialSettings : public ::testing::Test {
 protected:
  VirtualTime time;
  SimPortSystem ports{time};
  fs::path dir;
  fs::path oldCwd;

  void SetUp() override {
    char tmpl[] = "/tmp/iu-settings-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    oldCwd = fs::current_path();
    fs::current_path(dir);  // an empty ConfigPath resolves here
    ports.AddLine(3);
  }
  void TearDown() override {
    fs::current_path(oldCwd);
    fs::remove_all(dir);
  }
  const platform::DCB& LineState() { return ports.Line(3)->PortState(); }
  std::unique_ptr<TComPort> StreamingPort() {
    auto port = std::make_unique<TComPort>(ports, time);
    port->SetStreamOn(true);
    port->SetNewConfigPath(dir.string());
    return port;
  }
};

TEST(SerialRecord, FreshRecordHasTheKnownBytes) {
  const serial::TV24Parameter p;
  const uint8_t expected[48] = {0x01, 0, 0, 0, 0, 0, 0, 0, 0,    0,    0, 0,
                                0x02, 0, 0, 0,                                 // D_8, NoParity, S_1, B__4800
                                0,    0, 0, 0, 0, 0, 0, 0, 0xE8, 0x03, 0, 0,   // no handshake, RX 0, TX 1000
                                0,    0, 0, 0, 0, 0, 0, 0,                     // COM1, flags, padding
                                0,    0, 0, 0, 0, 0, 0, 0, 0,    0,    0, 0};  // notification, per-char
  EXPECT_EQ(std::memcmp(&p.Record(), expected, 48), 0);
  const serial::TDlgParameter d;
  const uint8_t zeros[13] = {};
  EXPECT_EQ(std::memcmp(d.GetFlags(), zeros, 13), 0);
}

TEST(SerialMapping, MainWindowSettingsGiveTheKnownDriverRecords) {
  V24ParameterTag r;
  r.StopBits = serial::S_2;
  r.RXTimeOutproChar = 1;
  r.TXTimeOut = 10000;
  r.TXTimeOutproChar = 1;
  r.KeinNullZeichen = 1;
  const platform::DCB d = serial::MakeDcb(r);
  EXPECT_EQ(d.DCBlength, 28u);
  EXPECT_EQ(d.BaudRate, 4800u);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, 0);
  EXPECT_EQ(d.StopBits, 2);
  EXPECT_EQ(d.XonChar, 0x11);
  EXPECT_EQ(d.XoffChar, 0x13);
  EXPECT_EQ(d.fBinary, 1u);
  EXPECT_EQ(d.fNull, 1u);
  EXPECT_EQ(d.fRtsControl, 1u);
  EXPECT_EQ(d.fDtrControl, 0u);
  EXPECT_EQ(d.fOutX, 0u);
  EXPECT_EQ(d.fInX, 0u);
  EXPECT_EQ(d.fOutxCtsFlow, 0u);
  EXPECT_EQ(d.XonLim, 0);
  const platform::COMMTIMEOUTS t = serial::MakeTimeouts(r);
  EXPECT_EQ(t.ReadIntervalTimeout, 20u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 1u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 1u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 10000u);

  r.RXTimeOutproChar = 0;
  EXPECT_EQ(serial::MakeTimeouts(r).ReadTotalTimeoutConstant, 1u) << "0/0 would mean no limit";
  r.Paritaet = serial::Space;
  EXPECT_EQ(serial::MakeDcb(r).Parity, 4);
  r.Paritaet = serial::Mark;
  EXPECT_EQ(serial::MakeDcb(r).Parity, 3);
  r.Handshake = serial::RTS_CTS;
  EXPECT_EQ(serial::MakeDcb(r).fRtsControl, 2u);
  EXPECT_EQ(serial::MakeDcb(r).fOutxCtsFlow, 1u);
  r.Handshake = serial::Nardek_XonXoff;
  EXPECT_EQ(serial::MakeDcb(r).fOutX, 1u);
  EXPECT_EQ(serial::MakeDcb(r).fInX, 0u);
  r.Baudrate = serial::B256000;
  r.DatenBits = serial::D_7;
  EXPECT_EQ(serial::MakeDcb(r).BaudRate, 256000u);
  EXPECT_EQ(serial::MakeDcb(r).ByteSize, 7);
}

TEST(SerialMapping, ValuesOutsideTheirRangeMapLikeAFreshSet) {
  V24ParameterTag r;
  r.Baudrate = static_cast<serial::BaudTag>(10);
  r.Paritaet = static_cast<serial::ParitaetTag>(-1);
  r.StopBits = static_cast<serial::StopBitTag>(0x7fffffff);
  r.DatenBits = static_cast<serial::DatBitTag>(-2147483647 - 1);
  r.Handshake = static_cast<serial::HandshakeTag>(4);
  r.RXTimeOut = -5;
  r.TXTimeOut = -1;
  const platform::DCB d = serial::MakeDcb(r);
  EXPECT_EQ(d.BaudRate, 4800u);
  EXPECT_EQ(d.Parity, 0);
  EXPECT_EQ(d.StopBits, 0);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.fOutX, 0u);
  EXPECT_EQ(d.fRtsControl, 1u);
  const platform::COMMTIMEOUTS t = serial::MakeTimeouts(r);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 1u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
}

TEST_F(SerialSettings, WithoutStreamingOrWithAShortNameNoFileIsEverTouched) {
  for (const char* name : {"ComData.cfg", "a.c"}) {
    TComPort port(ports, time);
    port.SetDatei(name);
    port.SetStreamOn(std::string(name).size() <= 3);  // streaming only with the short name
    port.InitParameter(V24ParameterTag{}, false);
    ASSERT_TRUE(port.Open(nullptr, 2, false));
    port.Close();
    port.GetV24Parameter()->Baudrate = serial::B__9600;
    port.InitParameter(*port.GetV24Parameter(), false);
    EXPECT_TRUE(fs::is_empty(dir)) << name;
  }
}

TEST_F(SerialSettings, MissingFileIsCreatedFromTheCurrentValuesAndOpenGoesOn) {
  auto port = StreamingPort();
  EXPECT_EQ(port->ConfigPath(), dir.string() + "\\");
  port->GetV24Parameter()->Baudrate = serial::B_19200;
  ASSERT_TRUE(port->Open(nullptr, 2, false));
  EXPECT_EQ(LineState().BaudRate, 19200u);
  const Bytes file = ReadFile(dir / "ComData.cfg");
  ASSERT_EQ(file.size(), 48u);
  EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 16), (Bytes{0x04, 0, 0, 0}));
  EXPECT_EQ(Bytes(file.begin() + 24, file.begin() + 32), (Bytes{0xE8, 0x03, 0, 0, 0x02, 0, 0, 0}))
      << "the port actually opened is recorded";
}

TEST_F(SerialSettings, ShortFileReplacesOnlyTheLeadingFields) {
  Bytes file(36, 0);
  Put32(file, 0, serial::D_7);
  Put32(file, 12, serial::B115200);
  Put32(file, 28, serial::Com__3);
  WriteFile(dir / "ComData.cfg", file);
  auto port = StreamingPort();
  V24ParameterTag* r = port->GetV24Parameter();
  r->RXNotification = 55;
  r->RXTimeOutproChar = 3;
  r->TXTimeOutproChar = 4;
  ASSERT_TRUE(port->Open(nullptr, -1, false));
  r = &port->V24().Record();
  EXPECT_EQ(r->DatenBits, serial::D_7);
  EXPECT_EQ(r->Baudrate, 7);
  EXPECT_EQ(r->TXTimeOut, 0) << "read from the file";
  EXPECT_EQ(r->RXNotification, 0) << "set to 0 before reading, and the file ends before it";
  EXPECT_EQ(r->RXTimeOutproChar, 3);
  EXPECT_EQ(r->TXTimeOutproChar, 4);
  EXPECT_EQ(LineState().BaudRate, 115200u);
  EXPECT_EQ(port->GetRXNotificationTime(), 0u);
  EXPECT_EQ(ReadFile(dir / "ComData.cfg").size(), 48u) << "written back whole after Open";
}

TEST_F(SerialSettings, FullFileReplacesEveryFieldAndThePaddingSurvives) {
  Bytes file(48, 0);
  Put32(file, 12, serial::B_57600);
  Put32(file, 28, serial::Com__3);
  file[32] = 1;
  file[34] = 0xAB;
  file[35] = 0xCD;
  Put32(file, 36, 250);
  Put32(file, 44, 9);
  WriteFile(dir / "ComData.cfg", file);
  auto port = StreamingPort();
  ASSERT_TRUE(port->Open(nullptr, -1, false));
  const V24ParameterTag& r = port->V24().Record();
  EXPECT_EQ(r.padding[0], 0xAB);
  EXPECT_EQ(r.padding[1], 0xCD);
  EXPECT_EQ(r.RXNotification, 250);
  EXPECT_EQ(r.TXTimeOutproChar, 9);
  EXPECT_TRUE(port->V24().KeinNullZeichen());
  EXPECT_EQ(port->GetRXNotificationTime(), 250u);
  EXPECT_EQ(ReadFile(dir / "ComData.cfg"), file);
}

TEST_F(SerialSettings, ConfigPathRules) {
  TComPort port(ports, time);
  port.SetNewConfigPath("C:\\Daten");
  EXPECT_EQ(port.ConfigPath(), "C:\\Daten\\");
  port.SetNewConfigPath("C:\\Daten\\");
  EXPECT_EQ(port.ConfigPath(), "C:\\Daten\\");
  port.SetNewConfigPath("");
  EXPECT_EQ(port.ConfigPath(), "");
  // Empty: the bare file name in the current directory.
  port.SetStreamOn(true);
  ASSERT_TRUE(port.Open(nullptr, 2, false));
  EXPECT_TRUE(fs::exists(dir / "ComData.cfg"));
}

TEST_F(SerialSettings, GetV24ParameterStopsFileUseUntilTheNextOpen) {
  auto port = StreamingPort();
  V24ParameterTag* r = port->GetV24Parameter();
  r->Baudrate = serial::B__9600;
  port->InitParameter(*r, false);
  EXPECT_FALSE(fs::exists(dir / "ComData.cfg"));
  ASSERT_TRUE(port->Open(nullptr, 2, false));
  port->InitParameter(port->V24().Record(), false);  // streaming again since Open
  EXPECT_TRUE(fs::exists(dir / "ComData.cfg"));

  serial::TV24Parameter other;
  other.GetParameter(true, "other.cfg");
  other.SetBaudrate(serial::B_38400);
  port->SetV24(other);
  EXPECT_FALSE(other.Streaming());
  EXPECT_FALSE(port->V24().Streaming());
  EXPECT_EQ(port->V24().Baudrate(), serial::B_38400);
}

TEST_F(SerialSettings, ChangeBaudrateLastsOnlyUntilCloseButChangeV24ParameterIsKept) {
  TComPort port(ports, time);
  ASSERT_TRUE(port.Open(nullptr, 2, false));
  port.ChangeBaudrate(serial::B_38400);
  EXPECT_EQ(LineState().BaudRate, 38400u);
  port.Close();
  ASSERT_TRUE(port.Open(nullptr, 2, false));
  EXPECT_EQ(LineState().BaudRate, 4800u);

  port.ChangeV24Parameter(serial::B__9600, serial::S_2, serial::Even, true);
  EXPECT_EQ(LineState().BaudRate, 9600u);
  EXPECT_EQ(LineState().fNull, 1u);
  port.Close();
  EXPECT_EQ(LineState().fNull, 0u) << "Close puts the old settings back with fNull off";
  ASSERT_TRUE(port.Open(nullptr, 2, false));
  EXPECT_EQ(LineState().BaudRate, 9600u);
  EXPECT_EQ(LineState().StopBits, platform::TWOSTOPBITS);
  EXPECT_EQ(LineState().Parity, platform::EVENPARITY);
  EXPECT_EQ(LineState().ByteSize, 8) << "data bits stay";

  port.ChangeHandShake(serial::RTS_CTS);
  EXPECT_EQ(LineState().fRtsControl, platform::RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(port.V24().Handshake(), serial::NoHandshake) << "the record is not changed";
  port.Close();
  // On a closed port only the record changes.
  port.ChangeV24Parameter(serial::B__1200, serial::S_1, serial::NoParity, false);
  EXPECT_EQ(port.V24().Baudrate(), serial::B__1200);
}

TEST_F(SerialSettings, ChangeV24TimeOutTouchesOnlyTheGivenValues) {
  TComPort port(ports, time);
  V24ParameterTag* r = port.GetV24Parameter();
  r->RXTimeOutproChar = 1;
  r->TXTimeOut = 10000;
  r->TXTimeOutproChar = 1;
  ASSERT_TRUE(port.Open(nullptr, 2, false));
  port.ChangeV24TimeOut(-1, -1, -1, 0);
  platform::COMMTIMEOUTS t = port.LoadV24TimeOut();
  EXPECT_EQ(t.ReadIntervalTimeout, 20u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 1u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 10000u);
  EXPECT_EQ(port.V24().TXTimeOutproChar(), 0);
  EXPECT_EQ(port.V24().RXTimeOutproChar(), 1);
  EXPECT_EQ(port.V24().TXTimeOut(), 10000);

  port.ChangeV24TimeOut(-1, -1, 0, -1);
  t = port.LoadV24TimeOut();
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 1u) << "never 0/0";
  EXPECT_EQ(port.V24().RXTimeOutproChar(), 0);
  EXPECT_EQ(port.V24().RXTimeOut(), 0) << "the record keeps 0";
}

TEST_F(SerialSettings, LastParametersRestoreOnlyAfterASave) {
  TComPort port(ports, time);
  ASSERT_TRUE(port.Open(nullptr, 2, false));
  port.ChangeBaudrate(serial::B__9600);
  port.LoadLastV24Parameter();
  EXPECT_EQ(LineState().BaudRate, 9600u) << "nothing saved yet";
  port.SaveLastV24Parameter();
  port.ChangeV24Parameter(serial::B115200, serial::S_1, serial::Odd, false);
  port.LoadLastV24Parameter();
  EXPECT_EQ(LineState().BaudRate, 9600u);
  EXPECT_EQ(LineState().Parity, platform::NOPARITY);
  port.ChangeBaudrate(serial::B__1200);
  port.LoadLastV24Parameter();
  EXPECT_EQ(LineState().BaudRate, 9600u) << "the mark stays";

  // Copying one port's settings onto another.
  ports.AddLine(4);
  TComPort second(ports, time);
  ASSERT_TRUE(second.Open(nullptr, 3, false));
  second.SaveV24Parameter(port.LoadV24Parameter());
  second.SaveV24TimeOut(port.LoadV24TimeOut());
  EXPECT_EQ(ports.Line(4)->PortState(), LineState());
}

TEST_F(SerialSettings, DamagedFilesNeverBreakOpen) {
  Bytes file(48, 0);
  Put32(file, 0, 5);    // DatenBits
  Put32(file, 4, -3);   // Paritaet
  Put32(file, 8, 7);    // StopBits
  Put32(file, 12, 99);  // Baudrate
  Put32(file, 16, 12);  // Handshake
  Put32(file, 28, 2);   // COM3
  file[32] = 0xFF;      // not 0/1
  file[33] = 0x80;
  Put32(file, 36, -1000);  // RXNotification
  WriteFile(dir / "ComData.cfg", file);
  auto port = StreamingPort();
  ASSERT_TRUE(port->Open(nullptr, -1, false));
  EXPECT_EQ(LineState().BaudRate, 4800u);
  EXPECT_EQ(LineState().ByteSize, 8);
  EXPECT_EQ(LineState().Parity, platform::NOPARITY);
  EXPECT_EQ(LineState().StopBits, platform::ONESTOPBIT);
  EXPECT_EQ(LineState().fOutX, 0u);
  EXPECT_EQ(LineState().fNull, 1u);
  EXPECT_EQ(port->GetRXNotificationTime(), 0u);
  EXPECT_EQ(port->V24().Baudrate(), 99) << "the record itself is kept as read";
  EXPECT_EQ(port->Write("AB", 2, false), 2) << "no XOFF/XON framing for an unknown handshake";
  port->Close();

  // Random files: Open either works or fails cleanly.
  std::mt19937 rng(3);
  for (int i = 0; i < 200; ++i) {
    Bytes junk(rng() % 60);
    for (auto& b : junk) b = static_cast<uint8_t>(rng());
    if (junk.size() > 31) junk[28] = static_cast<uint8_t>(rng() % 4), junk[29] = junk[30] = junk[31] = 0;
    WriteFile(dir / "ComData.cfg", junk);
    auto p = StreamingPort();
    if (p->Open(nullptr, -1, false)) {
      EXPECT_LE(LineState().ByteSize, 8);
      EXPECT_LE(LineState().Parity, 4);
      p->Close();
    }
  }
}

}  // namespace
