// The image of the XMODEM loader (fill, trailer, packets) and the sending
// side's answers, with known values written out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "programmers/Crc16Xmodem.h"
#include "programmers/T_EMFLoader.h"
#include "programmers/XmodemImage.h"
#include "programmers/XmodemSender.h"

namespace {

using programmers::XmodemImage;
using programmers::XmodemSender;
using Step = XmodemSender::Step;

TEST(XmodemImage, CrcCheckValue) {
  const std::string text = "123456789";
  EXPECT_EQ(programmers::Crc16Xmodem(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 0x31C3);
}

struct TrailerCase {
  size_t fileSize;
  int32_t packets;
  uint32_t covered;
};

class XmodemTrailer : public testing::TestWithParam<TrailerCase> {};

TEST_P(XmodemTrailer, EndsTheLastPacket) {
  const TrailerCase c = GetParam();
  const std::string file(c.fileSize, '\x5A');
  const XmodemImage image(file);
  EXPECT_EQ(image.PacketCount(), c.packets);
  EXPECT_EQ(image.CoveredLength(), static_cast<int32_t>(c.covered));
  const std::vector<uint8_t>& bytes = image.Bytes();
  ASSERT_EQ(bytes.size(), static_cast<size_t>(c.packets) * 128);
  for (size_t i = c.fileSize; i < c.covered; ++i) ASSERT_EQ(bytes[i], 0xFF) << i;
  // Length little-endian, then the CRC of the covered bytes little-endian.
  EXPECT_EQ(bytes[c.covered], c.covered & 0xFF);
  EXPECT_EQ(bytes[c.covered + 1], c.covered >> 8);
  EXPECT_EQ(bytes[c.covered + 2], 0);
  EXPECT_EQ(bytes[c.covered + 3], 0);
  const uint16_t crc = programmers::Crc16Xmodem(bytes.data(), c.covered);
  EXPECT_EQ(image.ImageCrc(), crc);
  EXPECT_EQ(bytes[c.covered + 4] | bytes[c.covered + 5] << 8, crc);
}

INSTANTIATE_TEST_SUITE_P(Sizes, XmodemTrailer,
                         testing::Values(TrailerCase{100, 1, 122},  // fill 22
                                         TrailerCase{122, 2, 250},  // fits exactly: a whole packet of fill
                                         TrailerCase{250, 3, 378},  // the same at 256
                                         TrailerCase{0, 1, 122}));

TEST(XmodemImage, TrailerOfAKnownImage) {
  // A file of 0xFF: the covered bytes are all 0xFF, their CRC worked out
  // here bit by bit.
  std::vector<uint8_t> ff(122, 0xFF);
  uint16_t crc = 0;
  for (uint8_t b : ff) {
    crc ^= static_cast<uint16_t>(b << 8);
    for (int i = 0; i < 8; ++i)
      crc = (crc & 0x8000) ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : static_cast<uint16_t>(crc << 1);
  }
  const XmodemImage image(std::string(100, '\xFF'));
  EXPECT_EQ(image.ImageCrc(), crc);
}

TEST(XmodemImage, PacketLayoutAndBlockNumberWrap) {
  const std::string file(300 * 128, '\x01');
  const XmodemImage image(file);
  const XmodemImage::Packet p1 = image.Build(1);
  EXPECT_EQ(p1[0], 0x01);
  EXPECT_EQ(p1[1], 0x01);
  EXPECT_EQ(p1[2], 0xFE);
  // CRC of 128 bytes 0x01, high byte first.
  const std::vector<uint8_t> data(128, 0x01);
  const uint16_t crc = programmers::Crc16Xmodem(data.data(), data.size());
  EXPECT_EQ(p1[131], crc >> 8);
  EXPECT_EQ(p1[132], crc & 0xFF);
  const XmodemImage::Packet p256 = image.Build(256);
  EXPECT_EQ(p256[1], 0x00);
  EXPECT_EQ(p256[2], 0xFF);
  EXPECT_EQ(image.Build(257)[1], 0x01);
}

TEST(XmodemImage, LargestFile) {
  // 11718 whole packets fit in 1,500,000 bytes; fill at least one byte.
  EXPECT_EQ(XmodemImage::MaxFileSize(), 1499897u);
  EXPECT_TRUE(XmodemImage::Fits(1499897));
  EXPECT_FALSE(XmodemImage::Fits(1499898));
}

std::vector<uint8_t> Out(XmodemSender& s, uint8_t answer, Step expected) {
  std::vector<uint8_t> out;
  EXPECT_EQ(s.OnAnswer(answer, out), expected);
  return out;
}

TEST(XmodemSender, WholeTransferWithRepeats) {
  const XmodemImage image(std::string(250, 'x'));  // 3 packets
  XmodemSender s(image);
  // Nothing sent yet: an ACK is noise.
  EXPECT_TRUE(Out(s, XmodemSender::kAck, Step::kIgnored).empty());
  const auto first = Out(s, 'C', Step::kRepeated);
  ASSERT_EQ(first.size(), 133u);
  EXPECT_EQ(first[1], 1);
  // "C" twice: packet 1 twice.
  EXPECT_EQ(Out(s, 'C', Step::kRepeated), first);
  EXPECT_EQ(Out(s, XmodemSender::kAck, Step::kNextPacket)[1], 2);
  EXPECT_EQ(Out(s, XmodemSender::kNak, Step::kRepeated)[1], 2);
  EXPECT_EQ(Out(s, 0x55, Step::kIgnored).size(), 0u);
  EXPECT_EQ(Out(s, XmodemSender::kAck, Step::kNextPacket)[1], 3);
  EXPECT_EQ(Out(s, XmodemSender::kAck, Step::kEndSent), std::vector<uint8_t>{0x04});
  // A NAK of the end byte gets the end byte again.
  EXPECT_EQ(Out(s, XmodemSender::kNak, Step::kRepeated), std::vector<uint8_t>{0x04});
  EXPECT_TRUE(Out(s, XmodemSender::kAck, Step::kEndAcknowledged).empty());
  EXPECT_TRUE(s.Over());
  EXPECT_EQ(Out(s, XmodemSender::kAck, Step::kIgnored).size(), 0u);
}

TEST(XmodemSender, TenRepeatsOfOnePacketAtMost) {
  const XmodemImage image(std::string(1000, 'x'));
  XmodemSender s(image);
  Out(s, 'C', Step::kRepeated);
  Out(s, XmodemSender::kAck, Step::kNextPacket);
  for (int i = 0; i < 10; ++i) Out(s, XmodemSender::kNak, Step::kRepeated);
  Out(s, XmodemSender::kNak, Step::kRepeatsExhausted);
  EXPECT_TRUE(s.Over());
  EXPECT_EQ(s.PacketsSent(), 2);
}

TEST(XmodemLoaderVersion, CodeFromVersionOnePointZeroSix) {
  using programmers::T_EMFLoader;
  EXPECT_EQ(T_EMFLoader::VersionThousandths("1.20"), 1200);
  EXPECT_EQ(T_EMFLoader::VersionThousandths("0.05"), 50);
  EXPECT_EQ(T_EMFLoader::VersionThousandths("1.06,B"), 1060);
  EXPECT_EQ(T_EMFLoader::VersionThousandths("x"), 0);
  EXPECT_EQ(T_EMFLoader::VersionThousandths("1e30"), 0);
  EXPECT_GE(T_EMFLoader::VersionThousandths("1.20"), T_EMFLoader::kFirstVersionWithCode);
  EXPECT_LT(T_EMFLoader::VersionThousandths("0.05"), T_EMFLoader::kFirstVersionWithCode);
  EXPECT_LT(T_EMFLoader::VersionThousandths("1.05"), T_EMFLoader::kFirstVersionWithCode);
}

}  // namespace

namespace {

TEST(XmodemLoaderCrcReport, HexadecimalTextOfSixteenBits) {
  using programmers::T_EMFLoader;
  uint16_t crc = 0;
  EXPECT_TRUE(T_EMFLoader::ReadCrcReport("31C3", crc));
  EXPECT_EQ(crc, 0x31C3);
  EXPECT_TRUE(T_EMFLoader::ReadCrcReport("b912 ", crc));
  EXPECT_EQ(crc, 0xB912);
  EXPECT_FALSE(T_EMFLoader::ReadCrcReport("", crc));
  EXPECT_FALSE(T_EMFLoader::ReadCrcReport("x12", crc));
  EXPECT_FALSE(T_EMFLoader::ReadCrcReport("131C3", crc));  // more than 16 bits
}

}  // namespace
