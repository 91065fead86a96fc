// The loader models on their own: what a strict MSP430 loader does with
// frames, passwords and flash. Frames are built here by the documents'
// rules, not by the tool's code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimModelDriver.h"
#include "sim/bsl/Bsl5xxModel.h"
#include "sim/bsl/RomBslModel.h"
#include "sim/model/ModelRegistry.h"

namespace {

using Bytes = std::vector<uint8_t>;
using platform::sim::Parity;

// Drives one model directly, a byte a millisecond.
template <class Model>
class Loader {
 public:
  explicit Loader(const std::string& profileText)
      : m_profile(simtest::ParseProfile(profileText)),
        m_registry(sim::ModelRegistry::WithBuiltins()),
        m_context{m_profile, m_flash, m_registry} {
    for (const auto& r : m_profile.flash) m_flash.AddRegion(r);
    sim::PreloadBslFirmware(m_profile.bsl, m_flash);
    m_model = std::make_unique<Model>(m_context);
  }
  Bytes Send(const Bytes& bytes, uint32_t baud = 9600) {
    Bytes out;
    for (uint8_t b : bytes) {
      m_model->Receive(sim::ModelInput{b, simtest::Fmt(baud, Parity::Even), false, false}, m_now);
      for (auto& e : m_model->TakeEmissions()) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
      m_now += 1000;
    }
    return out;
  }
  void Wait(uint64_t micros) {
    m_now += micros;
    if (const auto at = m_model->NextTick(); at && *at <= m_now) m_model->Tick(m_now);
  }
  Model& model() { return *m_model; }
  sim::FlashMemory& flash() { return m_flash; }

 private:
  sim::InstrumentProfile m_profile;
  sim::FlashMemory m_flash;
  sim::ModelRegistry m_registry;
  sim::ModelContext m_context;
  std::unique_ptr<Model> m_model;
  uint64_t m_now = 0;
};

// 80 CMD L L AL AH LL LH data CKL CKH; CKL/CKH inverted XOR of even/odd bytes.
Bytes RomFrame(uint8_t cmd, uint16_t a, uint16_t l, const Bytes& data = {}) {
  const auto n = static_cast<uint8_t>(4 + data.size());
  Bytes f{0x80,
          cmd,
          n,
          n,
          static_cast<uint8_t>(a),
          static_cast<uint8_t>(a >> 8),
          static_cast<uint8_t>(l),
          static_cast<uint8_t>(l >> 8)};
  f.insert(f.end(), data.begin(), data.end());
  uint8_t even = 0, odd = 0;
  for (size_t i = 0; i < f.size(); ++i) (i % 2 ? odd : even) ^= f[i];
  f.push_back(static_cast<uint8_t>(~even));
  f.push_back(static_cast<uint8_t>(~odd));
  return f;
}

const char* const k2xx =
    "name = t\nline = 9600 8E1\npcb = 1\ndevice = 2\nversion = 3\nserial = 4\n"
    "flash = 0x1000 0x100 64\nflash = 0x1100 0x100 0x100\nflash = 0x1200 0xEE00 512\n"
    "bsl = family 2xx chip 0xF237 version 1.61 reset 0xC000\n";

Bytes Password(uint16_t reset) {
  Bytes p(30, 0xFF);
  p.push_back(static_cast<uint8_t>(reset));
  p.push_back(static_cast<uint8_t>(reset >> 8));
  return p;
}

TEST(SimRomBsl, SyncVersionAndThePasswordAgainstTheVectorTable) {
  Loader<sim::RomBslModel> bsl(k2xx);
  EXPECT_EQ(bsl.Send({0x80}), Bytes{0x90});
  // Version: 16 bytes of 0x0FF0..0x0FFF, chip ID F2 37 first, 01 61 at 10.
  const Bytes version = bsl.Send(RomFrame(0x1E, 0, 0));
  ASSERT_EQ(version.size(), 22u);
  EXPECT_EQ(Bytes(version.begin(), version.begin() + 6), (Bytes{0x80, 0x00, 0x10, 0x10, 0xF2, 0x37}));
  EXPECT_EQ(version[14], 0x01);
  EXPECT_EQ(version[15], 0x61);
  // Locked: reads are refused.
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x14, 0xC000, 2)), Bytes{0xA0});
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x10, 0, 0, Password(0xC000))), Bytes{0x90});
  EXPECT_TRUE(bsl.model().Unlocked());
  // A bad checksum is refused.
  Bytes frame = RomFrame(0x14, 0xC000, 2);
  frame.back() ^= 0x40;
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(frame), Bytes{0xA0});
}

TEST(SimRomBsl, AWrongPasswordOnA2xxErasesTheMainFlash) {
  Loader<sim::RomBslModel> bsl(k2xx);
  ASSERT_FALSE(bsl.flash().IsErased(0xC000, 2));
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x10, 0, 0, Password(0x1234))), Bytes{0xA0});
  EXPECT_TRUE(bsl.flash().IsErased(0x1100, 0xEF00));
  // Now the erased table (all 0xFF) is the password.
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x10, 0, 0, Bytes(32, 0xFF))), Bytes{0x90});
}

TEST(SimRomBsl, FlashWritesOnlyClearBitsAndNeedAnErase) {
  Loader<sim::RomBslModel> bsl(k2xx);
  bsl.Send({0x80});
  bsl.Send(RomFrame(0x10, 0, 0, Password(0xC000)));
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x12, 0xC000, 2, {0x12, 0x34})), Bytes{0xA0});  // old firmware there
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x16, 0xC000, 0xA502)), Bytes{0x90});
  EXPECT_TRUE(bsl.flash().IsErased(0xC000, 0x200));
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x12, 0xC000, 2, {0x12, 0x34})), Bytes{0x90});
  bsl.Send({0x80});
  const Bytes read = bsl.Send(RomFrame(0x14, 0xC000, 2));
  ASSERT_EQ(read.size(), 8u);
  EXPECT_EQ(read[4], 0x12);
  EXPECT_EQ(read[5], 0x34);
  // Odd lengths are refused.
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x12, 0xC002, 1, {0x12, 0x34})), Bytes{0xA0});
}

TEST(SimRomBsl, TheBaudRateChangesAfterItsAck) {
  Loader<sim::RomBslModel> bsl(k2xx);
  bsl.Send({0x80});
  bsl.Send(RomFrame(0x10, 0, 0, Password(0xC000)));
  bsl.Send({0x80});
  EXPECT_EQ(bsl.Send(RomFrame(0x20, 0x8C80, 0x0002)), Bytes{0x90});
  EXPECT_EQ(bsl.model().Format().baud, 9600u);  // the ACK still leaves at 9600
  bsl.Wait(20000);
  EXPECT_EQ(bsl.model().Format().baud, 38400u);
  EXPECT_EQ(bsl.Send({0x80}, 9600), Bytes{});  // noise now
  EXPECT_EQ(bsl.Send({0x80}, 38400), Bytes{0x90});
  // The F4xx's divider is wrong for a 2xx.
  EXPECT_EQ(bsl.Send(RomFrame(0x20, 0xC800, 0x0002), 38400), Bytes{0xA0});
}

// 80 NL NH core CKL CKH, CRC-CCITT (0x1021, init 0xFFFF) bit by bit.
Bytes Packet(const Bytes& core) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : core) {
    for (int i = 7; i >= 0; --i) {
      const bool bit = ((b >> i) & 1) != ((crc >> 15) & 1);
      crc = static_cast<uint16_t>((crc << 1) ^ (bit ? 0x1021 : 0));
    }
  }
  Bytes p{0x80, static_cast<uint8_t>(core.size()), static_cast<uint8_t>(core.size() >> 8)};
  p.insert(p.end(), core.begin(), core.end());
  p.push_back(static_cast<uint8_t>(crc));
  p.push_back(static_cast<uint8_t>(crc >> 8));
  return p;
}

const char* const k5xx =
    "name = t5\nline = 9600 8E1\nboot-loader = Q\n"
    "flash = 0x1800 0x200 128\nflash = 0x5C00 0x40000 512\n"
    "bsl = family 5xx chip 0x5438 version 1.00 reset 0x5C00\n";

TEST(SimBsl5xx, MassEraseAnswerAndErrors) {
  Loader<sim::Bsl5xxModel> bsl(k5xx);
  // The documented mass-erase exchange.
  EXPECT_EQ(bsl.Send({0x80, 0x01, 0x00, 0x15, 0x64, 0xA3}),
            (Bytes{0x00, 0x80, 0x02, 0x00, 0x3B, 0x00, 0x60, 0xC4}));
  EXPECT_TRUE(bsl.flash().IsErased(0xFFE0, 32));
  EXPECT_EQ(bsl.Send({0x11}), Bytes{0x51});                                // no header
  EXPECT_EQ(bsl.Send({0x80, 0x01, 0x00, 0x15, 0x00, 0x00}), Bytes{0x52});  // checksum
  // Locked until the password: the read answers status 04.
  Bytes locked = bsl.Send(Packet({0x18, 0x00, 0xC0, 0x00, 0x02, 0x00}));
  ASSERT_EQ(locked.size(), 8u);
  EXPECT_EQ(locked[5], 0x04);
}

TEST(SimBsl5xx, AWrongPasswordErasesAndAnswersStatus5) {
  Loader<sim::Bsl5xxModel> bsl(k5xx);
  Bytes wrong{0x11};
  for (int i = 0; i < 32; ++i) wrong.push_back(0x00);
  const Bytes answer = bsl.Send(Packet(wrong));
  ASSERT_EQ(answer.size(), 8u);
  EXPECT_EQ(answer[5], 0x05);
  EXPECT_TRUE(bsl.flash().IsErased(0x5C00, 0x100));
  Bytes right{0x11};
  for (int i = 0; i < 32; ++i) right.push_back(0xFF);
  EXPECT_EQ(bsl.Send(Packet(right))[5], 0x00);
  // A write onto programmed cells fails its check (status 01).
  EXPECT_EQ(bsl.Send(Packet({0x10, 0x00, 0x5C, 0x00, 0x00, 0x00}))[5], 0x00);
  EXPECT_EQ(bsl.Send(Packet({0x10, 0x00, 0x5C, 0x00, 0xFF, 0xFF}))[5], 0x01);  // a 1 cannot come back
  EXPECT_EQ(bsl.flash().At(0x5C00), 0x00);
}

}  // namespace
