#include "core/RegularFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using core::FileFault;
using core::ReadRegularFile;

class RegularFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "iu-regular-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }
  std::string Put(const std::string& name, const std::string& bytes) {
    const std::string path = (m_dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  fs::path m_dir;
};

TEST_F(RegularFileTest, ReadsAFileUpToItsLimit) {
  std::string content;
  EXPECT_EQ(ReadRegularFile(Put("a.txt", "12345"), 5, content), FileFault::kNone);
  EXPECT_EQ(content, "12345");
  EXPECT_EQ(ReadRegularFile(Put("b.txt", "123456"), 5, content), FileFault::kTooLarge);
  EXPECT_TRUE(content.empty());
  EXPECT_EQ(ReadRegularFile(Put("empty.txt", ""), 0, content), FileFault::kNone);
  // A symbolic link to a regular file is that file.
  fs::create_symlink(m_dir / "a.txt", m_dir / "link.txt");
  EXPECT_EQ(ReadRegularFile((m_dir / "link.txt").string(), 5, content), FileFault::kNone);
  EXPECT_EQ(content, "12345");
}

// A firmware file of 1 GB is refused by its size, before any byte is read:
// the window must not freeze reading it.
TEST_F(RegularFileTest, AHugeFileIsRefusedWithoutReadingIt) {
  const std::string path = Put("huge.txt", "");
  fs::resize_file(path, 1ull << 30);  // sparse
  std::string content;
  EXPECT_EQ(ReadRegularFile(path, 400000, content), FileFault::kTooLarge);
  EXPECT_LT(content.capacity(), 1000000u);
}

// What is not a regular file is never opened for reading: a FIFO would
// block the open or the read for good.
TEST_F(RegularFileTest, EverythingButARegularFileIsRefusedWithItsReason) {
  const std::string fifo = (m_dir / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(m_dir / "loop", m_dir / "loop");
  fs::create_symlink(m_dir / "nothing", m_dir / "dangling");
  const std::string locked = Put("locked.txt", "x");
  fs::permissions(locked, fs::perms::none);
  const std::pair<std::string, FileFault> cases[] = {
      {fifo, FileFault::kNotRegular},
      {"/dev/null", FileFault::kNotRegular},
      {(m_dir / "loop").string(), FileFault::kLinkLoop},
      {(m_dir / "dangling").string(), FileFault::kMissing},
      {(m_dir / "none.txt").string(), FileFault::kMissing},
      {(m_dir / "none" / "x.txt").string(), FileFault::kMissing},
      {m_dir.string(), FileFault::kDirectory},
      {"", FileFault::kMissing},
  };
  std::string content;
  for (const auto& [path, fault] : cases) {
    EXPECT_EQ(ReadRegularFile(path, 100, content), fault) << path;
    EXPECT_NE(std::string(core::FileFaultText(fault).German()), "") << path;
  }
  // root reads anything
  if (geteuid() != 0) {
    EXPECT_EQ(ReadRegularFile(locked, 100, content), FileFault::kNoAccess);
  }
  EXPECT_STREQ(core::FileFaultText(FileFault::kDirectory).In(1), "is a folder");
}

}  // namespace
