// The window's ports in virtual time: which ports are opened, what status
// panel 0 says, how settings are shared, data notifications, and closing.
#include <gtest/gtest.h>

#include "UpdateFormRig.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortSystem.h"
#include "update/TUpdateForm.h"

namespace {

using testing_support::MakeEnvironment;
using testing_support::RecordingView;
using testing_support::TempFolder;
using update::TUpdateForm;

// The far end of a line: sends what it is told at 4800 8N1, records bytes.
struct FarEnd : platform::sim::SimLinePeer {
  platform::sim::LineFormat Format() const override {
    return {4800, 8, platform::sim::Parity::None, platform::sim::StopBits::One};
  }
  void OnCharacter(const platform::sim::ReceivedCharacter& c) override {
    received.push_back(static_cast<char>(c.byte));
  }
  std::string received;
};

// The last handler of the chain: records the data notifications.
struct DataEvents {
  std::vector<int32_t> coms;
  core::Event Handle(core::EventQueue&, core::Event event) {
    if (event.kind == core::kCodeEvent && event.code == core::codes::kDataArrived) {
      coms.push_back(event.text.Number());
      return core::ClearEvent();
    }
    return event;
  }
};

class UpdatePortsTest : public ::testing::Test {
 protected:
  TUpdateForm& Start(const std::string& updateIni) {
    m_rig.Package(updateIni);
    EXPECT_TRUE(m_rig.Start());
    return *m_rig.form;
  }

  FarEnd m_far;  // outlives the ports, which tell it when they close
  testing_support::UpdateFormRig m_rig;
  TempFolder& m_folder = m_rig.folder;
  platform::sim::SimHost& m_host = m_rig.host;
  platform::sim::SimPortSystem& m_ports = m_rig.ports;
  RecordingView& m_view = m_rig.view;
};

TEST_F(UpdatePortsTest, EveryUsablePortIsOpenedWithTheFirstPortsSettings) {
  for (uint32_t com : {1u, 3u, 4u, 7u}) m_ports.AddLine(com);
  m_ports.SetHeldElsewhere(7, true);
  TUpdateForm& form = Start("Language=0\r\n");
  EXPECT_EQ(form.ComNumbers(), (std::vector<int>{1, 3, 4})) << "a port another program holds is not usable";
  EXPECT_EQ(form.PortsInUse(), 3);
  EXPECT_EQ(m_view.panels[0], "[Com1] [3] [4]");
  ASSERT_EQ(form.PortTableSize(), 3);
  EXPECT_EQ(form.Port(0), &form.UpdateCom());
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(form.Port(i)->IsOpen()) << i;
    EXPECT_EQ(form.Port(i)->ComNumber(), static_cast<uint32_t>(form.ComNumbers()[static_cast<size_t>(i)]));
  }
  // 4800 baud, 8 data bits, 2 stop bits, no parity, on every port.
  for (uint32_t com : {1u, 3u, 4u}) {
    const platform::DCB& dcb = m_ports.Line(com)->PortState();
    EXPECT_EQ(dcb.BaudRate, 4800u) << com;
    EXPECT_EQ(dcb.ByteSize, 8) << com;
    EXPECT_EQ(dcb.StopBits, 2) << com;
    EXPECT_EQ(dcb.Parity, 0) << com;
  }
  EXPECT_TRUE(m_view.boxes.empty());
  const serial::COMMTIMEOUTS first = form.Port(0)->LoadV24TimeOut();
  const serial::COMMTIMEOUTS third = form.Port(2)->LoadV24TimeOut();
  EXPECT_EQ(third.WriteTotalTimeoutConstant, 10000u);
  EXPECT_EQ(third.WriteTotalTimeoutConstant, first.WriteTotalTimeoutConstant);
  EXPECT_EQ(third.ReadTotalTimeoutMultiplier, first.ReadTotalTimeoutMultiplier);
}

TEST_F(UpdatePortsTest, AFixedPortIsTheOnlyOneOpened) {
  for (uint32_t com = 1; com <= 4; ++com) m_ports.AddLine(com);
  TUpdateForm& form = Start("Language=0\r\nCom=1\r\n");
  EXPECT_EQ(m_view.panels[0], "Com1");
  EXPECT_EQ(form.PortsInUse(), 1);
  EXPECT_EQ(form.PortTableSize(), 1);
  EXPECT_EQ(form.ComNumbers(), (std::vector<int>{1, 2, 3, 4})) << "the list still names every usable port";
  EXPECT_TRUE(m_ports.Line(1)->PortOpen());
  for (uint32_t com = 2; com <= 4; ++com) EXPECT_FALSE(m_ports.Line(com)->PortOpen()) << com;
}

TEST_F(UpdatePortsTest, APortThatCannotBeOpenedIsReportedAndStaysClosed) {
  m_ports.AddLine(1);
  TUpdateForm& form = Start("Language=0\r\nCom=3\r\n");
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text.rfind("COM3 konnte nicht ge\xF6"
                                       "ffnet werden!",
                                       0),
            0u)
      << m_view.boxes[0].text;
  EXPECT_EQ(m_view.boxes[0].icon, update::MessageIcon::Error);
  EXPECT_EQ(m_view.panels[0], "Com3");
  ASSERT_EQ(form.PortTableSize(), 1);
  EXPECT_FALSE(form.Port(0)->IsOpen());
  EXPECT_EQ(form.Port(0)->Write("A.1111\r\n", -1, false), -10);
}

TEST_F(UpdatePortsTest, WithoutAnyUsablePortTheUserLearnsWhy) {
  m_ports.AddLine(2);
  m_ports.SetNoPermission(2, true);
  TUpdateForm& form = Start("Language=1\r\n");
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_NE(m_view.boxes[0].text.find("Cannot open COM2"), std::string::npos) << m_view.boxes[0].text;
  EXPECT_NE(m_view.boxes[0].text.find("dialout"), std::string::npos);
  EXPECT_EQ(m_view.boxes[0].caption, "Error");
  EXPECT_EQ(m_view.panels[0], "[Com -]");
  EXPECT_EQ(form.PortsInUse(), 0);
}

TEST_F(UpdatePortsTest, DataArrivingOnAPortBecomesCodeEvent10000WithItsComNumber) {
  m_ports.AddLine(2);
  m_ports.AddLine(5);
  TUpdateForm& form = Start("Language=0\r\n");
  DataEvents events;
  form.Queue().Subscribe(core::MakeHandler<&DataEvents::Handle>(&events));
  FarEnd& far = m_far;
  m_ports.Line(5)->Attach(&far);
  const uint8_t answer[] = {'A', '.', '1', '!', '\r', '\n'};
  m_ports.Line(5)->Send(answer, sizeof answer);
  m_host.Time().RunFor(200);
  ASSERT_EQ(events.coms, std::vector<int32_t>{5});
  uint8_t buffer[16] = {};
  EXPECT_EQ(form.Port(1)->Read(buffer, 15), 6);

  form.Port(1)->Write("A.1000\r\n", -1, false);
  m_host.Time().RunFor(100);
  EXPECT_EQ(far.received, "A.1000\r\n") << "the window's ports write at 4800 baud";
}

TEST_F(UpdatePortsTest, ClosingShowsTheStopPanelAndClosesEveryPort) {
  for (uint32_t com : {1u, 2u, 3u}) m_ports.AddLine(com);
  TUpdateForm& form = Start("Language=0\r\n");
  form.FormClose();
  EXPECT_TRUE(m_view.Visible(update::Control::StopPanel));
  ASSERT_FALSE(m_view.repaints.empty());
  EXPECT_EQ(m_view.repaints.back(), update::Control::StopPanel);
  for (uint32_t com : {1u, 2u, 3u}) EXPECT_FALSE(m_ports.Line(com)->PortOpen()) << com;
  for (int i = 0; i < form.PortTableSize(); ++i) EXPECT_EQ(form.Port(i), nullptr);
}

// Counts the probes that reach the machine's ports.
struct CountingPorts final : platform::PortSystem {
  explicit CountingPorts(platform::PortSystem& real) : ports(real) {}
  platform::PortStatus Probe(uint32_t com) override {
    ++probes;
    return ports.Probe(com);
  }
  platform::PortOpenResult Open(uint32_t com) override { return ports.Open(com); }
  platform::PortSystem& ports;
  int probes = 0;
};

TEST_F(UpdatePortsTest, FurtherPortsDoNotScanTheMachineAgainAtStart) {
  for (uint32_t com = 1; com <= 10; ++com) m_ports.AddLine(com);
  m_folder.Write("Update.ini", "Language=0\r\n");
  m_folder.Write("ProgDevice.ini", "");
  CountingPorts counting(m_ports);
  TUpdateForm form(m_host, counting, m_view, MakeEnvironment(m_folder.Path()));
  ASSERT_TRUE(form.FormCreate());
  EXPECT_EQ(form.PortsInUse(), 10);
  EXPECT_EQ(counting.probes, 2 * 256) << "UpdateCom's own enumeration and the window's";
  EXPECT_EQ(form.Port(9)->GetMaxV24Useable(), 10) << "the further ports know the same ports";
  form.Port(9)->Check_AllV24();
  EXPECT_EQ(counting.probes, 3 * 256) << "after the start, enumerations look at the machine again";
  EXPECT_EQ(form.Port(9)->GetMaxV24Useable(), 0) << "all ten are held by the window now";
}

}  // namespace
