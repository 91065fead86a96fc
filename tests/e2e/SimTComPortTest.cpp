// instrument-sim on pseudo-terminals, reached through the serial component
// with its real threads, as the tool reaches an instrument: all ports of the
// folder, a search at two rates, and the identification exchange.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "SimProcess.h"
#include "platform/posix/PosixPortSystem.h"
#include "serial/TComPort.h"
#include "serial/ThreadPump.h"

namespace {

using namespace std::chrono_literals;
using platform::posix::ComMap;
using platform::posix::PosixPortSystem;
using serial::TComPort;
using simtest::ReadText;
using simtest::SimProcess;
using simtest::TempDir;

class SimThroughTComPort : public ::testing::Test, public serial::V24Listener {
 protected:
  TempDir dir;
  serialtest::ThreadPump pump;
  std::map<uint32_t, std::string> received;  // per COM number, owner's thread only
  std::map<uint32_t, TComPort*> byCom;

  void OnV24Message(uint32_t message, uint32_t com) override {
    if (message != serial::WM_V24_RX || !byCom.contains(com)) return;
    // As the tool does: one read of up to 250 bytes per notification.
    uint8_t buffer[251];
    const int32_t n = byCom[com]->Read(buffer, 250);
    if (n > 0) received[com].append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
  }
  // Pumps until COMn has received `text` (then forgets it) or 3 s have passed.
  std::string Expect(uint32_t com, const std::string& text) {
    pump.PumpUntil([&] { return received[com].size() >= text.size(); }, 3000ms);
    return std::exchange(received[com], {});
  }
  void Write(TComPort& port, const std::string& text) {
    EXPECT_EQ(port.Write(text.c_str(), -1, false), static_cast<int32_t>(text.size()));
  }
};

TEST_F(SimThroughTComPort, ScriptedSearchAndIdentification) {
  SimProcess sim({"--ports", dir / "ports", "--dump", dir / "dump.txt", "--com", "2", "--profile", "ph-meter",
                  "--com", "3", "--profile", "none", "--com", "5", "--profile", "lab-meter"},
                 {dir / "ports/COM2", dir / "ports/COM3", dir / "ports/COM5"});
  PosixPortSystem ports{ComMap::Folder(dir / "ports")};

  std::vector<std::unique_ptr<TComPort>> open;
  {
    TComPort probe(ports, pump);
    ASSERT_EQ(probe.GetMaxV24Useable(), 3);
    for (int32_t i = 0; i < 3; ++i) {
      auto port = std::make_unique<TComPort>(ports, pump);
      serial::V24ParameterTag* r = port->GetV24Parameter();
      r->DatenBits = serial::D_8;
      r->StopBits = serial::S_2;
      r->Baudrate = serial::B__4800;
      r->RXTimeOutproChar = 1;
      r->TXTimeOut = 10000;
      r->TXTimeOutproChar = 1;
      r->KeinNullZeichen = 1;
      ASSERT_TRUE(port->Open(this, probe.Get_UseableV24(i), true)) << port->LastOpenError();
      byCom[port->ComNumber()] = port.get();
      open.push_back(std::move(port));
    }
  }
  ASSERT_TRUE(byCom.contains(2) && byCom.contains(3) && byCom.contains(5));

  // The search at 4800: only the pH meter answers.
  for (auto& port : open) Write(*port, "\r\n\r\n");
  for (auto& port : open) Write(*port, "A.1111\r\n");
  EXPECT_EQ(Expect(2, "A.1111!\r\n"), "A.1111!\r\n");
  pump.PumpFor(300ms);
  EXPECT_EQ(received[3], "");
  EXPECT_EQ(received[5], "");

  // The identification on the port that answered.
  TComPort& meter = *byCom[2];
  const std::pair<const char*, const char*> exchange[] = {
      {"A.1000\r\n", "A.1000!\r\n"},        {"A.2003\r\n", "I.23#22074.001\r\n"},
      {"A.2000\r\n", "I.20#23010.000\r\n"}, {"A.2001\r\n", "I.21#1.23\r\n"},
      {"A.4001\r\n", "I.25#11110001\r\n"},  {"A.1111\r\n", "A.1111!\r\n"}};
  for (const auto& [command, answer] : exchange) {
    Write(meter, command);
    EXPECT_EQ(Expect(2, answer), answer) << command;
  }

  // At 9600 the lab meter answers and the pH meter hears noise.
  for (auto& port : open) port->ChangeBaudrate(serial::B__9600);
  for (auto& port : open) Write(*port, "\r\n\r\nA.1111\r\n");
  EXPECT_EQ(Expect(5, "A.1111!\r\n"), "A.1111!\r\n");
  pump.PumpFor(300ms);
  EXPECT_EQ(received[2], "");

  for (auto& port : open) port->Close();
  byCom.clear();
  EXPECT_EQ(sim.Stop(), 0);
  const std::string dump = ReadText(dir / "dump.txt");
  EXPECT_NE(dump.find("== COM2 ==\ninstrument ph-meter\n[ascii]\ncommands received: 7\n"), std::string::npos)
      << dump;
}

}  // namespace
