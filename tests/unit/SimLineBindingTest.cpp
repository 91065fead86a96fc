#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "SimModelDriver.h"
#include "sim/line/SimLineBinding.h"

namespace {

using platform::sim::ReceivedCharacter;
using platform::sim::VirtualTime;
using simtest::ParseProfile;

// A line end that records what the binding does with it.
class RecordingLine final : public platform::sim::SimLineFarEnd {
 public:
  struct Sent {
    std::string bytes;
    uint64_t atMicros;
    uint64_t delayMicros;
  };
  explicit RecordingLine(VirtualTime& time) : m_time(time) {}
  void Attach(platform::sim::SimLinePeer* peer) override { peer_ = peer; }
  void Send(const uint8_t* bytes, size_t count, uint64_t delayMicros) override {
    sent.push_back(Sent{std::string(bytes, bytes + count), m_time.NowMicros(), delayMicros});
  }
  void Disconnect() override { ++disconnects; }
  void Type(const std::string& text, bool framingError = false) {
    for (unsigned char c : text) {
      m_time.Sleep(1);
      peer_->OnCharacter(ReceivedCharacter{c, framingError, false});
    }
  }

  platform::sim::SimLinePeer* peer_ = nullptr;
  std::vector<Sent> sent;
  int disconnects = 0;

 private:
  VirtualTime& m_time;
};

const char* kMeter =
    "name = m\nline = 9600 8N1\npcb = P\ndevice = D\nversion = 1.00\nserial = S\nreply-delay-ms = 15\n";

TEST(SimLineBinding, AnswersThroughTheLineWithItsDelays) {
  VirtualTime time;
  RecordingLine line(time);
  const auto registry = sim::ModelRegistry::WithBuiltins();
  sim::Instrument meter(ParseProfile(kMeter), registry);
  {
    sim::SimLineBinding binding(meter, line, time);
    ASSERT_EQ(line.peer_, &binding);
    EXPECT_EQ(binding.Format(), simtest::Fmt(9600));
    line.Type("A.1111\r\n");
    ASSERT_EQ(line.sent.size(), 1u);
    EXPECT_EQ(line.sent[0].bytes, "A.1111!\r\n");
    EXPECT_EQ(line.sent[0].delayMicros, 15'000u);
    EXPECT_EQ(line.sent[0].atMicros, 8'000u);  // at the line feed
    // Characters the UART flagged are noise: this command is lost, and the
    // next line end starts clean.
    line.Type("A.2000\r\n", true);
    line.Type("\r\nA.2000\r\n");
    ASSERT_EQ(line.sent.size(), 2u);
    EXPECT_EQ(line.sent[1].bytes, "I.20#D\r\n");
    // Opening the port again drops a half-received command.
    line.Type("A.20");
    binding.OnPortOpen(true);
    line.Type("03\r\n");
    EXPECT_EQ(line.sent.size(), 2u);
  }
  EXPECT_EQ(line.peer_, nullptr);
}

TEST(SimLineBinding, DropsTheLineWhenTheInstrumentHangsUp) {
  VirtualTime time;
  RecordingLine line(time);
  const auto registry = sim::ModelRegistry::WithBuiltins();
  sim::Instrument meter(ParseProfile(std::string(kMeter) + "drop-at = 2001\n"), registry);
  sim::SimLineBinding binding(meter, line, time);
  line.Type("A.2001\r\nA.1000\r\n");
  EXPECT_EQ(line.disconnects, 1);
  EXPECT_TRUE(binding.HungUp());
  EXPECT_TRUE(line.sent.empty());  // nothing after the hang-up either
  ASSERT_EQ(binding.Notes().size(), 1u);
  EXPECT_EQ(binding.Notes()[0], "8 ms: fault: line dropped at A.2001");
}

// A model that wants the clock: it answers each character 50 ms later.
class LateEcho final : public sim::InstrumentModel {
 public:
  std::string_view Name() const override { return "late"; }
  platform::sim::LineFormat Format() const override { return simtest::Fmt(9600); }
  void Receive(const sim::ModelInput& in, uint64_t now) override {
    m_due = now + 50'000;
    m_byte = in.byte;
  }
  std::optional<uint64_t> NextTick() const override { return m_due; }
  void Tick(uint64_t now) override {
    if (!m_due || now < *m_due) return;
    m_due.reset();
    Emit(std::vector<uint8_t>{m_byte}, 0);
  }

 private:
  std::optional<uint64_t> m_due;
  uint8_t m_byte = 0;
};

TEST(SimLineBinding, TicksTheModelWhenItAsks) {
  VirtualTime time;
  RecordingLine line(time);
  auto registry = sim::ModelRegistry::WithBuiltins();
  registry.Register(sim::ModelRegistry::kAscii, [](sim::ModelContext&) { return std::make_unique<LateEcho>(); });
  sim::Instrument meter(ParseProfile(kMeter), registry);
  sim::SimLineBinding binding(meter, line, time);
  line.Type("a");  // at 1 ms
  line.Type("b");  // at 2 ms: the tick moves to 52 ms
  time.RunFor(100);
  ASSERT_EQ(line.sent.size(), 1u);
  EXPECT_EQ(line.sent[0].bytes, "b");
  EXPECT_EQ(line.sent[0].atMicros, 52'000u);
  EXPECT_EQ(time.ScheduledActions(), 0u);
}

}  // namespace
