#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/EventCodes.h"
#include "core/EventQueue.h"
#include "update/protocol/LineParser.h"

namespace {

using update::LineParser;
namespace codes = core::codes;

// What the parser posted, with the text or value each Event carried at the
// moment it was fetched (as a handler would see it).
struct Posted {
  int32_t code;
  std::string text;  // "<null>" for no text, "<n>" for a number
  float value = 0;
  bool isValue = false;
  bool operator==(const Posted& o) const {
    return code == o.code && text == o.text && isValue == o.isValue && (!isValue || value == o.value);
  }
};

std::ostream& operator<<(std::ostream& os, const Posted& p) {
  return os << "{" << p.code << ", \"" << p.text << "\"" << (p.isValue ? ", value " + std::to_string(p.value) : "")
            << "}";
}

Posted Text(int32_t code, std::string text) { return {code, std::move(text)}; }
Posted Null(int32_t code) { return {code, "<null>"}; }
Posted Value(int32_t code, float v) { return {code, "", v, true}; }
Posted Number(int32_t code, int32_t n) { return {code, "<" + std::to_string(n) + ">"}; }

class LineParserTest : public ::testing::Test {
 protected:
  core::EventQueue queue;
  LineParser parser;
  std::vector<std::string> log;

  LineParser::Result Feed(const std::string& bytes) {
    return parser.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), queue,
                       [this](const std::string& line) { log.push_back(line); });
  }
  std::vector<Posted> Drain() {
    std::vector<Posted> out;
    for (core::Event e = queue.FetchEvent(); e.kind != 0; e = queue.FetchEvent()) {
      EXPECT_EQ(e.kind, core::kCodeEvent);
      switch (e.text.kind()) {
        case core::EventText::Kind::None: out.push_back(Null(e.code)); break;
        case core::EventText::Kind::Text: out.push_back(Text(e.code, e.text.Text())); break;
        case core::EventText::Kind::Number: out.push_back(Number(e.code, e.text.Number())); break;
        case core::EventText::Kind::FloatRef: out.push_back(Value(e.code, *e.text.Float())); break;
      }
    }
    return out;
  }
};

TEST_F(LineParserTest, ALineSplitOverTwoNotificationsGivesOneEvent) {
  Feed("I.2");
  EXPECT_TRUE(Drain().empty());
  Feed("0#ABC\r\n");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(20, "ABC")}));
  EXPECT_EQ(log, (std::vector<std::string>{"I.20#ABC <-"}));
  EXPECT_EQ(parser.AccumulatedCount(), 0u);
}

TEST_F(LineParserTest, AcknowledgementRejectionAndAnswerLineInTheirOrder) {
  EXPECT_TRUE(Feed("A.1000!\r\n").acknowledged);
  EXPECT_EQ(Drain(), (std::vector<Posted>{Null(codes::kAcknowledged), Null(codes::kAnswerLine)}));
  EXPECT_FALSE(Feed("A.1234?\r\n").acknowledged);
  EXPECT_EQ(Drain(), (std::vector<Posted>{Null(codes::kAnswerLine), Null(codes::kRejected)}));
  // "!" or "?" count only as the last character.
  EXPECT_FALSE(Feed("A.10!00\r\nC.5?x\r\n").acknowledged);
  EXPECT_EQ(Drain(), (std::vector<Posted>{Null(codes::kAnswerLine), Null(codes::kAnswerLine)}));
  // A bare "!" line acknowledges without a class.
  EXPECT_TRUE(Feed("!\r\n").acknowledged);
  EXPECT_EQ(Drain(), (std::vector<Posted>{Null(codes::kAcknowledged)}));
}

TEST_F(LineParserTest, ParameterTextAfterTheHash) {
  Feed("I.25#\r\nI.25\r\nB.208#X2\r\nI.23#23774 A\r\n");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(25, ""), Text(25, ""), Text(208, "X2"), Text(23, "23774 A")}));
}

TEST_F(LineParserTest, DollarValueGivesASecondEventWithTheValue) {
  Feed("I.920$1013.5\r\n");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(920, ""), Value(920, 1013.5f)}));
  EXPECT_EQ(parser.LastAnswerNumber(), 920);
  EXPECT_FLOAT_EQ(parser.LastAnswerValue(), 1013.5f);
  Feed("A.1131$ -12.25!\r\n");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Value(1131, -12.25f), Null(codes::kAcknowledged),
                                          Null(codes::kAnswerLine)}));
}

TEST_F(LineParserTest, EveryEventOfAChunkKeepsItsOwnTextAndValue) {
  // All of these are dispatched after the whole chunk has been parsed.
  Feed("I.2003#23774\r\nI.2000#21130\r\nI.920$1.5\r\nI.921$2.5\r\n");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(2003, "23774"), Text(2000, "21130"), Text(920, ""), Value(920, 1.5f),
                                          Text(921, ""), Value(921, 2.5f)}));
}

TEST_F(LineParserTest, NulArrivesAsABlankAndUnclassifiedLinesAreOnlyLogged) {
  static const char kBytes[] = "I.21#1.2\0""3\r\nhello\r\n";
  Feed(std::string(kBytes, sizeof kBytes - 1));
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(21, "1.2 3")}));
  EXPECT_EQ(log, (std::vector<std::string>{"I.21#1.2 3 <-", "hello <-"}));
}

TEST_F(LineParserTest, FramesOfEachMarkerGiveTheirBody) {
  Feed("\x68\x30\x30\x68zz\x1D" "ABC\x0Cyy\x16");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(codes::kLoaderFrame, "ABC")}));
  EXPECT_EQ(parser.AccumulatedCount(), 0u);
  EXPECT_TRUE(parser.FrameSeen());

  parser.ClearFrameSeen();
  Feed("\x68\x31\x31\x68\x1E" "V1.2\x0A\x16\x68\x2C\x2C\x68\x19Q9\x0C\x16");
  EXPECT_EQ(Drain(),
            (std::vector<Posted>{Text(codes::kLoaderFrame, "V1.2"), Text(codes::kLoaderFrame, "Q9")}));
  EXPECT_TRUE(parser.FrameSeen());
}

TEST_F(LineParserTest, AFrameWaitsForItsStopByte) {
  Feed("\x68\x30\x30\x68\x1D" "AB");
  EXPECT_TRUE(Drain().empty()) << "the Q-rule must not fire while a frame is open";
  Feed("C\x0C\x16");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(codes::kLoaderFrame, "ABC")}));
}

TEST_F(LineParserTest, LoaderBytesAreSignExtended) {
  Feed("\x90");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Number(codes::kLoaderByte, -112)}));
  EXPECT_TRUE(parser.FrameSeen());
  Feed("xxQ");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Number(codes::kLoaderByte, 81)}));
  // 0x90 wins over an earlier "Q".
  Feed("Q\x90");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Number(codes::kLoaderByte, -112)}));
}

TEST_F(LineParserTest, APartialLineWithAQIsTakenAsALoaderByte) {
  Feed("I.2000#Q");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Number(codes::kLoaderByte, 81)}));
  EXPECT_EQ(parser.AccumulatedCount(), 0u);
}

TEST_F(LineParserTest, ACompleteLineWithAQIsNotLostBehindAnEarlierLine) {
  Feed("A.1000!\r\nI.2000#Q5\r\n");
  EXPECT_EQ(Drain(),
            (std::vector<Posted>{Null(codes::kAcknowledged), Null(codes::kAnswerLine), Text(2000, "Q5")}));
}

TEST_F(LineParserTest, OverlongInputIsClippedNotOverrun) {
  Feed("I.20#" + std::string(800, 'x') + "\r\n");
  const auto posted = Drain();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(parser.CurrentLine().size(), LineParser::kLineCapacity);
  EXPECT_EQ(posted[0].text.size(), LineParser::kParameterCapacity);
  Feed(std::string(5000, 'y'));
  EXPECT_LE(parser.AccumulatedCount(), LineParser::kAccumulatorCapacity);
  Feed("\r\nI.21#ok\r\n");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(21, "ok")})) << "lines after the noise still parse";

  Feed("\x68\x30\x30\x68\x1D" + std::string(300, 'b') + "\x0C\x16");
  const auto frame = Drain();
  ASSERT_EQ(frame.size(), 1u);
  EXPECT_EQ(frame[0].text.size(), LineParser::kBodyCapacity);
}

TEST_F(LineParserTest, HugeNumbersSaturate) {
  Feed("I.99999999999999999999#x\r\n");
  EXPECT_EQ(Drain(), (std::vector<Posted>{Text(2147483647, "x")}));
}

}  // namespace
