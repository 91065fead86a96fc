// Frames, checksums and receive scans of both MSP430 loaders. Known answers
// are the loader documents' values, written out.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "programmers/BslFrames.h"
#include "programmers/LoaderStateRecord.h"
#include "programmers/LoaderSteps.h"

namespace {

using programmers::Bsl5xxCrc;
using programmers::Bsl5xxFrame;
using programmers::BslReceipt;
using programmers::RomBslChecksum;
using programmers::RomBslCode;
using programmers::RomBslFrame;
using programmers::ScanBsl5xx;
using programmers::ScanRomBsl;
using Bytes = std::vector<uint8_t>;

TEST(RomBslFrame, ChecksumsOfTheKnownFrames) {
  const Bytes massErase{0x80, 0x18, 0x04, 0x04, 0x00, 0x00, 0x06, 0xA5};
  EXPECT_EQ(RomBslChecksum(massErase.data(), massErase.size()), 0x467D);  // 7D 46
  const Bytes other{0x80, 0x18, 0x04, 0x04, 0x10, 0x10, 0x06, 0xA5};
  EXPECT_EQ(RomBslChecksum(other.data(), other.size()), 0x566D);  // 6D 56

  EXPECT_EQ(RomBslFrame(RomBslCode::kMassErase, {0x00, 0x00, 0x06, 0xA5}),
            (Bytes{0x80, 0x18, 0x04, 0x04, 0x00, 0x00, 0x06, 0xA5, 0x7D, 0x46}));
  // Baud-rate changes to 38400 for the F2xx and the F4xx.
  EXPECT_EQ(RomBslFrame(RomBslCode::kChangeBaudRate, {0x80, 0x8C, 0x02, 0x00}),
            (Bytes{0x80, 0x20, 0x04, 0x04, 0x80, 0x8C, 0x02, 0x00, 0xF9, 0x57}));
  EXPECT_EQ(RomBslFrame(RomBslCode::kChangeBaudRate, {0x00, 0xC8, 0x02, 0x00}),
            (Bytes{0x80, 0x20, 0x04, 0x04, 0x00, 0xC8, 0x02, 0x00, 0x79, 0x13}));
}

TEST(Bsl5xxFrame, CrcAndFramesOfTheKnownCommands) {
  const std::string check = "123456789";
  EXPECT_EQ(Bsl5xxCrc(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x29B1);
  EXPECT_EQ(Bsl5xxCrc(nullptr, 0), 0xFFFF);
  const Bytes baud{0x52, 0x02}, data{0x3A, 0x04, 0x01}, one{0x1A};
  EXPECT_EQ(Bsl5xxCrc(baud.data(), baud.size()), 0x5590);
  EXPECT_EQ(Bsl5xxCrc(data.data(), data.size()), 0x121D);
  EXPECT_EQ(Bsl5xxCrc(one.data(), one.size()), 0x528B);

  EXPECT_EQ(Bsl5xxFrame({0x15}), (Bytes{0x80, 0x01, 0x00, 0x15, 0x64, 0xA3}));
  EXPECT_EQ(Bsl5xxFrame({0x52, 0x02}), (Bytes{0x80, 0x02, 0x00, 0x52, 0x02, 0x90, 0x55}));
  const Bytes version = Bsl5xxFrame({0x19});
  ASSERT_EQ(version.size(), 6u);
  EXPECT_EQ(Bytes(version.begin(), version.begin() + 4), (Bytes{0x80, 0x01, 0x00, 0x19}));
}

std::vector<BslReceipt::Kind> Kinds(const std::vector<BslReceipt>& receipts) {
  std::vector<BslReceipt::Kind> kinds;
  for (const auto& r : receipts) kinds.push_back(r.kind);
  return kinds;
}

TEST(RomBslScan, AcknowledgementsNaksAndFrames) {
  using K = BslReceipt::Kind;
  // A NAK after the ACK in the same read is dropped; noise is consumed.
  Bytes buffer{0x12, 0x90, 0xA0, 0x33};
  EXPECT_EQ(Kinds(ScanRomBsl(buffer)), (std::vector<K>{K::Ack}));
  EXPECT_TRUE(buffer.empty());
  // A NAK before the ACK counts as well, after it.
  buffer = {0x70, 0x90};
  EXPECT_EQ(Kinds(ScanRomBsl(buffer)), (std::vector<K>{K::Ack, K::Nak}));
  buffer = {0xA0};
  EXPECT_EQ(Kinds(ScanRomBsl(buffer)), (std::vector<K>{K::Nak}));

  // A data frame comes whole or waits; its checksum decides.
  // CKL = ~(80 ^ 02 ^ F2) = 8F, CKH = ~(00 ^ 02 ^ 6F) = 92.
  const Bytes frame{0x80, 0x00, 0x02, 0x02, 0xF2, 0x6F, 0x8F, 0x92};
  buffer = Bytes(frame.begin(), frame.begin() + 5);
  EXPECT_TRUE(ScanRomBsl(buffer).empty());
  EXPECT_EQ(buffer.size(), 5u);
  buffer.insert(buffer.end(), frame.begin() + 5, frame.end());
  const auto receipts = ScanRomBsl(buffer);
  ASSERT_EQ(Kinds(receipts), (std::vector<K>{K::Frame}));
  EXPECT_EQ(receipts[0].frame, frame);
  Bytes bad = frame;
  bad.back() ^= 1;
  EXPECT_EQ(Kinds(ScanRomBsl(bad)), (std::vector<K>{K::BadFrame}));
}

TEST(Bsl5xxScan, AckThenMessageAndHeaderErrors) {
  using K = BslReceipt::Kind;
  // The mass-erase answer: ACK, then the message frame with status 0.
  Bytes buffer{0x00, 0x80, 0x02, 0x00, 0x3B, 0x00, 0x60, 0xC4};
  const auto receipts = ScanBsl5xx(buffer);
  ASSERT_EQ(Kinds(receipts), (std::vector<K>{K::Ack, K::Frame}));
  EXPECT_EQ(receipts[1].frame[3], 0x3B);
  EXPECT_EQ(receipts[1].frame[4], 0x00);
  EXPECT_TRUE(buffer.empty());
  // 0x51 (header error) before any frame is a NAK.
  buffer = {0x51};
  EXPECT_EQ(Kinds(ScanBsl5xx(buffer)), (std::vector<K>{K::Nak}));
  // A wrong CRC drops the frame.
  buffer = {0x80, 0x02, 0x00, 0x3B, 0x05, 0x00, 0x00};
  EXPECT_EQ(Kinds(ScanBsl5xx(buffer)), (std::vector<K>{K::BadFrame}));
  // Half a frame waits for the rest.
  buffer = {0x00, 0x80, 0x02, 0x00, 0x3B};
  EXPECT_EQ(Kinds(ScanBsl5xx(buffer)), (std::vector<K>{K::Ack}));
  EXPECT_EQ(buffer.size(), 4u);
}

// What the record makes of the loaders' acknowledgements.
TEST(LoaderStateRecord, FollowsTheVectorTableThroughEraseAndWrites) {
  programmers::LoaderStateRecord r;
  const std::vector<uint8_t> data(40, 0x12);
  r.Written(0xFFE0, data.data(), 32);  // unknown before: stays unknown
  EXPECT_FALSE(r.tableKnown);

  r.SegmentErased(0xFC00);   // below the vector segment
  r.SegmentErased(0x1FE00);  // the 5xx upper segment of the same low address
  EXPECT_FALSE(r.tableKnown);
  r.SegmentErased(0xFFFF);
  EXPECT_TRUE(r.TableErased());

  // A block that ends inside the table, one that starts in it: only the
  // cells of the table change, and only towards zero bits.
  const std::vector<uint8_t> low{0xAA, 0xBB, 0xCC, 0xDD};
  r.Written(0xFFDE, low.data(), low.size());
  const std::vector<uint8_t> high{0x0F, 0xF0};
  r.Written(0xFFFE, high.data(), high.size());
  r.Written(0xFFFE, low.data(), 2);
  EXPECT_EQ(r.vectorTable[0], 0xCC);
  EXPECT_EQ(r.vectorTable[1], 0xDD);
  EXPECT_EQ(r.vectorTable[2], 0xFF);
  EXPECT_EQ(r.vectorTable[30], 0x0A);
  EXPECT_EQ(r.vectorTable[31], 0xB0);
  EXPECT_FALSE(r.TableErased());

  std::vector<uint8_t> password(32, 0xFF);
  password[30] = 0x00;
  password[31] = 0xC0;
  r.Accepted(password.data());
  EXPECT_TRUE(std::equal(password.begin(), password.end(), r.vectorTable.begin()));
  r.AllErased();
  EXPECT_TRUE(r.TableErased());
}

// The step mechanism: what a row leaves out stays armed, and the retry
// history of the last refused steps, never cleared, decides when a run ends.
struct StepOwner {
  std::vector<char> ran;
  void A() { ran.push_back('a'); }
  void B() { ran.push_back('b'); }
  void Frame(const std::vector<uint8_t>&) { ran.push_back('f'); }
};
using Steps = programmers::LoaderSteps<StepOwner>;
using Retry = Steps::Retry::Kind;

TEST(LoaderSteps, RowsArmTheReactionsTheyNameAndTheHistoryEndsTheRun) {
  StepOwner owner;
  int32_t errorStep = 0;
  Steps rom(owner, 3, Steps::TimeOut::kAckStep, errorStep);
  EXPECT_EQ(rom.Refused().kind, Retry::kNothing);  // nothing armed yet
  rom.Arm(Steps::Step("first", 4).OnAck(&StepOwner::B).OnNak(&StepOwner::A).OnAnswer(&StepOwner::Frame));
  rom.Arm(Steps::Step("second", Steps::kKeepErrorStep).OnAnswer(nullptr));
  EXPECT_EQ(errorStep, 4);
  rom.Ack();
  rom.Answer({});
  EXPECT_EQ(owner.ran, (std::vector<char>{'b'}));

  // A time-out retries what the ACK would start, counted on the refused step.
  const auto timedOut = rom.TimedOut();
  EXPECT_EQ(timedOut.kind, Retry::kAgain);
  EXPECT_EQ(timedOut.step, &StepOwner::B);
  EXPECT_EQ(rom.Refused().step, &StepOwner::A);
  EXPECT_EQ(rom.Refused().kind, Retry::kAgain);
  EXPECT_EQ(rom.Refused().kind, Retry::kExhausted);  // the fourth refusal in a row

  // Another step refused in between leaves the rest of the history: the
  // step it displaced gets one retry more, not three.
  Steps again(owner, 3, Steps::TimeOut::kAckStep, errorStep);
  const auto refuse = [&](void (StepOwner::*step)()) {
    again.Arm(Steps::Step().OnNak(step));
    return again.Refused().kind;
  };
  for (int i = 0; i < 3; ++i) EXPECT_EQ(refuse(&StepOwner::A), Retry::kAgain);
  EXPECT_EQ(refuse(&StepOwner::B), Retry::kAgain);
  EXPECT_EQ(refuse(&StepOwner::A), Retry::kAgain);
  EXPECT_EQ(refuse(&StepOwner::A), Retry::kExhausted);

  // Two retries, time-outs as refusals: a step is sent three times at most.
  Steps packets(owner, 2, Steps::TimeOut::kAsRefusal, errorStep);
  packets.Arm(Steps::Step().OnAck(&StepOwner::B).OnNak(&StepOwner::A));
  EXPECT_EQ(packets.TimedOut().step, &StepOwner::A);
  EXPECT_EQ(packets.Refused().kind, Retry::kAgain);
  EXPECT_EQ(packets.TimedOut().kind, Retry::kExhausted);

  // Without retries a time-out ends the run; a "?" runs the question step.
  Steps lines(owner, 0, Steps::TimeOut::kFails, errorStep);
  lines.Arm(Steps::Step("A.9000\r\n", 0).OnAck(&StepOwner::A).OnQuestion(&StepOwner::B));
  EXPECT_EQ(lines.TimedOut().kind, Retry::kExhausted);
  owner.ran.clear();
  lines.Question();
  lines.Ack();
  EXPECT_EQ(owner.ran, (std::vector<char>{'b', 'a'}));
}

}  // namespace
