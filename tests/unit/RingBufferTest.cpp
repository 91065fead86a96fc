#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "core/RingBuffer.h"

namespace {

struct Record {
  uint32_t words[4];
};

class RingBufferTest : public ::testing::Test {
 protected:
  // 50 records of 16 bytes, like the event queue on a 32-bit build.
  std::array<uint8_t, 800> store{};
  core::RingBuffer ring{store.data(), 0, 800};

  bool Write(uint32_t n) {
    Record r{{n, 0, n * 2, 0}};
    return ring.RingWrite(&r, sizeof r);
  }
  uint32_t Read() {
    Record r{};
    EXPECT_EQ(ring.RingRead(&r, sizeof r), sizeof r);
    return r.words[0];
  }
};

TEST_F(RingBufferTest, FillsToExactlyFiftyWithALazyWrap) {
  for (uint32_t i = 1; i <= 50; ++i) ASSERT_TRUE(Write(i));
  EXPECT_EQ(ring.WritePosition(), 800);  // the 50th record does not wrap yet
  EXPECT_FALSE(ring.Lapped());
  EXPECT_FALSE(Write(51)) << "a full ring must refuse, not overwrite record 1";
  EXPECT_EQ(ring.WritePosition(), 800);

  Record r{};
  ASSERT_EQ(ring.RingRead(&r, sizeof r), 16u);
  ASSERT_TRUE(Write(51));  // the wrap happens with this record
  EXPECT_EQ(ring.WritePosition(), 16);
  EXPECT_TRUE(ring.Lapped());
  EXPECT_FALSE(Write(52)) << "only one slot was free";
  for (uint32_t i = 2; i <= 51; ++i) EXPECT_EQ(Read(), i);
  EXPECT_TRUE(ring.Empty());
}

TEST_F(RingBufferTest, PositionsAtTheEndReadAsEmptyAndTheNextRecordWraps) {
  for (uint32_t i = 1; i <= 50; ++i) ASSERT_TRUE(Write(i));
  for (uint32_t i = 1; i <= 50; ++i) ASSERT_EQ(Read(), i);
  EXPECT_EQ(ring.WritePosition(), 800);
  EXPECT_EQ(ring.ReadPosition(), 800);
  EXPECT_TRUE(ring.Empty());
  Record r{};
  EXPECT_EQ(ring.RingRead(&r, sizeof r), 0u);
  EXPECT_EQ(ring.ReadPosition(), 800);

  ASSERT_TRUE(Write(77));
  EXPECT_EQ(ring.WritePosition(), 16);
  EXPECT_EQ(Read(), 77u);
  EXPECT_TRUE(ring.Empty());
}

TEST_F(RingBufferTest, LappedWriterStopsAtTheReader) {
  // Many laps with the reader a few records behind: order is kept and the
  // writer never passes the reader.
  uint32_t written = 0, read = 0;
  for (int round = 0; round < 400; ++round) {
    while (Write(written + 1)) ++written;
    EXPECT_EQ(written - read, 50u) << "the ring holds exactly 50 records";
    for (int k = 0; k < 7; ++k) EXPECT_EQ(Read(), ++read);
  }
  while (!ring.Empty()) EXPECT_EQ(Read(), ++read);
  EXPECT_EQ(read, written);
}

}  // namespace
