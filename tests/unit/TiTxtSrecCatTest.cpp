// Images written by srec_cat (an independent TI-TXT writer) from random
// binaries at random addresses must read back byte for byte.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using programmers::CheckImageForProgramming;
using programmers::FirmwareImage16;
using programmers::FirmwareImage32;
using programmers::ImageRefusal;
using programmers::ReadTiTxt;

bool RunTool(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Section {
  uint32_t address;
  std::vector<uint8_t> bytes;
};

// Real address -> byte of every block, the marker skipped. In the 16-bit
// layout the blocks FirstUpper..LastUpper hold the upper 64 KiB.
std::map<uint32_t, uint8_t> Contents(const FirmwareImage16& image) {
  std::map<uint32_t, uint8_t> memory;
  const int last = static_cast<int>(image.blocks.size()) - 1;
  for (int i = 0; i <= last; ++i) {
    const auto& b = image.blocks[i];
    if (b.IsMarker()) continue;
    const bool upper = image.FirstUpper >= 0 && i >= image.FirstUpper && i <= image.LastUpper;
    EXPECT_LE(b.address + b.DataLength(), 0x10000u) << "block " << i << " spans the 64 KiB boundary";
    for (size_t k = 0; k < b.DataLength(); ++k) {
      const uint32_t address = b.address + static_cast<uint32_t>(k) + (upper ? 0x10000 : 0);
      EXPECT_TRUE(memory.emplace(address, b.data[k]).second) << "address twice: " << address;
    }
  }
  return memory;
}

std::map<uint32_t, uint8_t> Contents(const FirmwareImage32& image) {
  std::map<uint32_t, uint8_t> memory;
  for (const auto& b : image.blocks) {
    for (size_t k = 0; k < b.DataLength(); ++k) {
      EXPECT_TRUE(memory.emplace(b.address + static_cast<uint32_t>(k), b.data[k]).second);
    }
  }
  return memory;
}

template <class Image>
void CheckBlocks(const Image& image) {
  for (const auto& b : image.blocks) {
    if (b.length == 0) continue;
    EXPECT_GT(b.DataLength(), 0u);
    EXPECT_LE(b.DataLength(), 246u);
    EXPECT_EQ(b.DataLength() % 2, 0u);
  }
  EXPECT_EQ(image.LastIndex, static_cast<int>(image.blocks.size()) - 1);
  EXPECT_EQ(CheckImageForProgramming(image), ImageRefusal::kNone);
}

void CheckOrder(const FirmwareImage16& image) {
  if (image.FirstUpper <= 0) return;
  const int marker = image.LastUpper + 1;
  ASSERT_LT(marker, static_cast<int>(image.blocks.size()));
  EXPECT_TRUE(image.blocks[marker].IsMarker());
  for (int i = 0; i < image.FirstUpper; ++i) {
    EXPECT_LT(image.blocks[i].address + image.blocks[i].DataLength(), 0xFE00u);
  }
  for (size_t i = marker + 1; i < image.blocks.size(); ++i) {
    EXPECT_GE(image.blocks[i].address + image.blocks[i].DataLength(), 0xFE00u);
  }
}

void CheckOrder(const FirmwareImage32& image) {
  if (image.FirstVector <= 0) return;
  EXPECT_EQ(image.FirstVector + image.VectorCount, static_cast<int>(image.blocks.size()));
}

template <class Image>
void RoundTrip(std::mt19937& rng, const fs::path& dir, uint32_t addressLimit, int trial) {
  // A reset vector first: firmware without one is refused.
  const int count = 2 + static_cast<int>(rng() % 4);
  std::vector<Section> sections{{0xFFFE, {0x00, 0x31}}};
  std::vector<std::string> args{"srec_cat"};
  args.insert(args.end(), {"-generate", "0xFFFE", "0x10000", "-repeat-data", "0x00", "0x31"});
  while (static_cast<int>(sections.size()) < count) {
    // Sizes from 1 byte to several blocks, odd ones included.
    const size_t size = 1 + rng() % (rng() % 2 ? 40 : 2000);
    const uint32_t address = (0x1100 + rng() % (addressLimit - 0x1100 - size)) & ~1u;
    bool apart = true;  // 2 bytes of gap, so srec_cat keeps them apart and pads have room
    for (const auto& s : sections) {
      apart = apart && (address >= s.address + s.bytes.size() + 2 || address + size + 2 <= s.address);
    }
    if (!apart) continue;
    Section s{address, std::vector<uint8_t>(size)};
    for (auto& b : s.bytes) b = static_cast<uint8_t>(rng());
    const fs::path bin = dir / (std::string("s") + std::to_string(sections.size()) + ".bin");
    std::ofstream(bin, std::ios::binary).write(reinterpret_cast<const char*>(s.bytes.data()), size);
    args.insert(args.end(), {bin.string(), "-binary", "-offset", std::to_string(address)});
    sections.push_back(std::move(s));
  }
  const fs::path out = dir / "image.txt";
  static const char* kLineSizes[] = {"16", "16", "15", "7", "32", "2"};
  args.insert(args.end(), {"-o", out.string(), "-ti-txt", std::string("-obs=") + kLineSizes[rng() % 6]});
  if (rng() % 2) args.push_back("-CRLF");
  ASSERT_TRUE(RunTool(args)) << "srec_cat failed; is the srecord package installed?";

  std::ifstream in(out, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Image image;
  ReadTiTxt(text, image);
  SCOPED_TRACE(std::string("trial ") + std::to_string(trial) + "\n" + text.substr(0, 400));
  CheckBlocks(image);
  CheckOrder(image);

  std::map<uint32_t, uint8_t> expected;
  for (const auto& s : sections) {
    for (size_t k = 0; k < s.bytes.size(); ++k) expected[s.address + static_cast<uint32_t>(k)] = s.bytes[k];
  }
  for (const auto& [address, byte] : Contents(image)) {
    const auto it = expected.find(address);
    if (it != expected.end()) {
      EXPECT_EQ(byte, it->second) << "at " << address;
      expected.erase(it);
    } else {  // only the pad behind an odd section end
      EXPECT_EQ(byte, 0xFF) << "stray byte at " << address;
      EXPECT_EQ(address % 2, 1u) << "stray byte at " << address;
    }
  }
  EXPECT_TRUE(expected.empty()) << expected.size() << " bytes lost, first at " << expected.begin()->first;
}

class TiTxtSrecCat : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/iu-titxt-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path m_dir;
};

TEST_F(TiTxtSrecCat, RandomImagesReadBackIn16BitLayout) {
  std::mt19937 rng(16);
  // Up to 0x1FFFF: sections in the upper part and across 0x10000 included.
  for (int trial = 0; trial < 120 && !HasFatalFailure(); ++trial) {
    RoundTrip<FirmwareImage16>(rng, m_dir, 0x20000, trial);
  }
}

TEST_F(TiTxtSrecCat, RandomImagesReadBackIn32BitLayout) {
  std::mt19937 rng(32);
  for (int trial = 0; trial < 80 && !HasFatalFailure(); ++trial) {
    RoundTrip<FirmwareImage32>(rng, m_dir, 0x48000, trial);
  }
}

}  // namespace
