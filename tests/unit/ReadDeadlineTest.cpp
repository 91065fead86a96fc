#include "platform/ReadDeadline.h"

#include <gtest/gtest.h>

namespace {

using platform::COMMTIMEOUTS;
using platform::ReadDeadline;

constexpr uint32_t kMax = ReadDeadline::kMaxDword;
constexpr uint64_t kStart = 5'000'000;  // us

COMMTIMEOUTS Read(uint32_t interval, uint32_t multiplier, uint32_t constant) {
  COMMTIMEOUTS t;
  t.ReadIntervalTimeout = interval;
  t.ReadTotalTimeoutMultiplier = multiplier;
  t.ReadTotalTimeoutConstant = constant;
  return t;
}

TEST(ReadDeadlineTest, TotalIsMultiplierTimesCountPlusConstantFromTheStart) {
  // The port's own settings: 20 ms interval, 2 ms a byte, 100 ms.
  const ReadDeadline d(Read(20, 2, 100), 10, kStart);
  EXPECT_EQ(d.Until(0, 0), kStart + 120'000);
  const ReadDeadline one(Read(20, 0, 1), 300, kStart);
  EXPECT_EQ(one.Until(0, 0), kStart + 1'000);
}

TEST(ReadDeadlineTest, TheIntervalCountsFromTheLastByteButNeverPastTheTotal) {
  const ReadDeadline d(Read(20, 2, 100), 10, kStart);
  EXPECT_EQ(d.Until(1, kStart + 30'000), kStart + 50'000);
  EXPECT_EQ(d.Until(4, kStart + 90'000), kStart + 110'000);
  EXPECT_EQ(d.Until(9, kStart + 115'000), kStart + 120'000);
}

TEST(ReadDeadlineTest, IntervalZeroOrNoByteYetLeavesTheTotal) {
  const ReadDeadline d(Read(0, 0, 500), 4, kStart);
  EXPECT_EQ(d.Until(3, kStart + 10'000), kStart + 500'000);
  const ReadDeadline waiting(Read(20, 0, 500), 4, kStart);
  EXPECT_EQ(waiting.Until(0, 0), kStart + 500'000);
}

TEST(ReadDeadlineTest, NoTotalTimeOutWaitsAtMostTheReadLimit) {
  const ReadDeadline d(Read(20, 0, 0), 64, kStart);
  EXPECT_EQ(d.Until(0, 0), kStart + uint64_t{platform::kReadLimitMs} * 1000);
  EXPECT_EQ(d.Until(2, kStart + 1'000), kStart + 21'000);
}

TEST(ReadDeadlineTest, MaxDwordIntervalWithoutTotalReturnsAtOnce) {
  const ReadDeadline d(Read(kMax, 0, 0), 100, kStart);
  EXPECT_EQ(d.Until(0, 0), kStart);
  EXPECT_EQ(d.Until(7, kStart), kStart);
}

TEST(ReadDeadlineTest, MaxDwordIntervalAndMultiplierEndAtTheFirstByteOrAfterTheConstant) {
  const ReadDeadline d(Read(kMax, kMax, 250), 100, kStart);
  EXPECT_EQ(d.Until(0, 0), kStart + 250'000);
  EXPECT_EQ(d.Until(1, kStart + 40'000), kStart + 40'000);
  // Constant 0 or MAXDWORD is no such case: the ordinary rule, a long total.
  const ReadDeadline plain(Read(kMax, kMax, 0), 1, kStart);
  EXPECT_EQ(plain.Until(0, 0), kStart + uint64_t{kMax} * 1000);
}

TEST(ReadDeadlineTest, MaxDwordIntervalWithATotalKeepsTheTotal) {
  const ReadDeadline d(Read(kMax, 0, 300), 8, kStart);
  EXPECT_EQ(d.Until(3, kStart + 1'000), kStart + 300'000);
}

TEST(ReadDeadlineTest, HugeTotalsDoNotWrapAround) {
  const ReadDeadline d(Read(20, kMax, kMax), kMax, kStart);
  EXPECT_GT(d.Until(0, 0), kStart + uint64_t{kMax} * 1000);
  EXPECT_EQ(d.Until(1, kStart + 7), kStart + 20'007);
}

}  // namespace
