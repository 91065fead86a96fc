#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/PeVersionFile.h"
#include "update/versions/ReadFileVersion.h"
#include "update/versions/VersionNumber.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using update::FileKind;
using update::FileKindOf;
using update::FileVersionResult;
using update::ReadFileVersion;
using update::StoreFileVersion;
using update::VersionSlot;
using update::VersionThousandths;

using namespace std::string_literals;

TEST(VersionNumber, LeadingDecimalNumberTimes1000_01) {
  EXPECT_EQ(VersionThousandths("1.23"), 1230);
  EXPECT_EQ(VersionThousandths("2.5"), 2500);
  EXPECT_EQ(VersionThousandths("1.005"), 1005);
  EXPECT_EQ(VersionThousandths("0.999"), 999);
  EXPECT_EQ(VersionThousandths("0.001"), 1);
  EXPECT_EQ(VersionThousandths("100"), 100001);
  EXPECT_EQ(VersionThousandths("  2.10,1.05"), 2100);
  EXPECT_EQ(VersionThousandths("-1.5e1x"), -15000);
  EXPECT_EQ(VersionThousandths("+.5"), 500);
  EXPECT_EQ(VersionThousandths("3.e"), 3000);
  EXPECT_EQ(VersionThousandths("X.XX"), 0);
  EXPECT_EQ(VersionThousandths(""), 0);
  EXPECT_EQ(VersionThousandths("."), 0);
  EXPECT_EQ(VersionThousandths("V1.23"), 0);
  EXPECT_EQ(VersionThousandths("1e400"), INT32_MAX);
  EXPECT_EQ(VersionThousandths("-9999999"), INT32_MIN);
  EXPECT_EQ(VersionThousandths("1e-400"), 0);
}

TEST(FileVersionKind, FromKeyAndExactCaseOfTheName) {
  EXPECT_EQ(FileKindOf("VERS", "MAIN.TXT"), FileKind::kText);
  EXPECT_EQ(FileKindOf("S1094000", "MAIN.MOT"), FileKind::kSrec);
  EXPECT_EQ(FileKindOf("FileVersion", "TOOL.EXE"), FileKind::kPe);
  EXPECT_EQ(FileKindOf("FileVersion", "HELPER.DLL"), FileKind::kPe);
  EXPECT_EQ(FileKindOf("VERS", "SENSOR.BIN"), FileKind::kBin);
  EXPECT_EQ(FileKindOf("VERS", "sensor.bin"), FileKind::kText);
  EXPECT_EQ(FileKindOf("S1094000", "SENSOR.BIN"), FileKind::kAmbiguous);
  EXPECT_EQ(FileKindOf("VERS", "BIN\\TOOL.EXE"), FileKind::kAmbiguous);
}

class FileVersionFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    // Digits only: a random name could hold "BIN" or "EXE" and change the kind.
    m_dir = fs::temp_directory_path() / (std::string("iu-fv-") + std::to_string(getpid()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const fs::path path = m_dir / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  fs::path m_dir;
};

TEST_F(FileVersionFiles, TextFileHexPairsInTheFirst1000Bytes) {
  const std::string head = "; firmware\r\nSWVERS= 31 2E 32 33 00 39\r\n";
  const FileVersionResult r = ReadFileVersion("SWVERS=", Write("MAIN.TXT", head + std::string(5000, 'x')));
  EXPECT_TRUE(r.readable);
  EXPECT_EQ(r.kind, FileKind::kText);
  EXPECT_EQ(r.text, "1.23");
  EXPECT_EQ(r.thousandths, 1230);

  // Beyond the first 1000 bytes, or behind a zero byte, the key is not seen.
  EXPECT_EQ(ReadFileVersion("SWVERS=", Write("LATE.TXT", std::string(990, 'x') + head)).text, "");
  EXPECT_EQ(ReadFileVersion("SWVERS=", Write("ZERO.TXT", "x\0"s + head)).text, "");
  // The data ending inside the pairs ends the text.
  EXPECT_EQ(ReadFileVersion("V", Write("SHORT.TXT", "V32 2E 3")).text, "2.");
}

TEST_F(FileVersionFiles, SRecordWrittenBySrecCat) {
  // A 6-byte record "1.23\0X" at 0x4000 gives the line S1094000312E323300...
  // srec_cat sorts by address, so it stands near the end of the file.
  Write("data.bin", std::string(3000, '\x5A'));
  Write("vers.bin", "1.23\0X"s);
  std::vector<std::string> args{"srec_cat",
                                (m_dir / "data.bin").string(),
                                "-binary",
                                "-offset",
                                "0x1000",
                                (m_dir / "vers.bin").string(),
                                "-binary",
                                "-offset",
                                "0x4000",
                                "-o",
                                (m_dir / "MAIN.MOT").string(),
                                "-address-length=2"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawnp(&pid, "srec_cat", nullptr, nullptr, argv.data(), environ), 0);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_GT(fs::file_size(m_dir / "MAIN.MOT"), 1000u);

  const FileVersionResult r = ReadFileVersion("S1094000", (m_dir / "MAIN.MOT").string());
  EXPECT_EQ(r.kind, FileKind::kSrec);
  EXPECT_EQ(r.text, "1.23");
  EXPECT_EQ(r.thousandths, 1230);

  // Only the last 1000 bytes are read.
  const std::string early = std::string("S1094000312E323300589A\r\n") + std::string(1200, 'S') + "\r\n";
  EXPECT_EQ(ReadFileVersion("S1094000", Write("EARLY.MOT", early)).text, "");
}

using testing_support::PeResourceString;

TEST_F(FileVersionFiles, PeVersionResource) {
  const std::string header = "MZ"s + std::string(126, '\0');
  const std::string table = PeResourceString(u"CompanyName", u"Lab") +
                            PeResourceString(u"FileVersion", u"V2.10") +
                            PeResourceString(u"ProductName", u"Meter Tool 4.00");
  const std::string file = Write("TOOL.EXE", header + table + std::string(200, '\0'));

  // The value that follows the key's zero and padding, without its first character.
  FileVersionResult r = ReadFileVersion("FileVersion", file);
  EXPECT_EQ(r.kind, FileKind::kPe);
  EXPECT_EQ(r.text, "2.10");
  EXPECT_EQ(r.thousandths, 2100);
  // A hit with a blank gives the text after its first blank.
  EXPECT_EQ(ReadFileVersion("Meter Tool", file).text, "Tool 4.00");
  EXPECT_EQ(ReadFileVersion("LegalCopyright", file).text, "");

  // Only the last 64000 bytes count.
  const std::string big = Write("BIG.DLL", header + table + std::string(64000, '\0'));
  EXPECT_EQ(ReadFileVersion("FileVersion", big).text, "");
}

TEST_F(FileVersionFiles, BinFileTextAfterTheKey) {
  const std::string filler = std::string(300, '\x11') + '\0';
  // The version starts one byte after the key...
  FileVersionResult r = ReadFileVersion("SWV", Write("SENSOR.BIN", filler + "SWV=1.07\0tail"s));
  EXPECT_EQ(r.kind, FileKind::kBin);
  EXPECT_EQ(r.text, "1.07");
  EXPECT_EQ(r.thousandths, 1070);
  // ... or four bytes after it when the key begins with 0xDD.
  EXPECT_EQ(ReadFileVersion("\xDD\x01SWV", Write("DD.BIN", filler + "\xDD\x01SWV\x01\x02\x03\x04"
                                                                    "2.34\0"s))
                .text,
            "2.34");
  // Before the first zero byte the hex pairs of text files win.
  EXPECT_EQ(ReadFileVersion("SWV", Write("HEX.BIN", "SWV 31 2E 30 30 00\0SWV=9.99\0"s)).text, "1.00");
  // A version longer than the record's field is clipped to 15 characters.
  EXPECT_EQ(ReadFileVersion("SWV", Write("LONG.BIN", filler + "SWV=1.2345678901234567\0"s)).text,
            "1.2345678901234");
  // Only the last 250000 bytes are searched.
  EXPECT_EQ(
      ReadFileVersion("SWV", Write("OLD.BIN", filler + "SWV=1.07\0"s + std::string(250000, '\x22'))).text,
      "");
}

TEST_F(FileVersionFiles, MissingFileGivesZeroAndAnErrorText) {
  const std::string missing = (m_dir / "NOFILE.TXT").string();
  const FileVersionResult r = ReadFileVersion("SWV", missing);
  EXPECT_FALSE(r.readable);
  EXPECT_EQ(r.text, "0");
  EXPECT_EQ(r.thousandths, 0);
  EXPECT_NE(r.error.find(missing), std::string::npos);
  EXPECT_FALSE(ReadFileVersion("SWV", m_dir.string()).readable);  // a folder
  // A FIFO is never opened, so it cannot block the version check.
  const std::string fifo = (m_dir / "PIPE.TXT").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const FileVersionResult pipe = ReadFileVersion("SWV", fifo);
  EXPECT_FALSE(pipe.readable);
  EXPECT_NE(pipe.error.find("not a regular file"), std::string::npos) << pipe.error;
  // An ambiguous kind reads nothing and reports nothing.
  const FileVersionResult none = ReadFileVersion("S1094000", (m_dir / "NOFILE.BIN").string());
  EXPECT_EQ(none.kind, FileKind::kAmbiguous);
  EXPECT_EQ(none.text, "");
  EXPECT_EQ(none.error, "");
}

TEST_F(FileVersionFiles, PackageNamesAreFoundRegardlessOfCaseAndSeparator) {
  Write("fw/Main.txt", "SWV 32 2E 30 30 00");
  EXPECT_EQ(ReadFileVersion("SWV", (m_dir / "FW/MAIN.TXT").string()).text, "2.00");
  EXPECT_EQ(ReadFileVersion("SWV", m_dir.string() + "\\FW\\MAIN.TXT").text, "2.00");
}

TEST(FileVersionSlots, FirstFreeSlotForTextPeAndBinSlotTwoForSrec) {
  VersionSlot one;
  VersionSlot two;
  FileVersionResult text{"1.20", 1200, FileKind::kText, true, ""};
  EXPECT_EQ(StoreFileVersion(text, one, two), 1);
  EXPECT_EQ(one.text, "1.20");
  EXPECT_EQ(one.thousandths, 1200);
  FileVersionResult bin{"1.30", 1300, FileKind::kBin, true, ""};
  EXPECT_EQ(StoreFileVersion(bin, one, two), 2);
  EXPECT_EQ(one.text, "1.20");
  EXPECT_EQ(two.text, "1.30");
  EXPECT_EQ(two.thousandths, 1300);

  VersionSlot empty1;
  VersionSlot empty2;
  FileVersionResult srec{"2.00", 2000, FileKind::kSrec, true, ""};
  EXPECT_EQ(StoreFileVersion(srec, empty1, empty2), 2);
  EXPECT_EQ(empty1.text, "");
  EXPECT_EQ(empty2.thousandths, 2000);

  // Unreadable and ambiguous leave the slots alone.
  FileVersionResult failed{"0", 0, FileKind::kText, false, "Cannot open file"};
  FileVersionResult ambiguous{"", 0, FileKind::kAmbiguous, false, ""};
  VersionSlot keep{"9.99", 9999};
  EXPECT_EQ(StoreFileVersion(failed, empty1, keep), 0);
  EXPECT_EQ(StoreFileVersion(ambiguous, empty1, keep), 0);
  EXPECT_EQ(empty1.text, "");
  EXPECT_EQ(keep.text, "9.99");
  // A key that was not found stores an empty version and 0.
  FileVersionResult absent{"", 0, FileKind::kPe, true, ""};
  EXPECT_EQ(StoreFileVersion(absent, empty1, keep), 1);
  EXPECT_EQ(empty1.thousandths, 0);
}

}  // namespace
