// The window's receive path and what the state machine passes on.
#include "UpdateRunFixture.h"

namespace runtest {
namespace {

class UpdateRunLineTest : public UpdateRunTest {
 protected:
  void Send(uint32_t com, const std::string& bytes) {
    m_ports.Line(com)->Send(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    Run(200);
  }
};

TEST_F(UpdateRunLineTest, OnlyAFinalAcknowledgementFixesTheDevicePort) {
  Tap(1);
  Tap(2);
  update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
  Send(1, "A.1!x\r\n");
  EXPECT_EQ(form.Run().DevicePort, -1);
  EXPECT_EQ(form.Run().IdentStep, 0);
  Send(2, "A.1111!\r\n");
  EXPECT_EQ(form.Run().DevicePort, 1);
  EXPECT_EQ(form.Run().DeviceComIndex, 1);
  EXPECT_EQ(m_view.panels[1], "Com2");
  EXPECT_EQ(form.Run().IdentStep, 1) << "the acknowledgement drove the sequencer";
  EXPECT_EQ(form.FillPlaceholders("an COM X"), "an COM 2");
  // The other port's answers no longer count, nor reach the half lines.
  Send(1, "A.1111!\r\nI.2");
  EXPECT_EQ(form.Run().IdentStep, 1);
  EXPECT_EQ(form.Parser().AccumulatedCount(), 0u);
  EXPECT_FALSE(MemoContaining("bytes ignored").empty());
}

TEST_F(UpdateRunLineTest, AStraySerialNumberClosesNoPort) {
  Tap(1);
  Tap(2);
  update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
  Send(2, "I.25#123\r\n");
  EXPECT_EQ(form.Run().DevicePort, -1);
  EXPECT_EQ(form.Record().SerialNumber, "123");
  EXPECT_TRUE(m_ports.Line(1)->PortOpen());
  EXPECT_TRUE(m_ports.Line(2)->PortOpen());
  EXPECT_EQ(m_view.boxes.size(), 1u) << "the unknown instrument is refused";
}

TEST_F(UpdateRunLineTest, AFramingErrorOutsideARunChangesNothingButTheFlag) {
  LineTap& com1 = Tap(1);
  update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
  com1.SetFormat(
      platform::sim::LineFormat{1200, 8, platform::sim::Parity::None, platform::sim::StopBits::One});
  Send(1, std::string(1, '\0'));
  EXPECT_TRUE(form.Run().PortErrorSeen);
  EXPECT_EQ(form.Run().BaudIndex, -1);
  EXPECT_EQ(m_view.panels[2], "");
}

TEST_F(UpdateRunLineTest, PortIndexOfFollowsTheComNumbers) {
  Tap(2);
  Tap(5);
  update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
  EXPECT_EQ(form.PortIndexOf(5), 1);
  EXPECT_EQ(form.PortIndexOf(2), 0);
  EXPECT_EQ(form.PortIndexOf(3), -1);
  form.ParseReceived(3);  // no such port: nothing happens
  form.FormClose();
  form.ParseReceived(5);  // a closed port reads nothing
  EXPECT_EQ(form.Parser().AccumulatedCount(), 0u);
}

TEST_F(UpdateRunLineTest, WhatTheStateMachineDoesNotActOnPassesUnchanged) {
  Tap(1);
  update::TUpdateForm& form = Start("Language=0\r\n", {PhMeterEntry()});
  PressOk();
  ASSERT_GT(form.Run().RunSlot, 0);
  const int other = form.Run().RunSlot == 1 ? 2 : 1;
  for (core::Event event : {core::Event{core::kTimerEvent, 0, other, {}},
                            core::Event{core::kCodeEvent, 0, core::codes::kAnswerLine, {}},
                            core::Event{core::kCodeEvent, 0, core::codes::kRejected, {}},
                            core::Event{core::kCodeEvent, 0, 4711, {}},
                            core::Event{core::kKeyEvent, 0, core::keys::kEscape, {}}}) {
    EXPECT_EQ(form.UpdateStateMachine(form.Queue(), event), event) << event.kind << " " << event.code;
  }
  const core::Event mine{core::kTimerEvent, 0, form.Run().RunSlot, {}};
  EXPECT_EQ(form.UpdateStateMachine(form.Queue(), mine), core::ClearEvent());
  EXPECT_EQ(form.Run().BaudIndex, 1) << "the run slot's expiry tried the next rate";
}

}  // namespace
}  // namespace runtest
